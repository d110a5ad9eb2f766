#include <cstddef>
#include <cstdint>

#include "engine/bokeh_engine.h"
#include "engine/engine_failures.h"
#include "engine/light_curve.h"
#include "platform/allocation.h"

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
    if (Diff_Photon != nullptr) {
        return fail(engine_failure::kPhotonHeld,
                    "Diff_Photon is not NULL before allocation at make_photon()");
    }
    // The level map and the photon light are indexed by level; more levels would run past them.
    if (levels < 1 || levels > kLevelMapSize) {
        return fail(engine_failure::kLevelsOutOfRange,
                    "(make_photon): the number of channel levels is outside 1..65536");
    }
    // A pass without blur makes no stamp and never reads a pair; the value list it would see is
    // an earlier pass's, whose table could be far larger than this pass can afford.
    const int32_t n = pattern_size == 1.0 ? 0 : value_count;
    const std::size_t level_count = static_cast<std::size_t>(levels);
    Diff_Photon = platform::allocate_array<float>(static_cast<std::size_t>(n) *
                                                  static_cast<std::size_t>(n) * level_count);
    if (Diff_Photon == nullptr) {
        return fail(engine_failure::kPhotonMemory,
                    "(make_photon): not enough memory for Diff_Photon");
    }
    for (int32_t k = 0; k < n; ++k) {
        for (int32_t l = 0; l < n; ++l) {
            photon_rows[k * kStampValues + l] =
                Diff_Photon + (static_cast<std::size_t>(k) * n + l) * level_count;
        }
    }

    fill_photon_light(levels, hardness_value, brightness_value);
    for (int32_t m = 0; m < levels; ++m) {
        level_light[m] = static_cast<float>(photon_light[m]);
    }
    for (int32_t k = 0; k < n; ++k) {
        for (int32_t l = 0; l < n; ++l) {
            const auto difference = static_cast<float>(stamp_values[k] - stamp_values[l]);
            float* pair = Diff_Photon + (static_cast<std::size_t>(k) * n + l) * level_count;
            for (std::size_t m = 0; m < level_count; ++m) {
                pair[m] = level_light[m] * difference;
            }
        }
    }

    mid_light = level_light[mid_level];
    level_map[0] = 0;
    for (int32_t m = 1; m < levels; ++m) {
        level_map[m] = mid_level;
    }
    return 1;
}
