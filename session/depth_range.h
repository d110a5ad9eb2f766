// Depths in scene units, as 3-D renders and compositors' depth passes hold them, turned into the
// effect's distance values of 0..255 between a near and a far distance.
#ifndef QB_SESSION_DEPTH_RANGE_H
#define QB_SESSION_DEPTH_RANGE_H

#include <cstdint>

namespace session {

struct DepthRange {
    double near = 0.0;
    double far = 0.0;
    bool invert = false;  // near maps to 0 instead of 255
};

// One depth in scene units to a distance value: near gives 255 (0 when inverted), far gives 0,
// linear between and clamped outside. A missing depth (NaN) counts as infinitely far, as
// background pixels of a depth pass are.
std::uint8_t depth_to_distance(float depth, const DepthRange& range);

}  // namespace session

#endif
