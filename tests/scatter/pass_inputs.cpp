#include "tests/scatter/pass_inputs.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>

#include "scatter/render_pass.h"

namespace scatter_test {

namespace {

constexpr int kHigh = 5;
constexpr int kIrisBytes = 3;  // blue, green, red, as shape images arrive
constexpr int kRowPadding = 3;

uint8_t coverage(double row, double column, double centre, double radius) {
    const double share = radius - std::hypot(row - centre, column - centre);
    if (share >= 1.0) {
        return 255;
    }
    return share <= 0.0 ? 0 : static_cast<uint8_t>(static_cast<int>(share * 31.0) * 8);
}

}  // namespace

IrisImage iris_image(int diameter, bool colour) {
    IrisImage image{diameter, std::vector<uint8_t>(static_cast<size_t>(diameter) * diameter * 3)};
    const double centre = (diameter - 1) / 2.0;
    for (int row = 0; row < diameter; ++row) {
        for (int column = 0; column < diameter; ++column) {
            // A disc with a bite taken out of one side, so that the iris is not symmetric.
            const uint8_t disc = coverage(row, column, centre, diameter / 2.0);
            const uint8_t bite = coverage(row, column + diameter * 0.45, centre, diameter * 0.3);
            const int bitten = std::max(0, disc - bite);
            const uint8_t red = static_cast<uint8_t>(bitten == 255 ? 255 : bitten / 8 * 8);
            uint8_t* pixel = &image.bgr[(static_cast<size_t>(row) * diameter + column) * 3];
            pixel[2] = red;
            pixel[1] = colour ? static_cast<uint8_t>(red == 255 ? 255 : red / 16 * 8) : red;
            pixel[0] = colour ? std::min(red, coverage(row, column, centre, diameter * 0.3)) : red;
        }
    }
    return image;
}

Source random_source(std::mt19937& rng, int width, int height, int levels) {
    Source source{width, height, levels, std::vector<std::array<int, 4>>(width * height)};
    std::uniform_int_distribution<int> level(0, levels - 1);
    for (auto& pixel : source.pixels) {
        if (std::bernoulli_distribution(0.2)(rng)) {
            continue;
        }
        pixel = {std::max(1, level(rng)), level(rng), level(rng), level(rng)};
    }
    return source;
}

PassOutput render_pass(BokehEngine& e, const Source& source, const IrisImage& iris,
                       const Light& light, bool simd, const PassRegion& region, SumMethod method) {
    const int w = source.width;
    const int h = source.height;
    const bool deep = source.levels > 256;
    std::vector<uint8_t> src8(static_cast<size_t>(4 * w + kRowPadding) * h);
    std::vector<uint16_t> src16(static_cast<size_t>(4 * w + kRowPadding) * h);
    for (int y = 0; y < h; ++y) {
        for (int x = 0; x < w; ++x) {
            for (int k = 0; k < 4; ++k) {
                const size_t at = static_cast<size_t>(y) * (4 * w + kRowPadding) + 4 * x + k;
                src8[at] = static_cast<uint8_t>(source.at(x, y)[k]);
                src16[at] = static_cast<uint16_t>(source.at(x, y)[k]);
            }
        }
    }
    PassOutput out{std::vector<float>(static_cast<size_t>(4) * w * h),
                   std::vector<float>(static_cast<size_t>(w) * h)};
    PassInputs in;
    in.source = SourceFrame{w,
                            h,
                            source.levels,
                            deep ? nullptr : src8.data(),
                            4 * w + kRowPadding,
                            deep ? src16.data() : nullptr,
                            4 * w + kRowPadding};
    in.iris = ::IrisImage{false, kIrisBytes, iris.size, iris.size, iris.bgr.data(), iris.size * 3};
    in.region = ::PassRegion{region.blur_map.empty() ? nullptr : region.blur_map.data(), w,
                             region.row_mask.empty() ? nullptr : region.row_mask.data()};
    in.blur = region.diameter > 0.0 ? region.diameter : iris.size;
    in.hardness = light.hardness;
    in.brightness = light.brightness;
    in.quality = kHigh;
    in.use_simd = simd;
    in.sum_method = method;
    const Accumulator accumulator{out.accum.data(), 4 * w, out.weight.data()};
    const scatter::PassOutcome outcome = scatter::render_bokeh(e, in, accumulator, nullptr);
    EXPECT_EQ(outcome.error_code, 0) << outcome.message;
    return out;
}

}  // namespace scatter_test
