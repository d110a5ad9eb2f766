#include "session/channel_levels.h"

#include <cmath>

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

}  // namespace session
