// One distance step handed to the engine: the render's buffers and settings become the pass's
// inputs and accumulator, and the pass's outcome comes back as a value.
#ifndef QB_RENDER_ENGINE_PASS_H
#define QB_RENDER_ENGINE_PASS_H

#include <cstdint>

#include "engine/bokeh_engine.h"
#include "engine/pass_inputs.h"
#include "render/distance_steps.h"
#include "scatter/render_pass.h"

namespace render {

// The render's buffers as the engine sees them; all region-sized except the shape image.
struct PassBuffers {
    int32_t width = 0;  // of the region
    int32_t height = 0;
    int32_t levels = 0;                  // 256 or 32769 (the float pass's too)
    const uint8_t* input8 = nullptr;     // the step's pixels, for an 8-bit render
    const uint16_t* input16 = nullptr;   // or for a 16-bit one
    const float* input_float = nullptr;  // or for a float one
    int32_t input_stride = 0;            // in channel values; 0 for packed rows
    // The input is the layer itself, every pixel of it the step's, instead of a step buffer (that
    // marks the step's pixels, for float light).
    bool input_is_layer = false;
    const uint8_t* mask = nullptr;
    const int32_t* row_work = nullptr;
    float* light = nullptr;
    float* weights = nullptr;
    const uint8_t* shape = nullptr;  // 3 bytes a pixel, blue, green, red
    int32_t shape_width = 0;
    int32_t shape_height = 0;
    int32_t shape_rowbytes = 0;
};

struct PassSettings {
    float alpha_value = 0.3f;
    int32_t use_simd = 1;
    int32_t use_micro = 0;
    double hardness = 1.0;
    double brightness = 1.0;
    uint16_t quality = 1;
};

// The pass's inputs, its blur the step's.
PassInputs pass_inputs(const PassBuffers& buffers, const PassSettings& settings,
                       const DistanceStep& step);

scatter::PassOutcome run_engine_pass(BokehEngine& engine, const PassBuffers& buffers,
                                     const PassSettings& settings, const DistanceStep& step,
                                     const scatter::ProgressFn& progress);

}  // namespace render

#endif
