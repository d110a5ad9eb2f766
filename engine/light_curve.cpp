#include "engine/light_curve.h"

#include "engine/light_curve_internal.h"

namespace light_curve {
namespace {

constexpr int kTable8Size = 256;
constexpr int kTable16Size = 65536;

struct Table8 {
    CacheKey key{kUnsetKey, kUnsetKey, kUnsetKey};
    float entry[kTable8Size] = {};
};

struct Table16 {
    CacheKey key{kUnsetKey, kUnsetKey, kUnsetKey};
    float base = 0.0f;
    double step = 0.0;
    float entry[kTable16Size] = {};
};

struct InverseCache {
    double a = kUnsetKey;
    double c = kUnsetKey;
    int32_t is16 = -1;
    double output_factor = 0.0;
    float base = 0.0f;
};

// The inverse's L(0) depends on the contrast alone, so it is cached apart from the factor.
struct InverseBase {
    double a = kUnsetKey;
    float base = 0.0f;
};

Table8 table8;
Table16 table16;
InverseCache inverse;
InverseBase inverse_base;

bool same_key(const CacheKey& key, double a, double b, double c) {
    return key.a == a && key.b == b && key.c == c;
}

void refill_table8(double a, double b, double c) {
    table8.key = {a, b, c};
    for (int i = 0; i < kTable8Size; ++i) {
        const double base = i == 0 ? 0.0 : static_cast<double>(table8.entry[0]);
        const double x = i * c;
        table8.entry[i] =
            static_cast<float>(kGain * b * exponential_part(a, tangent_argument(x)) - base);
    }
    table8.entry[0] = 0.0f;
}

void reset_table16(double a, double b, double c) {
    table16.key = {a, b, c};
    table16.step = c * double{kLevels8} * (1.0 / double{kLevels16});
    table16.base = static_cast<float>(kGain * b * exponential_part(a, kArgumentAtZero));
    float* const entry = table16.entry;
#pragma omp parallel for schedule(static)
    for (int i = 0; i < kTable16Size; ++i) {
        entry[i] = 0.0f;
    }
}

float inverse_base_for(double a) {
    if (inverse_base.a != a) {
        inverse_base.a = a;
        inverse_base.base = static_cast<float>(kGain * exponential_part(a, kArgumentAtZero));
    }
    return inverse_base.base;
}

}  // namespace

CacheKey table8_key() {
    return table8.key;
}

CacheKey table16_key() {
    return table16.key;
}

float table16_entry(uint16_t index) {
    return table16.entry[index];
}

}  // namespace light_curve

float RGB_to_Light8(uint8_t index, double a, double b, double c) {
    using namespace light_curve;
    if (!same_key(table8.key, a, b, c)) {
        refill_table8(a, b, c);
    }
    return table8.entry[index];
}

float RGB_to_Light(uint16_t index, double a, double b, double c) {
    using namespace light_curve;
    if (index == 0) {
        return 0.0f;
    }
    if (!same_key(table16.key, a, b, c)) {
        reset_table16(a, b, c);
    }
    float& entry = table16.entry[index];
    if (entry != 0.0f) {
        return entry;
    }
    const double x = index * table16.step;
    entry = static_cast<float>(kGain * b * exponential_part(a, tangent_argument(x)) -
                               static_cast<double>(table16.base));
    return entry;
}

double Light_to_RGB(float light, int32_t is16, double a, double c) {
    using namespace light_curve;
    if (light == 0.0f) {
        return 0.0;
    }
    if (inverse.a != a || inverse.c != c || inverse.is16 != is16) {
        inverse.a = a;
        inverse.c = c;
        inverse.is16 = is16;
        inverse.output_factor = (is16 == 0 ? 1.0 : kInverse16Factor) / c;
        inverse.base = inverse_base_for(a);
    }
    const double sum = static_cast<double>(light) + static_cast<double>(inverse.base);
    const double exponent = std::log10(sum * (1.0 / kGain)) - kExponentOffset;
    return (kPositionsPerRadian * std::atan((kContrastDivisor / a) * exponent) + kInflection) *
           inverse.output_factor;
}
