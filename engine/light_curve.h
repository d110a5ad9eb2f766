// The film-like characteristic curve that turns channel values into linear light and back.
//
// The two forward tables and the inverse's derived values are module-wide caches keyed by the
// curve parameters (contrast a, gain b, input scale c); each keeps only the latest key. None of
// these functions allocates or reports a failure, and none may be called from two threads at
// once: the caches are unlocked.
#ifndef QB_ENGINE_LIGHT_CURVE_H
#define QB_ENGINE_LIGHT_CURVE_H

#include <cmath>
#include <cstdint>

#include "engine/channel_levels.h"

namespace light_curve {

inline constexpr double kGain = 20.0;
inline constexpr double kContrastDivisor = 0.65;
// Curve position of the inflection, and curve positions per radian of the tangent.
inline constexpr double kInflection = 135.0;
inline constexpr double kPositionsPerRadian = 150.0;
inline constexpr double kExponentOffset = -1.4;
inline constexpr double kExponentBase = 10.0;
// (0 - kInflection) / kPositionsPerRadian: the tangent's argument at curve position 0.
inline constexpr double kArgumentAtZero = -0.9;
// kLevels16 / kLevels8: the 16-bit output factor of the inverse, before the input scale.
inline constexpr double kInverse16Factor = 128.00390625;
// Marks a cache key that no call has set yet, so that the first call always fills.
inline constexpr double kUnsetKey = -9999.0;

// 10^((a / 0.65) * tan(t) - 1.4) for the tangent argument t; the curve without its gain.
inline double exponential_part(double a, double tangent_argument) {
    return std::pow(kExponentBase,
                    (a / kContrastDivisor) * std::tan(tangent_argument) + kExponentOffset);
}

// The tangent argument of curve position x.
inline double tangent_argument(double x) {
    return (x - kInflection) / kPositionsPerRadian;
}

}  // namespace light_curve

// Light of the 8-bit channel value `index`: L(index * c) - L(0).
float RGB_to_Light8(uint8_t index, double a, double b, double c);

// Light of the 16-bit channel value `index` (0..32768): L(index * c * 256 / 32769) - L(0).
float RGB_to_Light(uint16_t index, double a, double b, double c);

// Channel value of `light` with gain 1, unrounded and unclamped; 16-bit scale when `is16` is
// non-zero.
double Light_to_RGB(float light, int32_t is16, double a, double c);

#endif
