// The film-like characteristic curve that turns channel values into linear light and back.
//
// The free functions are pure: the same arguments give the same float or double every time,
// from any thread. `LightTables` remembers forward values for one set of curve parameters at a
// time, for the loops that ask for them per pixel; it belongs to one pass and is not shared.
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

// 10^((a / 0.65) * tan(t) - 1.4) for the tangent argument t; the curve without its gain.
inline double exponential_part(double a, double tangent_argument) {
    return std::pow(kExponentBase,
                    (a / kContrastDivisor) * std::tan(tangent_argument) + kExponentOffset);
}

// The tangent argument of curve position x.
inline double tangent_argument(double x) {
    return (x - kInflection) / kPositionsPerRadian;
}

// The curve's parameters: contrast a, gain b, input scale c.
struct CurveKey {
    double a;
    double b;
    double c;
    bool operator==(const CurveKey&) const = default;
};

}  // namespace light_curve

// Light of the 8-bit channel value `index`: L(index * c) - L(0), with L(0) rounded to float32
// before it is taken off.
float RGB_to_Light8(uint8_t index, double a, double b, double c);

// Light of the 16-bit channel value `index` (0..32768): L(index * c * 256 / 32769) - L(0).
float RGB_to_Light(uint16_t index, double a, double b, double c);

// Channel value of `light` with gain 1, unrounded and unclamped; 16-bit scale when `is16` is
// non-zero.
double Light_to_RGB(float light, int32_t is16, double a, double c);

// Light_to_RGB for one set of parameters, with what does not depend on the light worked out
// once: a search that converts millions of values pays for the curve's base only once.
class InverseLight {
  public:
    InverseLight(int32_t is16, double a, double c);
    double channel_value(float light) const;

  private:
    double a_;
    double output_factor_;
    double base_;
};

// The forward curve's values remembered for the latest parameters asked for: all 256 8-bit
// values at once, 16-bit values as they are met. Each answer equals the free function's.
class LightTables {
  public:
    float RGB_to_Light8(uint8_t index, double a, double b, double c);
    float RGB_to_Light(uint16_t index, double a, double b, double c);

    // The parameters the tables hold now (nullopt-like: a = NaN before the first use), and the
    // raw 16-bit entry, 0.0 while it has not been computed for them.
    light_curve::CurveKey table8_key() const { return key8_; }
    light_curve::CurveKey table16_key() const { return key16_; }
    float table16_entry(uint16_t index) const { return entry16_[index]; }

  private:
    static constexpr int kTable8Size = 256;
    static constexpr int kTable16Size = 65536;

    light_curve::CurveKey key8_{NAN, NAN, NAN};
    light_curve::CurveKey key16_{NAN, NAN, NAN};
    float entry8_[kTable8Size] = {};
    float entry16_[kTable16Size] = {};
};

#endif
