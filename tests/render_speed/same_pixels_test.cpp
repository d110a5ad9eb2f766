// Whole renders through the built module on its fast paths (vector kernels, two threads)
// against its plain path (a `no_simd` plug-in folder, one thread): the pictures must agree.
#include <gtest/gtest.h>
#include <omp.h>

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

struct Scene {
    std::string name;
    World::Depth depth;
    std::string shape;  // a folder of the shape library
    bool distance_layer;
    bool preview;
};

const std::vector<Scene> kScenes = {
    {"8-bit grey", World::Depth::k8, "circle", false, false},
    {"8-bit colour", World::Depth::k8, "fringe", false, false},
    {"8-bit grey with depth", World::Depth::k8, "circle", true, false},
    {"8-bit colour with depth", World::Depth::k8, "fringe", true, false},
    {"16-bit grey with depth", World::Depth::k16, "circle", true, false},
    {"16-bit colour", World::Depth::k16, "fringe", false, false},
    {"8-bit preview with depth", World::Depth::k8, "circle", true, true},
};

// Every channel of every pixel, in row order.
std::vector<int> render(EmulatedHost& effect, const Scene& scene) {
    World input(kWidth, kHeight, scene.depth);
    qb_test::paint_texture(input, 3);
    World distances(kWidth, kHeight, scene.depth);
    qb_test::paint_distances(distances, [](int x, int y) { return (x * 5 + y * 2) % 256; });
    qb_test::choose_shape(effect, scene.shape);
    effect.set_value("Bokeh Amount", 12.0);
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
    std::vector<int> values;
    int blurred = 0;
    for (int y = 0; y < kHeight; ++y) {
        for (int x = 0; x < kWidth; ++x) {
            for (int c = 0; c < 4; ++c) {
                values.push_back(qb_test::channel(output, x, y, c));
                blurred += values.back() != qb_test::channel(input, x, y, c) ? 1 : 0;
            }
        }
    }
    // Pictures that agree because nothing was rendered would prove nothing.
    EXPECT_GT(blurred, 0);
    return values;
}

// Each scene's picture, rendered by a module in `folder` on `threads` threads.
std::vector<std::vector<int>> render_scenes(const qb_test::PluginFolder& folder, int threads) {
    const int threads_before = omp_get_max_threads();
    omp_set_num_threads(threads);
    EmulatedHost effect(folder.module().string());
    effect.set_layer_size(kWidth, kHeight);
    EXPECT_EQ(effect.open_sequence(), PF_Err_NONE);
    std::vector<std::vector<int>> pictures;
    for (const Scene& scene : kScenes) {
        pictures.push_back(render(effect, scene));
    }
    omp_set_num_threads(threads_before);
    return pictures;
}

TEST(SamePixels, FastPathsRenderThePicturesOfThePlainPath) {
    qb_test::PluginFolder fast_folder;
    fast_folder.link_shape_library();
    qb_test::PluginFolder plain_folder;
    plain_folder.link_shape_library();
    plain_folder.touch("no_simd");

    const auto fast = render_scenes(fast_folder, 2);
    const auto plain = render_scenes(plain_folder, 1);
    for (size_t s = 0; s < kScenes.size(); ++s) {
        SCOPED_TRACE(kScenes[s].name);
        ASSERT_EQ(fast[s].size(), plain[s].size());
        size_t different = 0;
        for (size_t i = 0; i < plain[s].size(); ++i) {
            ASSERT_LE(std::abs(fast[s][i] - plain[s][i]), 1) << "value " << i;
            different += fast[s][i] != plain[s][i] ? 1 : 0;
        }
        EXPECT_LE(static_cast<double>(different), kMostDifferent * plain[s].size());
    }
}

}  // namespace
