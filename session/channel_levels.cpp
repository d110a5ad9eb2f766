#include "session/channel_levels.h"

#include <algorithm>
#include <cmath>

#include "session/scene_light.h"

namespace session {

std::uint16_t float_to_world16(float value) {
    if (!(value > 0.0f)) {
        return 0;
    }
    if (value >= 1.0f) {
        return kMaxWorld16;
    }
    return static_cast<std::uint16_t>(std::lround(static_cast<double>(value) * kMaxWorld16));
}

std::uint16_t float_distance_to_world16(float value) {
    const float level = std::clamp(clean_light(value), 0.0f, 1.0f) * kMaxFile16;
    return file16_to_world16(static_cast<std::uint16_t>(std::lround(level)));
}

}  // namespace session
