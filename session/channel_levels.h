// Channel values between files and the host's worlds. The host's 16-bit worlds hold 0..32768,
// so 16-bit file values (0..65535) and float values (0..1) are scaled, rounding to nearest.
#ifndef QB_SESSION_CHANNEL_LEVELS_H
#define QB_SESSION_CHANNEL_LEVELS_H

#include <cstdint>

namespace session {

inline constexpr std::uint32_t kMax8 = 255;
inline constexpr std::uint32_t kMaxFile16 = 65535;
inline constexpr std::uint32_t kMaxWorld16 = 32768;

// Integer arithmetic throughout: floats would misround values that lie near a half.
constexpr std::uint16_t file16_to_world16(std::uint16_t value) {
    return static_cast<std::uint16_t>((value * 2u * kMaxWorld16 + kMaxFile16) / (2u * kMaxFile16));
}

constexpr std::uint16_t world16_to_file16(std::uint16_t value) {
    return static_cast<std::uint16_t>((value * 2u * kMaxFile16 + kMaxWorld16) / (2u * kMaxWorld16));
}

// Values outside 0..1 (and NaN) are clamped: the worlds have no room for them.
std::uint16_t float_to_world16(float value);

// A float distance (0..1) as the 16-bit file value nearest to it would give it, so that a float
// Distance Layer and the 16-bit file it would be saved as render alike.
std::uint16_t float_distance_to_world16(float value);

constexpr float world16_to_float(std::uint16_t value) {
    return static_cast<float>(value) / static_cast<float>(kMaxWorld16);
}

}  // namespace session

#endif
