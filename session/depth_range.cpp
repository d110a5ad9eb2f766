#include "session/depth_range.h"

#include <algorithm>
#include <cmath>
#include <limits>

#include "session/channel_levels.h"

namespace session {

std::uint8_t depth_to_distance(float depth, const DepthRange& range) {
    const double d = std::isnan(depth) ? std::numeric_limits<double>::infinity() : depth;
    // 0 at near, 1 at far; works for near > far as well.
    const double t = std::clamp((d - range.near) / (range.far - range.near), 0.0, 1.0);
    const double closeness = range.invert ? t : 1.0 - t;
    return static_cast<std::uint8_t>(std::lround(closeness * kMax8));
}

}  // namespace session
