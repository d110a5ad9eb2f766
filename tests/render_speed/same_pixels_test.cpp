// Whole renders through the built module on its fast paths (vector kernels, two threads, sums
// through transforms for large discs) against its plain path (a `no_simd` plug-in folder, one
// thread): the pictures must agree.
#include <gtest/gtest.h>
#include <omp.h>

#include <algorithm>
#include <cmath>
#include <memory>
#include <string>
#include <vector>

#include "host/emulated_host.h"
#include "host/world.h"
#include "tests/plugin/plugin_folder.h"
#include "tests/plugin/render_scene.h"

namespace {

using host::EmulatedHost;
using host::World;

constexpr int kWidth = 90;
constexpr int kHeight = 61;
constexpr int kQualityHigh = 5;
// Every value within one level, and at most this share of them off by that level.
constexpr double kMostDifferent = 1e-4;

// A Bokeh Amount whose discs the stamp walk sums, and one large enough on these frames for the
// fast path to sum them through transforms.
constexpr double kSmallDiscs = 12.0;
constexpr double kLargeDiscs = 100.0;

struct Scene {
    std::string name;
    World::Depth depth;
    std::string shape;  // a folder of the shape library
    bool distance_layer;
    bool preview;
    double amount;
};

const std::vector<Scene> kScenes = {
    {"8-bit grey", World::Depth::k8, "circle", false, false, kSmallDiscs},
    {"8-bit colour", World::Depth::k8, "fringe", false, false, kSmallDiscs},
    {"8-bit grey with depth", World::Depth::k8, "circle", true, false, kSmallDiscs},
    {"8-bit colour with depth", World::Depth::k8, "fringe", true, false, kSmallDiscs},
    {"16-bit grey with depth", World::Depth::k16, "circle", true, false, kSmallDiscs},
    {"16-bit colour", World::Depth::k16, "fringe", false, false, kSmallDiscs},
    {"8-bit preview with depth", World::Depth::k8, "circle", true, true, kSmallDiscs},
    {"8-bit grey, large discs", World::Depth::k8, "circle", false, false, kLargeDiscs},
    {"8-bit colour with depth, large discs", World::Depth::k8, "fringe", true, false, kLargeDiscs},
    {"16-bit grey with depth, large discs", World::Depth::k16, "circle", true, false, kLargeDiscs},
    {"16-bit colour, large discs", World::Depth::k16, "fringe", false, false, kLargeDiscs},
    {"8-bit preview with depth, large discs", World::Depth::k8, "circle", true, true, kLargeDiscs},
};

// Float light: the same scenes' kinds, with highlights far above white.
const std::vector<Scene> kFloatScenes = {
    {"float grey", World::Depth::kFloat, "circle", false, false, kSmallDiscs},
    {"float grey, large discs", World::Depth::kFloat, "circle", false, false, kLargeDiscs},
    {"float colour with depth, large discs", World::Depth::kFloat, "fringe", true, false,
     kLargeDiscs},
};

// The scene's layer: the texture, and for float light the same texture from 0 to 1 with every
// 97th pixel a highlight far above white.
World layer_for(const Scene& scene) {
    World layer(kWidth, kHeight, scene.depth);
    if (scene.depth != World::Depth::kFloat) {
        qb_test::paint_texture(layer, 3);
        return layer;
    }
    constexpr float kWhite16 = 32768.0f;
    constexpr float kHighlight = 40.0f;
    constexpr int kHighlightEvery = 97;
    World levels(kWidth, kHeight, World::Depth::k16);
    qb_test::paint_texture(levels, 3);
    for (int y = 0; y < kHeight; ++y) {
        for (int x = 0; x < kWidth; ++x) {
            const PF_Pixel16& p = levels.pixel16(x, y);
            const float gain = (y * kWidth + x) % kHighlightEvery == 0 ? kHighlight : 1.0f;
            layer.pixel_float(x, y) =
                PF_PixelFloat{p.alpha / kWhite16, gain * p.red / kWhite16,
                              gain * p.green / kWhite16, gain * p.blue / kWhite16};
        }
    }
    return layer;
}

double value_of(const World& world, int x, int y, int c) {
    if (world.depth() != World::Depth::kFloat) {
        return qb_test::channel(world, x, y, c);
    }
    const PF_PixelFloat& p = world.pixel_float(x, y);
    const float values[] = {p.alpha, p.red, p.green, p.blue};
    return values[c];
}

// Every channel of every pixel, in row order.
std::vector<double> render(EmulatedHost& effect, const Scene& scene) {
    World input = layer_for(scene);
    const World::Depth distance_depth =
        scene.depth == World::Depth::kFloat ? World::Depth::k16 : scene.depth;
    World distances(kWidth, kHeight, distance_depth);
    qb_test::paint_distances(distances, [](int x, int y) { return (x * 5 + y * 2) % 256; });
    qb_test::choose_shape(effect, scene.shape);
    effect.set_value("Bokeh Amount", scene.amount);
    effect.set_value("Hardness", 1.5);
    effect.set_value("Quality", kQualityHigh);
    effect.set_layer("Distance Layer", scene.distance_layer ? &distances : nullptr);
    effect.set_value("On-Focus Distance", 100.0);
    effect.set_value("Preview Only", scene.preview ? 1.0 : 0.0);
    effect.set_point("Preview Point", kWidth / 2.0, kHeight / 2.0);
    effect.set_value("Preview Size", 40.0);
    effect.set_value("Preview Quality", kQualityHigh);
    World output(kWidth, kHeight, scene.depth);
    EXPECT_EQ(effect.render(input, output), PF_Err_NONE) << effect.out_data().return_msg;
    std::vector<double> values;
    int blurred = 0;
    for (int y = 0; y < kHeight; ++y) {
        for (int x = 0; x < kWidth; ++x) {
            for (int c = 0; c < 4; ++c) {
                values.push_back(value_of(output, x, y, c));
                blurred += values.back() != value_of(input, x, y, c) ? 1 : 0;
            }
        }
    }
    // Pictures that agree because nothing was rendered would prove nothing.
    EXPECT_GT(blurred, 0);
    return values;
}

// Each scene's picture, rendered by a module in `folder` on `threads` threads.
std::vector<std::vector<double>> render_scenes(const qb_test::PluginFolder& folder, int threads,
                                               const std::vector<Scene>& scenes) {
    const int threads_before = omp_get_max_threads();
    omp_set_num_threads(threads);
    EmulatedHost effect(folder.module().string());
    effect.set_layer_size(kWidth, kHeight);
    EXPECT_EQ(effect.open_sequence(), PF_Err_NONE);
    std::vector<std::vector<double>> pictures;
    for (const Scene& scene : scenes) {
        pictures.push_back(render(effect, scene));
    }
    omp_set_num_threads(threads_before);
    return pictures;
}

// Each scene rendered on the fast paths and on the plain one.
struct BothPaths {
    std::vector<std::vector<double>> fast;
    std::vector<std::vector<double>> plain;
};

BothPaths render_both_ways(const std::vector<Scene>& scenes) {
    qb_test::PluginFolder fast_folder;
    fast_folder.link_shape_library();
    qb_test::PluginFolder plain_folder;
    plain_folder.link_shape_library();
    plain_folder.touch("no_simd");
    return {render_scenes(fast_folder, 2, scenes), render_scenes(plain_folder, 1, scenes)};
}

TEST(SamePixels, FastPathsRenderThePicturesOfThePlainPath) {
    const BothPaths pictures = render_both_ways(kScenes);
    for (size_t s = 0; s < kScenes.size(); ++s) {
        SCOPED_TRACE(kScenes[s].name);
        const std::vector<double>& fast = pictures.fast[s];
        const std::vector<double>& plain = pictures.plain[s];
        ASSERT_EQ(fast.size(), plain.size());
        size_t different = 0;
        for (size_t i = 0; i < plain.size(); ++i) {
            ASSERT_LE(std::abs(fast[i] - plain[i]), 1.0) << "value " << i;
            different += fast[i] != plain[i] ? 1 : 0;
        }
        EXPECT_LE(static_cast<double>(different), kMostDifferent * plain.size());
    }
}

// Float light agrees to a relative tolerance; values below a share of the picture's brightest
// are rounding residue of the transforms either way.
TEST(SamePixels, FastPathsRenderTheFloatLightOfThePlainPath) {
    constexpr double kRelative = 1e-4;
    constexpr double kResidueShare = 1e-9;
    const BothPaths pictures = render_both_ways(kFloatScenes);
    for (size_t s = 0; s < kFloatScenes.size(); ++s) {
        SCOPED_TRACE(kFloatScenes[s].name);
        const std::vector<double>& fast = pictures.fast[s];
        const std::vector<double>& plain = pictures.plain[s];
        ASSERT_EQ(fast.size(), plain.size());
        const double residue = kResidueShare * *std::max_element(plain.begin(), plain.end());
        for (size_t i = 0; i < plain.size(); ++i) {
            const double scale = std::max(std::abs(fast[i]), std::abs(plain[i]));
            ASSERT_LE(std::abs(fast[i] - plain[i]), kRelative * scale + residue)
                << "value " << i << ": " << fast[i] << " fast, " << plain[i] << " plain";
        }
    }
}

}  // namespace
