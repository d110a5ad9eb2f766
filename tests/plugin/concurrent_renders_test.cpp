// Renders of one loaded module from several hosts on several threads at once: each must be the
// picture the same request gives alone, however the renders overlap.
#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <thread>
#include <vector>

#include "host/emulated_host.h"
#include "host/world.h"
#include "tests/plugin/plugin_folder.h"
#include "tests/plugin/render_scene.h"

namespace {

using host::EmulatedHost;
using host::World;

constexpr int kWidth = 71;
constexpr int kHeight = 44;
constexpr int kRounds = 6;

struct Request {
    World::Depth depth;
    bool distance_layer;
    double focus;
    double amount;
    double hardness;
    double brightness;
    bool preview;
};

// Different depths, steps, curves and regions, so that any table or buffer one render left
// where another reads it changes a picture.
const Request kRequests[] = {
    {World::Depth::k8, true, 40.0, 18.0, 1.5, 1.0, false},
    {World::Depth::k16, true, 200.0, 11.0, 0.7, 1.4, false},
    {World::Depth::k8, false, 0.0, 25.0, 1.0, 0.9, false},
    {World::Depth::k16, true, 120.0, 15.0, 1.2, 1.0, true},
};

// One effect instance of the module in `folder`, set up as a host sets one up.
class Instance {
  public:
    Instance(const qb_test::PluginFolder& folder, const Request& request)
        : request_(request),
          effect_(folder.module().string()),
          input_(kWidth, kHeight, request.depth),
          distances_(kWidth, kHeight, request.depth) {
        effect_.set_layer_size(kWidth, kHeight);
        EXPECT_EQ(effect_.open_sequence(), PF_Err_NONE);
        qb_test::paint_texture(input_, 5);
        qb_test::paint_distances(distances_, [](int x, int y) { return (x * 3 + y * 5) % 256; });
        effect_.set_layer("Distance Layer", request.distance_layer ? &distances_ : nullptr);
        effect_.set_value("On-Focus Distance", request.focus);
        effect_.set_value("Bokeh Amount", request.amount);
        effect_.set_value("Hardness", request.hardness);
        effect_.set_value("Brightness", request.brightness);
        effect_.set_value("Preview Only", request.preview ? 1.0 : 0.0);
        effect_.set_point("Preview Point", kWidth / 3.0, kHeight / 2.0);
        effect_.set_value("Preview Size", 36.0);
    }

    // Every channel of every pixel of a fresh render.
    std::vector<int> render() {
        World output(kWidth, kHeight, request_.depth);
        EXPECT_EQ(effect_.render(input_, output), PF_Err_NONE) << effect_.out_data().return_msg;
        EXPECT_EQ(effect_.frame_setdown(), PF_Err_NONE);
        std::vector<int> values;
        values.reserve(static_cast<size_t>(kWidth) * kHeight * 4);
        for (int y = 0; y < kHeight; ++y) {
            for (int x = 0; x < kWidth; ++x) {
                for (int c = 0; c < 4; ++c) {
                    values.push_back(qb_test::channel(output, x, y, c));
                }
            }
        }
        return values;
    }

  private:
    Request request_;
    EmulatedHost effect_;
    World input_;
    World distances_;
};

TEST(ConcurrentRenders, RendersOnSeveralThreadsAtOnceEqualRendersOneAfterTheOther) {
    // One module file, so every host below shares the one loaded module.
    qb_test::PluginFolder folder;
    folder.link_shape_library();
    std::vector<std::vector<int>> alone;
    for (const Request& request : kRequests) {
        alone.push_back(Instance(folder, request).render());
    }

    for (int round = 0; round < kRounds; ++round) {
        SCOPED_TRACE(round);
        std::vector<std::vector<int>> together(std::size(kRequests));
        std::vector<std::thread> threads;
        for (size_t r = 0; r < std::size(kRequests); ++r) {
            threads.emplace_back([&, r] {
                Instance instance(folder, kRequests[r]);
                // Two renders a thread: the second one runs beside others' set-ups and renders.
                together[r] = instance.render();
                const std::vector<int> again = instance.render();
                EXPECT_EQ(again, together[r]) << "request " << r;
            });
        }
        for (std::thread& thread : threads) {
            thread.join();
        }
        for (size_t r = 0; r < std::size(kRequests); ++r) {
            EXPECT_EQ(together[r], alone[r]) << "request " << r;
        }
    }
}

}  // namespace
