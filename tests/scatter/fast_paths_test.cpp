// The fast paths of a pass (vector block sums, rows spread over two threads) against the plain
// one (plain arithmetic on the calling thread alone): the accumulators must agree.
#include <gtest/gtest.h>
#include <omp.h>

#include <algorithm>
#include <cmath>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "engine/bokeh_engine.h"
#include "tests/scatter/pass_inputs.h"

namespace {

using scatter_test::Light;
using scatter_test::PassOutput;
using scatter_test::PassRegion;

constexpr double kRelativeTolerance = 1e-6;

struct PathSettings {
    bool simd;
    int threads;
    SumMethod method = SumMethod::kCheaper;
};

constexpr PathSettings kPlainPath = {false, 1};
constexpr PathSettings kFastPath = {true, 2};
constexpr PathSettings kTransformPath = {true, 2, SumMethod::kTransform};

// A blur map of runs of 0, partial and full values, and a row mask with some rows off.
PassRegion masked_region(std::mt19937& rng, int width, int height) {
    PassRegion region;
    region.blur_map.resize(static_cast<size_t>(width) * height);
    const std::vector<uint8_t> values = {0, 1, 128, 254, 255, 255};
    std::uniform_int_distribution<size_t> pick(0, values.size() - 1);
    std::uniform_int_distribution<size_t> run(1, 12);
    for (size_t at = 0; at < region.blur_map.size();) {
        const uint8_t value = values[pick(rng)];
        for (size_t end = std::min(region.blur_map.size(), at + run(rng)); at < end; ++at) {
            region.blur_map[at] = value;
        }
    }
    region.row_mask.resize(static_cast<size_t>(height));
    for (int32_t& row : region.row_mask) {
        row = std::bernoulli_distribution(0.8)(rng) ? 1 : 0;
    }
    return region;
}

PassOutput run_on(const PathSettings& path, BokehEngine& e, const scatter_test::Source& source,
                  const scatter_test::IrisImage& iris, const Light& light,
                  const PassRegion& region) {
    const int threads_before = omp_get_max_threads();
    omp_set_num_threads(path.threads);
    PassOutput out =
        scatter_test::render_pass(e, source, iris, light, path.simd, region, path.method);
    omp_set_num_threads(threads_before);
    return out;
}

// What one case of a test passes twice: a random source, an iris, and the region it renders.
struct PassCase {
    Light light;
    scatter_test::Source source;
    scatter_test::IrisImage iris;
    PassRegion region;
};

// Calls check(c) for 8-bit and 16-bit levels, grey and colour irises, with and without a masked
// region, on every size and diameter, each case traced by name.
template <class Check>
void for_each_case(std::mt19937& rng, const std::vector<std::pair<int, int>>& sizes,
                   const std::vector<int>& diameters, Check check) {
    for (int levels : {256, 32769}) {
        for (bool colour : {false, true}) {
            for (bool masked : {false, true}) {
                for (auto [width, height] : sizes) {
                    for (int diameter : diameters) {
                        SCOPED_TRACE(std::to_string(levels) + " levels, " +
                                     (colour ? "colour" : "grey") + (masked ? ", masked, " : ", ") +
                                     std::to_string(width) + "x" + std::to_string(height) +
                                     ", diameter " + std::to_string(diameter));
                        PassCase c{Light{levels, 1.5, 1.2},
                                   scatter_test::random_source(rng, width, height, levels),
                                   scatter_test::iris_image(diameter, colour), PassRegion{}};
                        if (masked) {
                            c.region = masked_region(rng, width, height);
                        }
                        check(c);
                    }
                }
            }
        }
    }
}

PassOutput run_case(const PathSettings& path, BokehEngine& e, const PassCase& c) {
    return run_on(path, e, c.source, c.iris, c.light, c.region);
}

::testing::AssertionResult agree(float fast, float plain) {
    const double scale = std::max(std::fabs(fast), std::fabs(plain));
    if (std::fabs(static_cast<double>(fast) - plain) <= kRelativeTolerance * scale) {
        return ::testing::AssertionSuccess();
    }
    return ::testing::AssertionFailure() << fast << " on the fast path, " << plain << " plain";
}

TEST(FastPaths, AccumulatorsAgreeWithThePlainSingleThreadPath) {
    auto engine = std::make_unique<BokehEngine>();
    std::mt19937 rng(12);
    // Wide and low, narrow and tall (several bands of rows), one row, one column.
    for_each_case(rng, {{57, 23}, {7, 150}, {40, 1}, {1, 9}}, {5, 13}, [&](const PassCase& c) {
        const PassOutput plain = run_case(kPlainPath, *engine, c);
        const PassOutput fast = run_case(kFastPath, *engine, c);
        for (size_t i = 0; i < plain.accum.size(); ++i) {
            ASSERT_TRUE(agree(fast.accum[i], plain.accum[i])) << "accum " << i;
        }
        for (size_t i = 0; i < plain.weight.size(); ++i) {
            ASSERT_TRUE(agree(fast.weight[i], plain.weight[i])) << "weight " << i;
        }
    });
}

// Sums through transforms are exact to rounding: every value agrees with the walk's to the
// relative tolerance, beyond what the transform leaves of the frame's brightest light.
constexpr double kTransformResidue = 1e-11;

float largest(const std::vector<float>& values) {
    float most = 0.0f;
    for (float v : values) {
        most = std::max(most, std::fabs(v));
    }
    return most;
}

::testing::AssertionResult agree_beyond(float transformed, float plain, float residue) {
    if (plain == 0.0f && transformed != 0.0f) {
        return ::testing::AssertionFailure() << transformed << " transformed where nothing lies";
    }
    const double scale = std::max(std::fabs(transformed), std::fabs(plain));
    if (std::fabs(static_cast<double>(transformed) - plain) <=
        kRelativeTolerance * scale + residue) {
        return ::testing::AssertionSuccess();
    }
    return ::testing::AssertionFailure() << transformed << " transformed, " << plain << " plain";
}

TEST(FastPaths, TransformedSumsAgreeWithTheWalk) {
    auto engine = std::make_unique<BokehEngine>();
    std::mt19937 rng(31);
    // Frames wider and taller than the disc, and a disc wider than the frame.
    for_each_case(rng, {{64, 41}, {9, 70}, {30, 1}}, {5, 23}, [&](const PassCase& c) {
        const PassOutput plain = run_case(kPlainPath, *engine, c);
        const PassOutput transformed = run_case(kTransformPath, *engine, c);
        const float accum_residue = kTransformResidue * largest(plain.accum);
        const float weight_residue = kTransformResidue * largest(plain.weight);
        for (size_t i = 0; i < plain.accum.size(); ++i) {
            ASSERT_TRUE(agree_beyond(transformed.accum[i], plain.accum[i], accum_residue))
                << "accum " << i;
        }
        for (size_t i = 0; i < plain.weight.size(); ++i) {
            ASSERT_TRUE(agree_beyond(transformed.weight[i], plain.weight[i], weight_residue))
                << "weight " << i;
        }
    });
}

}  // namespace
