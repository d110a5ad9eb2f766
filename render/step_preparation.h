// What each engine pass works on: the input pixels of its distance step (all others zero), the
// per-row work counts and the step's blur mask.
#ifndef QB_RENDER_STEP_PREPARATION_H
#define QB_RENDER_STEP_PREPARATION_H

#include <cstddef>
#include <cstdint>

#include "render/distance_steps.h"
#include "render/pixel_rows.h"
#include "render/step_workspace.h"

namespace render {

// The region's pixels and distances, shared by every step of a render.
struct StepSource {
    ConstPixelRows input;  // the input layer at the region's top-left pixel
    // The distance map at the region's top-left pixel, or null: then every pixel is the step's.
    const uint8_t* distances = nullptr;
    std::ptrdiff_t distance_stride = 0;
    int32_t width = 0;  // of the region
    int32_t height = 0;
    int32_t step_count = 0;
};

// Records each row's distance range, so that steps can pass over rows without their values, and
// marks every row of the step buffer as holding unknown bytes. Once per render.
void measure_step_source(const StepSource& source, StepWorkspace& workspace);

// Fills `buffer` (packed region rows of the input's depth), `mask` (region bytes) and the
// workspace's row_work for one step with disc diameter `disc`. Rows whose row_work is 0 are
// left as they are, the engine does not work on them, except that the buffer holds zeros in
// every row within half a disc of a row with work.
void prepare_step(const StepSource& source, const DistanceStep& step, int32_t disc,
                  const PixelRows& buffer, uint8_t* mask, StepWorkspace& workspace);

// For a render of one step that reads the layer itself instead of a step buffer (float light,
// without distances): every pixel is the step's, at full weight.
void prepare_layer_as_step(const StepSource& source, uint8_t* mask, StepWorkspace& workspace);

}  // namespace render

#endif
