// Progress of a running render as the host sees it: the engine reports percent of the running
// distance step through `progress_hook`, which maps it onto the whole render and asks the host
// whether to go on.
#ifndef QB_PLUGIN_RENDER_PROGRESS_H
#define QB_PLUGIN_RENDER_PROGRESS_H

#include "sdk/effect_sdk.h"

// From now on the hook reports to the host of `in_data`; null stops reporting.
void begin_render_progress(PF_InData* in_data);
// Before the first of the render's `step_count` distance steps.
void reset_step_progress(int step_count);
// A non-empty step starts: the hook's percent now counts within it.
void advance_step_progress(int step_count);
// The host's answer for `current` of `total`, non-zero to cancel; 0 when no render reports.
int progress_hook(int current, int total);

#endif
