// The write-back sixteen pixels at a time, on processors with sixteen-lane vectors: the same
// levels as PixelConverter gives each pixel, found by the same search in the same tables, with
// the table reads gathered for all lanes at once.
#ifndef QB_RENDER_WRITE_BACK_WIDE_H
#define QB_RENDER_WRITE_BACK_WIDE_H

#include <cstdint>

#include "render/pixel_converter.h"

namespace render {

// Whether the processor runs the functions below.
bool has_wide_write_back();

// Converts the first pixels of a row, in whole groups of sixteen, and answers how many: the
// rest are the caller's, one at a time. `light` holds four sums a pixel, `weights` one.
int32_t convert_sixteens8(const PixelConverter& converter, const float* light, const float* weights,
                          int32_t width, const uint8_t* input, uint8_t* output);
int32_t convert_sixteens16(const PixelConverter& converter, const float* light,
                           const float* weights, int32_t width, const uint8_t* input,
                           uint8_t* output);

}  // namespace render

#endif
