// What a module keeps from one render to the next, its buffers' memory and its helper threads:
// the memory must never show in a later picture, and the host has both back when it closes the
// sequence or the project. Driven through the module's entry point linked into this test, so
// that its allocation statics are this test's.
#include <gtest/gtest.h>

#include <cstddef>
#include <vector>

#include "host/emulated_host.h"
#include "host/world.h"
#include "platform/allocation.h"
#include "platform/parallel_rows.h"
#include "plugin/effect_entry.h"
#include "tests/plugin/plugin_folder.h"
#include "tests/plugin/render_scene.h"
#include "tests/support/process_threads.h"

namespace {

using host::EmulatedHost;
using host::World;

// Large enough that the render's frame buffers are blocks the module keeps.
constexpr int kWidth = 800;
constexpr int kHeight = 600;

struct Request {
    World::Depth depth;
    bool distance_layer;
    double amount;
    double brightness;
};

class Effect {
  public:
    explicit Effect(const qb_test::PluginFolder& folder)
        : host_(quillbloom_effect_main, folder.module().string()),
          distances_(kWidth, kHeight, World::Depth::k8) {
        host_.set_layer_size(kWidth, kHeight);
        EXPECT_EQ(host_.open_sequence(), PF_Err_NONE);
        qb_test::paint_distances(distances_, [](int x, int y) { return (x + 2 * y) % 256; });
    }

    std::vector<int> render(const Request& request) {
        World input(kWidth, kHeight, request.depth);
        qb_test::paint_texture(input, 9);
        host_.set_layer("Distance Layer", request.distance_layer ? &distances_ : nullptr);
        host_.set_value("On-Focus Distance", 90.0);
        host_.set_value("Bokeh Amount", request.amount);
        host_.set_value("Brightness", request.brightness);
        World output(kWidth, kHeight, request.depth);
        EXPECT_EQ(host_.render(input, output), PF_Err_NONE) << host_.out_data().return_msg;
        std::vector<int> values;
        values.reserve(static_cast<std::size_t>(kWidth) * kHeight * 4);
        for (int y = 0; y < kHeight; ++y) {
            for (int x = 0; x < kWidth; ++x) {
                for (int c = 0; c < 4; ++c) {
                    values.push_back(qb_test::channel(output, x, y, c));
                }
            }
        }
        return values;
    }

    EmulatedHost& host() { return host_; }

  private:
    EmulatedHost host_;
    World distances_;
};

// Each render takes the blocks the one before left full of its own light, mask and steps, at
// another depth, amount and brightness: a buffer read before it is written changes a picture.
TEST(KeptBetweenRenders, ARenderAfterOthersIsThePictureItGivesAlone) {
    qb_test::PluginFolder folder;
    folder.link_shape_library();
    const Request requests[] = {
        {World::Depth::k8, true, 40.0, 1.6},
        {World::Depth::k16, false, 12.0, 0.8},
        {World::Depth::k8, false, 25.0, 1.0},
        {World::Depth::k16, true, 8.0, 1.2},
    };
    Effect after_others(folder);
    for (const Request& request : requests) {
        SCOPED_TRACE(request.amount);
        const std::vector<int> again = after_others.render(request);
        EXPECT_EQ(again, Effect(folder).render(request));
    }
}

TEST(KeptBetweenRenders, TheModuleGivesBackWhatItKeptWhenTheHostClosesTheSequenceOrItself) {
    qb_test::PluginFolder folder;
    folder.link_shape_library();
    const Request request{World::Depth::k16, true, 20.0, 1.0};
    const std::size_t mapped_before = platform::mapped_bytes();
    {
        Effect effect(folder);
        effect.render(request);
        EXPECT_GT(platform::mapped_bytes(), mapped_before);
        EXPECT_EQ(effect.host().sequence_setdown(), PF_Err_NONE);
        EXPECT_EQ(platform::mapped_bytes(), mapped_before);
    }
    {
        Effect effect(folder);
        effect.render(request);
        EXPECT_GT(platform::mapped_bytes(), mapped_before);
    }
    EXPECT_EQ(platform::mapped_bytes(), mapped_before);
}

TEST(KeptBetweenRenders, OneRendersHelperThreadsServeTheNextAndEndWithTheModule) {
    qb_test::PluginFolder folder;
    folder.link_shape_library();
    const Request request{World::Depth::k8, true, 20.0, 1.0};
    const int threads_before = qb_test::process_threads();
    {
        Effect effect(folder);
        effect.render(request);
        const int threads_kept = qb_test::process_threads();
        EXPECT_EQ(threads_kept, threads_before + platform::row_threads() - 1);
        effect.render(request);
        EXPECT_EQ(qb_test::process_threads(), threads_kept);
    }
    EXPECT_EQ(qb_test::process_threads(), threads_before);
}

}  // namespace
