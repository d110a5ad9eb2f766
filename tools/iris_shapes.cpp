#include "tools/iris_shapes.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <numbers>

namespace shape_library {
namespace {

// Two and a half times the corner radius: the blades bulge by a few percent of the radius, as a
// real diaphragm's do, without the shape turning round.
constexpr double kBladeRadius = 2.5;

IrisOutline iris(int blades) {
    return IrisOutline{blades, 1.0, kBladeRadius};
}

IrisOutline circle(double radius) {
    return IrisOutline{0, radius, 0.0};
}

// Red spreads furthest and blue least, so the disc's rim shows a warm-to-white fringe.
constexpr double kFringeRadii[] = {1.0, 0.96, 0.92};

}  // namespace

double IrisOutline::edge_distance(double x, double y) const {
    if (blades == 0) {
        return std::hypot(x, y) - radius;
    }
    // Each blade's arc runs through two neighbouring corners; its centre lies on the inward
    // normal of the chord between them, far enough in for the arc's radius.
    const double half_angle = std::numbers::pi / blades;
    const double half_chord = radius * std::sin(half_angle);
    const double centre_offset = radius * std::cos(half_angle) -
                                 std::sqrt(blade_radius * blade_radius - half_chord * half_chord);
    double distance = -std::numeric_limits<double>::infinity();
    for (int k = 0; k < blades; ++k) {
        const double normal = std::numbers::pi / 2 + half_angle + 2 * half_angle * k;
        const double cx = centre_offset * std::cos(normal);
        const double cy = centre_offset * std::sin(normal);
        distance = std::max(distance, std::hypot(x - cx, y - cy) - blade_radius);
    }
    return distance;
}

const std::vector<IrisShape>& library_shapes() {
    static const std::vector<IrisShape> shapes = {
        {"05", {iris(5)}},
        {"06", {iris(6)}},
        {"07", {iris(7)}},
        {"08", {iris(8)}},
        {"09", {iris(9)}},
        {"circle", {circle(1.0)}},
        {"fringe", {circle(kFringeRadii[0]), circle(kFringeRadii[1]), circle(kFringeRadii[2])}},
    };
    return shapes;
}

}  // namespace shape_library
