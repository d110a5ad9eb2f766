// The engine driver: one pass's stages in their order, from the pre-processed source to the
// scatter loop, and everything the pass allocated freed before it returns.
#include "engine/bokeh_engine.h"
#include "engine/engine_failures.h"

namespace {

constexpr int kProgressTotal = 100;

}  // namespace

void BokehEngine::render_bokeh(double hardness_value, double brightness_value,
                               uint16_t quality_value) {
    hardness = hardness_value;
    brightness = brightness_value;
    quality = quality_value;
    error_code = 0;
    mid_level = static_cast<uint16_t>((levels - 1) / 2);

    // A refused pre-processing holds nothing new, and a leftover source must stay visible to
    // check_leaks rather than be freed under its owner.
    if (!pre_process_RGB_cf()) {
        return;
    }

    pack_pattern_alpha();
    if (Pattern == nullptr || row_first == nullptr || row_last == nullptr) {
        free_pattern_buffers();
        free_size_patterns();
        return;
    }
    measure_pattern();

    if (!prepare_pattern()) {
        free_pattern_buffers();
        free_size_patterns();
        return;
    }

    if (make_photon(hardness, brightness) && run_pix_loop()) {
        if (progress_fn != nullptr && progress_fn(0, kProgressTotal) != 0) {
            error_code = engine_failure::kCancelled;
        }
    }
    free_pattern_buffers();
    free_size_patterns();
}
