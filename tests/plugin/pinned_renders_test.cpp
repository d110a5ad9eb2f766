// Whole renders through the built module, pinned by a checksum of every output byte: a change
// to how the render is organised must not change one value of what it renders.
#include <gtest/gtest.h>
#include <omp.h>

#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "host/emulated_host.h"
#include "host/world.h"
#include "tests/plugin/plugin_folder.h"
#include "tests/plugin/render_scene.h"

namespace {

using host::EmulatedHost;
using host::World;

constexpr int kWidth = 83;
constexpr int kHeight = 57;
// The checksums were taken on two threads; the render must not depend on the count anyway.
constexpr int kThreads = 2;

struct PinnedScene {
    const char* name;
    World::Depth depth;
    const char* shape;
    bool distance_layer;
    double amount;
    double hardness;
    double brightness;
    int quality;
    int precision;
    bool preview;
    int downsample;      // 1 or 2, both ways
    double alpha_bokeh;  // below 0: the plug-in folder has no alpha bokeh option
    uint64_t checksum;
};

const PinnedScene kScenes[] = {
    {"8-bit grey without depth", World::Depth::k8, "circle", false, 12.0, 1.0, 1.0, 5, 50, false, 1,
     -1.0, 0x817546a77cc4b12d},
    {"8-bit colour with depth", World::Depth::k8, "fringe", true, 20.0, 1.5, 1.3, 5, 50, false, 1,
     -1.0, 0xd90dac99354b17ed},
    {"8-bit grey with depth, low quality, coarse steps", World::Depth::k8, "circle", true, 31.0,
     0.6, 0.8, 2, 10, false, 1, -1.0, 0xc03d89d26e0a635c},
    {"8-bit preview with depth", World::Depth::k8, "circle", true, 14.0, 1.0, 1.0, 4, 50, true, 1,
     -1.0, 0xe58481a1554e8454},
    {"8-bit colour with depth at half resolution", World::Depth::k8, "fringe", true, 24.0, 1.2, 1.0,
     5, 40, false, 2, -1.0, 0xa1ffd4033e279414},
    {"8-bit with alpha bokeh", World::Depth::k8, "circle", true, 16.0, 1.0, 1.1, 5, 50, false, 1,
     0.6, 0x135c3066c6540c4d},
    {"16-bit grey with depth", World::Depth::k16, "circle", true, 9.0, 1.5, 1.0, 5, 30, false, 1,
     -1.0, 0xb69ef49a39ca919a},
    {"16-bit colour without depth", World::Depth::k16, "fringe", false, 18.0, 0.8, 1.2, 5, 50,
     false, 1, -1.0, 0xd274dda5453b5e65},
    {"16-bit colour with depth and alpha bokeh", World::Depth::k16, "fringe", true, 22.0, 1.0, 1.0,
     3, 60, false, 1, 0.3, 0x951db70455d7c492},
};

// FNV-1a over every channel value of every pixel, rows without their padding.
uint64_t checksum(const World& world) {
    constexpr uint64_t kOffsetBasis = 0xcbf29ce484222325ULL;
    constexpr uint64_t kPrime = 0x100000001b3ULL;
    uint64_t hash = kOffsetBasis;
    for (int y = 0; y < world.height(); ++y) {
        for (int x = 0; x < world.width(); ++x) {
            for (int c = 0; c < 4; ++c) {
                const auto value = static_cast<uint32_t>(qb_test::channel(world, x, y, c));
                for (int byte = 0; byte < 2; ++byte) {
                    hash = (hash ^ ((value >> (8 * byte)) & 0xffU)) * kPrime;
                }
            }
        }
    }
    return hash;
}

uint64_t render_scene(const PinnedScene& scene) {
    qb_test::PluginFolder folder;
    folder.link_shape_library();
    if (scene.alpha_bokeh >= 0.0) {
        folder.touch("alpha_boke");
        folder.touch("more_param");
    }
    const int width = kWidth / scene.downsample;
    const int height = kHeight / scene.downsample;
    EmulatedHost effect(folder.module().string());
    effect.set_layer_size(width, height);
    effect.set_downsample(1, static_cast<A_u_long>(scene.downsample));
    EXPECT_EQ(effect.open_sequence(), PF_Err_NONE);

    World input(width, height, scene.depth);
    qb_test::paint_texture(input, 11);
    World distances(width, height, scene.depth);
    qb_test::paint_distances(distances, [](int x, int y) { return (x * 7 + y * 3) % 256; });
    qb_test::choose_shape(effect, scene.shape);
    effect.set_layer("Distance Layer", scene.distance_layer ? &distances : nullptr);
    effect.set_value("On-Focus Distance", 120.0);
    effect.set_value("Bokeh Amount", scene.amount);
    effect.set_value("Hardness", scene.hardness);
    effect.set_value("Brightness", scene.brightness);
    effect.set_value("Quality", scene.quality);
    effect.set_value("Distance Precision", scene.precision);
    effect.set_value("Preview Only", scene.preview ? 1.0 : 0.0);
    effect.set_point("Preview Point", width / 2.0, height / 3.0);
    effect.set_value("Preview Size", 30.0);
    effect.set_value("Preview Quality", scene.quality);
    if (scene.alpha_bokeh >= 0.0) {
        effect.set_value("Alpha bokeh", scene.alpha_bokeh);
    }
    World output(width, height, scene.depth);
    EXPECT_EQ(effect.render(input, output), PF_Err_NONE) << effect.out_data().return_msg;
    EXPECT_EQ(effect.frame_setdown(), PF_Err_NONE);
    return checksum(output);
}

TEST(PinnedRenders, EverySceneRendersTheBytesItAlwaysHas) {
    const int threads_before = omp_get_max_threads();
    omp_set_num_threads(kThreads);
    for (const PinnedScene& scene : kScenes) {
        SCOPED_TRACE(scene.name);
        const uint64_t got = render_scene(scene);
        char shown[32];
        std::snprintf(shown, sizeof shown, "0x%016llx", static_cast<unsigned long long>(got));
        EXPECT_EQ(got, scene.checksum) << "rendered " << shown;
    }
    omp_set_num_threads(threads_before);
}

}  // namespace
