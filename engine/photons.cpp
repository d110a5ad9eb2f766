#include "engine/photons.h"

#include "engine/channel_levels.h"
#include "engine/light_curve.h"
#include "engine/linear_light.h"

EngineStatus PhotonLight::make_photon(int32_t levels, double hardness, double brightness) {
    const Made asked{levels, hardness, brightness};
    if (made == asked) {
        return {};
    }
    made.reset();
    mid_level = static_cast<uint16_t>((levels - 1) / 2);
    // The level map and the photon light are indexed by level; more levels would run past them.
    if (levels < 1 || levels > kLevelMapSize) {
        return {engine_failure::kLevelsOutOfRange,
                "(make_photon): the number of channel levels is outside 1..65536"};
    }
    // Photon light per level, P[m] = L(m) - L(0) with the brightness as gain, each level's
    // curve position on the 8-bit scale; it is kept as float32, which is what a cell weighs.
    using namespace light_curve;
    const double step = double{kLevels8} / levels;
    double base = 0.0;
    for (int32_t m = 0; m < levels; ++m) {
        const double e = kGain * exponential_part(hardness, tangent_argument(m * step));
        const double photon = e * brightness - base;
        if (m == 0) {
            base = photon;
        }
        level_light[m] = static_cast<float>(photon);
    }
    level_light[0] = 0.0f;
    int32_t m = 0;
    while (m < levels && level_light[m] == 0.0f) {
        ++m;
    }
    const int32_t lit_from = m;
    while (m < levels && level_light[m] != 0.0f) {
        ++m;
    }
    first_lit_level = m == levels ? lit_from : INT32_MAX;
    mid_light = level_light[mid_level];
    level_map[0] = 0;
    for (int32_t m = 1; m < levels; ++m) {
        level_map[m] = mid_level;
    }
    made = asked;
    return {};
}

void PhotonLight::make_linear() {
    made.reset();
    mid_level = 0;
    first_lit_level = INT32_MAX;
    mid_light = LinearLight::kPixelWeight;
}
