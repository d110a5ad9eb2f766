// One distance step handed to the engine: its setters in the order the engine expects, then the
// pass itself. The outcome stays in the engine (error_code, message, mid_light, check_leaks).
#ifndef QB_RENDER_ENGINE_PASS_H
#define QB_RENDER_ENGINE_PASS_H

#include <cstdint>

#include "engine/bokeh_engine.h"
#include "render/distance_steps.h"

namespace render {

// The render's buffers as the engine sees them; all region-sized except the shape image.
struct PassBuffers {
    int32_t width = 0;  // of the region
    int32_t height = 0;
    int32_t levels = 0;                 // 256 or 32769
    const uint8_t* input8 = nullptr;    // the step's pixels, for an 8-bit render
    const uint16_t* input16 = nullptr;  // or for a 16-bit one
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
    int32_t alpha_bokeh_mode = 0;
    int32_t use_simd = 1;
    int32_t use_micro = 0;
    double hardness = 1.0;
    double brightness = 1.0;
    uint16_t quality = 1;
};

// The setters alone, for callers that run the pass's stages themselves.
void hand_step_to_engine(BokehEngine& engine, const PassBuffers& buffers,
                         const PassSettings& settings, const DistanceStep& step);

void run_engine_pass(BokehEngine& engine, const PassBuffers& buffers, const PassSettings& settings,
                     const DistanceStep& step);

}  // namespace render

#endif
