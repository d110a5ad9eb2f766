// The last stage of a render: the light that every pass accumulated, normalised by its weight,
// converted back through the inverse light curve, rounded, clamped and stored into the output
// world at the region's place.
#ifndef QB_RENDER_WRITE_BACK_H
#define QB_RENDER_WRITE_BACK_H

#include <cstdint>

#include "render/pixel_rows.h"

namespace render {

struct WriteBackSettings {
    float mid_light = 0.0f;  // the engine's weight of one unblurred pixel, after the last pass
    double brightness = 1.0;
    double hardness = 1.0;
    float alpha_value = 0.3f;
    // Alpha from the accumulated alpha light instead of the input's own alpha.
    bool alpha_bokeh = false;
};

// `light`: 4 floats a region pixel (alpha, then the three colours); `weights`: 1 float a pixel;
// both `width` x `height` with packed rows. `input` and `output` are at the region's top-left
// pixel and of the same depth; 16-bit output gets 16-bit levels (maximum 32768), float output
// the light itself.
void write_back(const float* light, const float* weights, int32_t width, int32_t height,
                const ConstPixelRows& input, const PixelRows& output,
                const WriteBackSettings& settings);

}  // namespace render

#endif
