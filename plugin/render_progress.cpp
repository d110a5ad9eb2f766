#include "plugin/render_progress.h"

namespace {

// The running render's host, its share of the whole per step, and the percent done before the
// running step. Module-wide, as the engine's callback takes no context.
PF_InData* progress_in_data = nullptr;
double progress_step_share = 0.0;
double progress_done = 0.0;

constexpr double kWhole = 100.0;

}  // namespace

void begin_render_progress(PF_InData* in_data) {
    progress_in_data = in_data;
    progress_step_share = 0.0;
    progress_done = 0.0;
}

void reset_step_progress(int step_count) {
    // One share below 0, so that the first step run starts at 0.
    progress_done = -kWhole / step_count;
}

void advance_step_progress(int step_count) {
    progress_step_share = 1.0 / step_count;
    progress_done += kWhole * progress_step_share;
}

int progress_hook(int current, int total) {
    if (progress_in_data == nullptr) {
        return 0;
    }
    const auto overall = static_cast<A_long>(current * progress_step_share + progress_done);
    return progress_in_data->inter.progress(progress_in_data->effect_ref, overall, total);
}
