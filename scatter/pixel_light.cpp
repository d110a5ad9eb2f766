#include "scatter/pixel_light.h"

#include "engine/light_curve.h"

namespace {
constexpr int kChannels = 4;
}

void light_pixel16(LightTables& tables, float* accum_pixel, const uint16_t* source_pixel, double a,
                   double b, double c) {
    for (int k = 0; k < kChannels; ++k) {
        accum_pixel[k] += tables.RGB_to_Light(source_pixel[k], a, b, c);
    }
}

void light_pixel8(LightTables& tables, float* accum_pixel, const uint8_t* bytes, double a, double b,
                  double c) {
    for (int k = 0; k < kChannels; ++k) {
        accum_pixel[k] += tables.RGB_to_Light8(bytes[k], a, b, c);
    }
}
