#include "plugin/render_progress.h"

namespace {

constexpr double kWhole = 100.0;

}  // namespace

void RenderProgress::reset_steps(int step_count) {
    // One share below 0, so that the first step run starts at 0.
    done_ = -kWhole / step_count;
}

void RenderProgress::advance_step(int step_count) {
    step_share_ = 1.0 / step_count;
    done_ += kWhole * step_share_;
}

int RenderProgress::report(int current, int total) const {
    // A host without a progress callback cannot be asked, and never cancels.
    if (!in_data_->inter.progress) {
        return 0;
    }
    const auto overall = static_cast<A_long>(current * step_share_ + done_);
    return in_data_->inter.progress(in_data_->effect_ref, overall, total);
}
