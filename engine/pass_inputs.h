// What one pass reads, and where it adds what it renders. The caller owns every buffer named
// here and keeps it alive for the pass; the pass reads the inputs and never changes them.
#ifndef QB_ENGINE_PASS_INPUTS_H
#define QB_ENGINE_PASS_INPUTS_H

#include <cstdint>

#include "engine/channel_levels.h"
#include "engine/linear_light.h"

// The source frame, four channels a pixel, alpha first: 8-bit (src8), 16-bit (src16) or float
// light (srcf, any values: the pass cleans them as it reads them; it takes the 16-bit stamp).
// A float source either marks the pixels of the step as LinearLight::mark_in_step does, or is
// all of the step.
struct SourceFrame {
    int32_t width = 0;
    int32_t height = 0;
    int32_t levels = kLevels8;
    const uint8_t* src8 = nullptr;
    int32_t src8_rowbytes = 0;
    const uint16_t* src16 = nullptr;
    int32_t src16_stride = 0;  // in 16-bit values
    const float* srcf = nullptr;
    int32_t srcf_stride = 0;  // in floats
    bool srcf_marks_step = true;

    bool linear() const { return srcf != nullptr; }
    // Whether the float pixel belongs to the pass's step.
    bool in_step(const float* pixel) const {
        return !srcf_marks_step || LinearLight::marked_in_step(pixel);
    }
};

// The iris shape as loaded: `bytes_per_pixel` bytes a pixel, colour bytes first in blue, green,
// red order, or (alpha_first) leading bytes first and colour in red, green, blue order.
struct IrisImage {
    bool alpha_first = false;
    int32_t bytes_per_pixel = 0;
    int32_t width = 0;
    int32_t height = 0;
    const uint8_t* pixels = nullptr;
    int32_t rowbytes = 0;
};

// The output pixels a pass computes: those of the rows whose row_mask entry is not 0 (all rows
// without a mask) whose blur_map byte is not 0 (all without a map), weighted by that byte.
struct PassRegion {
    const uint8_t* blur_map = nullptr;
    int32_t blur_map_rowbytes = 0;
    const int32_t* row_mask = nullptr;
};

// How a blurred pass sums the light under its stamp: the cheaper way for the pass, or always one
// way, so that tests and benchmarks can hold the two against each other. Without the vector
// kernels (use_simd false) the cheaper way is always the walk.
enum class SumMethod { kCheaper, kStampWalk, kTransform };

struct PassInputs {
    SourceFrame source;
    IrisImage iris;
    PassRegion region;
    // The distance step's blur: the disc diameter in pixels, before rounding. 1 or less leaves
    // every pixel where it is.
    double blur = 1.0;
    // The light curve's contrast, also the photons' hardness.
    double hardness = 1.0;
    double brightness = 1.0;
    uint16_t quality = 1;  // QualityChoice
    float alpha_scale = 1.0f;
    bool use_simd = true;
    bool use_micro = false;
    SumMethod sum_method = SumMethod::kCheaper;
};

// Where a pass adds its light: four floats a pixel in rows of accum_rowbytes floats, and one
// weight a pixel in rows of the frame's width. Nothing is overwritten, so passes may run in any
// order into the same accumulator.
struct Accumulator {
    float* accum = nullptr;
    int32_t accum_rowbytes = 0;
    float* weight_buf = nullptr;
};

#endif
