#include "engine/light_curve.h"

#include <algorithm>
#include <iterator>

namespace {

using namespace light_curve;

// L(0) with gain b, as float32: every forward value has it taken off.
float curve_base(double a, double b) {
    return static_cast<float>(kGain * b * exponential_part(a, kArgumentAtZero));
}

float light_at(double x, double a, double b, float base) {
    return static_cast<float>(kGain * b * exponential_part(a, tangent_argument(x)) -
                              static_cast<double>(base));
}

}  // namespace

float RGB_to_Light8(uint8_t index, double a, double b, double c) {
    if (index == 0) {
        return 0.0f;
    }
    return light_at(index * c, a, b, curve_base(a, b));
}

float RGB_to_Light(uint16_t index, double a, double b, double c) {
    if (index == 0) {
        return 0.0f;
    }
    const double step = c * double{kLevels8} * (1.0 / double{kLevels16});
    return light_at(index * step, a, b, curve_base(a, b));
}

InverseLight::InverseLight(int32_t is16, double a, double c)
    : a_(a),
      output_factor_((is16 == 0 ? 1.0 : kInverse16Factor) / c),
      base_(static_cast<double>(static_cast<float>(kGain * exponential_part(a, kArgumentAtZero)))) {
}

double InverseLight::channel_value(float light) const {
    if (light == 0.0f) {
        return 0.0;
    }
    const double sum = static_cast<double>(light) + base_;
    const double exponent = std::log10(sum * (1.0 / kGain)) - kExponentOffset;
    return (kPositionsPerRadian * std::atan((kContrastDivisor / a_) * exponent) + kInflection) *
           output_factor_;
}

double Light_to_RGB(float light, int32_t is16, double a, double c) {
    return InverseLight(is16, a, c).channel_value(light);
}

float LightTables::RGB_to_Light8(uint8_t index, double a, double b, double c) {
    const CurveKey key{a, b, c};
    if (!(key8_ == key)) {
        key8_ = key;
        for (int i = 0; i < kTable8Size; ++i) {
            entry8_[i] = ::RGB_to_Light8(static_cast<uint8_t>(i), a, b, c);
        }
    }
    return entry8_[index];
}

float LightTables::RGB_to_Light(uint16_t index, double a, double b, double c) {
    if (index == 0) {
        return 0.0f;
    }
    const CurveKey key{a, b, c};
    if (!(key16_ == key)) {
        key16_ = key;
        std::fill(std::begin(entry16_), std::end(entry16_), 0.0f);
    }
    // 0.0 marks an entry not yet computed; one that computes to 0.0 is simply computed again.
    float& entry = entry16_[index];
    if (entry == 0.0f) {
        entry = ::RGB_to_Light(index, a, b, c);
    }
    return entry;
}
