#include "render/render_progress.h"

namespace render {
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
    return host_.progress(static_cast<int>(current * step_share_ + done_), total);
}

}  // namespace render
