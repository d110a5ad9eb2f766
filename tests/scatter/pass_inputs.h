// Whole passes through render_bokeh on frames and iris images built here: an iris image of
// the pass's diameter, so that the stamp is the image itself turned by 180 degrees, and a
// source frame of random levels with transparent pixels among the rest.
#ifndef QB_TESTS_SCATTER_PASS_INPUTS_H
#define QB_TESTS_SCATTER_PASS_INPUTS_H

#include <array>
#include <cstdint>
#include <random>
#include <vector>

#include "engine/bokeh_engine.h"
#include "engine/pass_inputs.h"
#include "tests/scatter/hand_pass.h"

namespace scatter_test {

// Partial values are multiples of 8, which 16-bit passes keep as they are.
struct IrisImage {
    int size;
    std::vector<uint8_t> bgr;
    double red(int row, int column) const { return bgr[(row * size + column) * 3 + 2]; }
    double green(int row, int column) const { return bgr[(row * size + column) * 3 + 1]; }
    double blue(int row, int column) const { return bgr[(row * size + column) * 3]; }
};

// A disc with a bite taken out of one side, so that the iris is not symmetric; a colour iris
// has a dimmer green rim and a smaller blue disc.
IrisImage iris_image(int diameter, bool colour);

// A source frame, alpha first.
struct Source {
    int width;
    int height;
    int levels;
    std::vector<std::array<int, 4>> pixels;
    const std::array<int, 4>& at(int x, int y) const { return pixels[y * width + x]; }
};

Source random_source(std::mt19937& rng, int width, int height, int levels);

// What the render driver hands a pass besides the frame: the blur map and row mask (empty for
// none) and the blur diameter (0: the iris image's size).
struct PassRegion {
    std::vector<uint8_t> blur_map;
    std::vector<int32_t> row_mask;
    double diameter = 0.0;
};

struct PassOutput {
    std::vector<float> accum;
    std::vector<float> weight;
};

PassOutput render_pass(BokehEngine& e, const Source& source, const IrisImage& iris,
                       const Light& light, bool simd, const PassRegion& region = {},
                       SumMethod method = SumMethod::kCheaper);

}  // namespace scatter_test

#endif
