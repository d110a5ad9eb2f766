// The iris shapes the plug-in ships with, described without a resolution: every channel of a
// shape is an outline in unit coordinates (centre at the origin, y upwards, outer radius 1) that
// the generator draws at each size of the library.
#ifndef QB_TOOLS_IRIS_SHAPES_H
#define QB_TOOLS_IRIS_SHAPES_H

#include <array>
#include <string>
#include <vector>

namespace shape_library {

// Either a circle (`blades` 0) or an iris of `blades` identical blades: each blade's edge is an
// arc of radius `blade_radius` bulging slightly outwards between two corners, the corners
// evenly spaced on the circle of radius `radius` with one of them straight up.
struct IrisOutline {
    int blades = 0;
    double radius = 1.0;
    double blade_radius = 0.0;

    // Negative inside, positive outside. Inside it is the exact distance to the edge; outside it
    // never exceeds the distance, so a point it places far enough out is surely out.
    double edge_distance(double x, double y) const;
};

struct IrisShape {
    std::string name;
    // One outline for a grey shape; red, green and blue for a colour one.
    std::vector<IrisOutline> channels;
};

inline constexpr std::array<int, 6> kLibrarySizes = {15, 31, 63, 127, 255, 511};

// In the order the folders are written; the catalogue sorts them anyway.
const std::vector<IrisShape>& library_shapes();

}  // namespace shape_library

#endif
