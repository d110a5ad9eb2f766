#include <cstdint>

#include "engine/bokeh_engine.h"
#include "engine/engine_failures.h"
#include "engine/light_curve.h"

namespace {

// Photon light per level, P[m]; only the last pass's values are kept.
double photon_light[BokehEngine::kLevelMapSize];

void fill_photon_light(int32_t levels, double hardness, double brightness) {
    using namespace light_curve;
    const double step = double{kLevels8} / levels;
    double base = 0.0;
    for (int32_t m = 0; m < levels; ++m) {
        const double e = kGain * exponential_part(hardness, tangent_argument(m * step));
        photon_light[m] = e * brightness - base;
        if (m == 0) {
            base = photon_light[0];
        }
    }
    photon_light[0] = 0.0;
}

}  // namespace

int32_t BokehEngine::make_photon(double hardness_value, double brightness_value) {
    // The level map and the photon light are indexed by level; more levels would run past them.
    if (levels < 1 || levels > kLevelMapSize) {
        return fail(engine_failure::kLevelsOutOfRange,
                    "(make_photon): the number of channel levels is outside 1..65536");
    }
    fill_photon_light(levels, hardness_value, brightness_value);
    for (int32_t m = 0; m < levels; ++m) {
        level_light[m] = static_cast<float>(photon_light[m]);
    }
    mid_light = level_light[mid_level];
    level_map[0] = 0;
    for (int32_t m = 1; m < levels; ++m) {
        level_map[m] = mid_level;
    }
    return 1;
}
