// Whole passes through render_bokeh against a direct scatter: every source pixel spreads its
// light over the iris, unturned and centred on itself, and every output pixel is divided by the
// weight of the iris cells that reached it from inside the frame.
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "engine/bokeh_engine.h"
#include "tests/scatter/hand_pass.h"
#include "tests/scatter/pass_inputs.h"

namespace {

using scatter_test::iris_image;
using scatter_test::IrisImage;
using scatter_test::Light;
using scatter_test::PassOutput;
using scatter_test::random_source;
using scatter_test::render_pass;
using scatter_test::Source;

// accum's four channels, then weight_buf, for every pixel.
std::vector<std::array<double, 5>> direct_scatter(const Source& source, const IrisImage& iris,
                                                  const Light& light) {
    const int w = source.width;
    const int h = source.height;
    const int r = iris.size / 2;
    const int mid = (source.levels - 1) / 2;
    std::vector<std::array<double, 5>> light_sum(static_cast<size_t>(w) * h);
    std::vector<std::array<double, 5>> weight_sum(static_cast<size_t>(w) * h);
    for (int qy = 0; qy < h; ++qy) {
        for (int qx = 0; qx < w; ++qx) {
            const std::array<int, 4>& q = source.at(qx, qy);
            const std::array<int, 5> levels = {q[0], q[1], q[2], q[3], q[0] != 0 ? mid : 0};
            for (int dy = -r; dy <= r; ++dy) {
                for (int dx = -r; dx <= r; ++dx) {
                    const int ox = qx + dx;
                    const int oy = qy + dy;
                    if (ox < 0 || ox >= w || oy < 0 || oy >= h) {
                        continue;
                    }
                    // Alpha, red and the weight go by the red plane, green and blue by theirs.
                    const double red = iris.red(r + dy, r + dx);
                    const std::array<double, 5> cell = {red, red, iris.green(r + dy, r + dx),
                                                        iris.blue(r + dy, r + dx), red};
                    for (int j = 0; j < 5; ++j) {
                        light_sum[oy * w + ox][j] +=
                            cell[j] * scatter_test::photon_light(levels[j], light);
                        weight_sum[oy * w + ox][j] += cell[j];
                    }
                }
            }
        }
    }
    std::vector<std::array<double, 5>> result(light_sum.size());
    for (size_t i = 0; i < result.size(); ++i) {
        for (int j = 0; j < 5; ++j) {
            result[i][j] = weight_sum[i][j] > 0.0 ? light_sum[i][j] / weight_sum[i][j] : 0.0;
        }
    }
    return result;
}

TEST(ScatterPass, EqualsADirectScatterOfEverySourcePixel) {
    auto engine = std::make_unique<BokehEngine>();
    std::mt19937 rng(99);
    for (int levels : {256, 32769}) {
        const Light light{levels, 1.5, 1.3};
        // Up to an incremental update's rounding of the brightest cell's light.
        const double allowance = 2e-6 * scatter_test::photon_light(levels - 1, light);
        for (bool colour : {false, true}) {
            for (int diameter : {3, 5, 9, 15}) {
                for (bool simd : {false, true}) {
                    SCOPED_TRACE(std::to_string(levels) + " levels, diameter " +
                                 std::to_string(diameter) + (colour ? " colour" : " grey") +
                                 (simd ? " simd" : ""));
                    const Source source = random_source(rng, 13, 9, levels);
                    const IrisImage iris = iris_image(diameter, colour);
                    const PassOutput out = render_pass(*engine, source, iris, light, simd);
                    const auto want = direct_scatter(source, iris, light);
                    for (size_t i = 0; i < want.size(); ++i) {
                        for (int j = 0; j < 5; ++j) {
                            const double got = j < 4 ? out.accum[4 * i + j] : out.weight[i];
                            ASSERT_NEAR(got, want[i][j], allowance + 1e-5 * std::fabs(want[i][j]))
                                << "pixel " << i % 13 << "," << i / 13 << " value " << j;
                        }
                    }
                }
            }
        }
    }
}

// A layer with transparent areas: bright bands, then nothing to the right of them. Where the
// iris spreads no light the pass must add exactly nothing, or the write-back's division by the
// weight would turn rounding residue into colour.
TEST(ScatterPass, AddsExactlyNothingWhereNoLightReaches) {
    auto engine = std::make_unique<BokehEngine>();
    std::mt19937 rng(5);
    constexpr int kWidth = 120;
    constexpr int kHeight = 13;
    const std::vector<std::vector<std::pair<int, int>>> band_sets = {{{0, 40}},
                                                                     {{0, 20}, {80, 120}}};
    for (int levels : {256, 32769}) {
        const Light light{levels, 2.0, 1.0};
        std::uniform_int_distribution<int> bright(levels / 2, levels - 1);
        for (bool colour : {false, true}) {
            for (const auto& bands : band_sets) {
                Source source{kWidth, kHeight, levels,
                              std::vector<std::array<int, 4>>(kWidth * kHeight)};
                for (auto [first, end] : bands) {
                    for (int y = 0; y < kHeight; ++y) {
                        for (int x = first; x < end; ++x) {
                            source.pixels[y * kWidth + x] = {bright(rng), bright(rng), bright(rng),
                                                             bright(rng)};
                        }
                    }
                }
                const IrisImage iris = iris_image(21, colour);
                const auto want = direct_scatter(source, iris, light);
                for (bool simd : {false, true}) {
                    SCOPED_TRACE(std::to_string(levels) + " levels, " +
                                 std::to_string(bands.size()) + " bands" +
                                 (colour ? " colour" : " grey") + (simd ? " simd" : ""));
                    const PassOutput out = render_pass(*engine, source, iris, light, simd);
                    int dark = 0;
                    for (size_t i = 0; i < want.size(); ++i) {
                        for (int j = 0; j < 5; ++j) {
                            if (want[i][j] != 0.0) {
                                continue;
                            }
                            ++dark;
                            const float got = j < 4 ? out.accum[4 * i + j] : out.weight[i];
                            ASSERT_EQ(got, 0.0f)
                                << "pixel " << i % kWidth << "," << i / kWidth << " value " << j;
                        }
                    }
                    EXPECT_GT(dark, 0);
                }
            }
        }
    }
}

}  // namespace
