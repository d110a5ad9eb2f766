// Progress of a running render as its host sees it: the engine reports percent of the running
// distance step, which is mapped onto the whole render before the host is asked whether to go
// on. One object a render, so renders running at once report to their own hosts.
#ifndef QB_RENDER_RENDER_PROGRESS_H
#define QB_RENDER_RENDER_PROGRESS_H

#include "render/render_frame.h"

namespace render {

class RenderProgress {
  public:
    explicit RenderProgress(RenderHost& host) : host_(host) {}

    // Before the first of the render's `step_count` distance steps.
    void reset_steps(int step_count);
    // A non-empty step starts: the engine's percent now counts within it.
    void advance_step(int step_count);
    // The host's answer for `current` of `total` of the running step, non-zero to cancel.
    int report(int current, int total) const;

  private:
    RenderHost& host_;
    // The running step's share of the whole, and the percent done before it.
    double step_share_ = 0.0;
    double done_ = 0.0;
};

}  // namespace render

#endif
