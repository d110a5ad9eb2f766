// Renders whose memory runs out or whose engine fails, driven through the module's entry point
// linked into this test, so that its allocation hook can refuse each allocation in turn.
#include <gtest/gtest.h>

#include <set>
#include <string>

#include "engine/engine_failures.h"
#include "host/emulated_host.h"
#include "platform/allocation.h"
#include "plugin/effect_entry.h"
#include "session/effect_session.h"
#include "session/session_error.h"
#include "tests/plugin/plugin_folder.h"
#include "tests/plugin/render_scene.h"

namespace {

using host::EmulatedHost;
using host::World;

constexpr int kWidth = 40;
constexpr int kHeight = 30;

const std::set<std::string> kWorkingBufferTexts = {
    "[QB8.0(Render): not enough memory for local-distance area",
    "QB8.0(Render): not enough memory for input buffer8",
    "QB8.0(Render): not enough memory for input buffer16",
    "QB8.0(Render): not enough memory for mask space",
    "QB8.0(Render): not enough memory for output buffer",
    "QB8.0(Render): not enough memory for normalization buffer",
    "QB8.0(Render): not enough memory for row work",
    "QB8.0(Render): not enough memory for row distances",
    "QB8.0(Render): not enough memory for column distances",
    "QB8.0(Render): not enough memory for row marks",
    "QB8.0(Render): not enough memory for mask scratch",
    "QB8.0(Render): not enough memory for column scratch",
    "QB8.0(Render): not enough memory for column sums",
};

class RenderFailureTest : public ::testing::Test {
  protected:
    RenderFailureTest() : effect_(quillbloom_effect_main, folder_.module().string()) {
        folder_.link_shape_library();
    }
    void SetUp() override {
        effect_.set_layer_size(kWidth, kHeight);
        ASSERT_EQ(effect_.open_sequence(), PF_Err_NONE);
    }

    qb_test::PluginFolder folder_;
    EmulatedHost effect_;
};

TEST_F(RenderFailureTest, EveryRefusedAllocationEndsTheRenderWithItsTextAndNothingHeld) {
    const int held_at_start = platform::live_allocations();
    for (const World::Depth depth : {World::Depth::k8, World::Depth::k16}) {
        SCOPED_TRACE(depth == World::Depth::k8 ? "8-bit" : "16-bit");
        World input(kWidth, kHeight, depth, 8), output(kWidth, kHeight, depth, 4);
        World distance(kWidth, kHeight, World::Depth::k8);
        qb_test::paint_texture(input, 21);
        qb_test::paint_distances(distance, [](int x, int) { return (x / 10) * 60; });
        effect_.set_layer("Distance Layer", &distance);
        effect_.set_value("On-Focus Distance", 90.0);

        std::set<std::string> seen;
        int refused = 0;
        for (;; ++refused) {
            const int held_before = platform::live_allocations();
            platform::refuse_allocation_after(refused);
            const PF_Err err = effect_.render(input, output);
            platform::refuse_allocation_after(-1);
            if (err == PF_Err_NONE) {
                break;
            }
            const std::string text = effect_.out_data().return_msg;
            SCOPED_TRACE(text);
            // The shape image has no text of its own: without it the shape is not loaded.
            if (text == "[Quillbloom8.0] Iris Shape Not Loarded  ") {
                EXPECT_EQ(err, PF_Err_INVALID_INDEX);
            } else {
                EXPECT_EQ(err, PF_Err_OUT_OF_MEMORY);
                EXPECT_TRUE(kWorkingBufferTexts.count(text) ||
                            text.starts_with("[Quillbloom8.0Eng] ("));
            }
            seen.insert(text);
            // Nothing of the render is held but the iris it keeps for the next, once read.
            EXPECT_LE(platform::live_allocations(), held_before + 1);
            EXPECT_EQ(effect_.frame_setdown(), PF_Err_NONE);
            EXPECT_EQ(effect_.layers_checked_out(), 0);
            ASSERT_LT(refused, 200) << "a render that never succeeds";
        }
        // The distance map, the step buffer, the mask, the accumulators, the workspace and the
        // engine's own buffers were each refused once.
        EXPECT_TRUE(seen.count("[QB8.0(Render): not enough memory for local-distance area"));
        EXPECT_TRUE(seen.count(depth == World::Depth::k8
                                   ? "QB8.0(Render): not enough memory for input buffer8"
                                   : "QB8.0(Render): not enough memory for input buffer16"));
        EXPECT_TRUE(seen.count("QB8.0(Render): not enough memory for normalization buffer"));
        EXPECT_TRUE(seen.count("QB8.0(Render): not enough memory for column sums"));
        EXPECT_TRUE(
            seen.count("[Quillbloom8.0Eng] (new_pattern): not enough memory for newPattern"));
        EXPECT_GE(refused, 14);
    }
    EXPECT_EQ(effect_.sequence_setdown(), PF_Err_NONE);
    EXPECT_EQ(platform::live_allocations(), held_at_start);
}

// Front ends tell running out of memory from other failures (Python raises MemoryError for it),
// so the session must say which it was, with the module's text.
TEST(SessionFailureTest, MemoryTheEffectIsRefusedIsAFailureOfItsOwnKind) {
    qb_test::PluginFolder folder;
    folder.link_shape_library();
    session::EffectSession effect(quillbloom_effect_main, folder.module(), {});
    World input(kWidth, kHeight);
    qb_test::paint_texture(input, 25);
    const auto no_progress = [](A_long, A_long) { return 0; };
    bool out_of_memory = false;
    for (int refused = 0; !out_of_memory; ++refused) {
        ASSERT_LT(refused, 200) << "no refusal ran the effect out of memory";
        platform::refuse_allocation_after(refused);
        try {
            effect.render(input, nullptr, no_progress);
            platform::refuse_allocation_after(-1);
            FAIL() << "the render needs no memory that can be refused";
        } catch (const session::SessionError& error) {
            platform::refuse_allocation_after(-1);
            out_of_memory = error.kind() == session::FailureKind::out_of_memory;
            if (out_of_memory) {
                EXPECT_TRUE(kWorkingBufferTexts.count(error.what()) ||
                            std::string(error.what()).starts_with("[Quillbloom8.0Eng] ("))
                    << error.what();
            }
        }
    }
}

// A host that cannot lend the Distance Layer leaves the render without distances: it renders as
// without the layer (it used to answer success with black colours), balances its check-ins and
// holds nothing afterwards.
TEST_F(RenderFailureTest, ARefusedDistanceLayerCheckoutRendersAsWithoutTheLayer) {
    World input(kWidth, kHeight, World::Depth::k8, 8), output(kWidth, kHeight);
    World refused_output(kWidth, kHeight), distance(kWidth, kHeight);
    qb_test::paint_texture(input, 23);
    qb_test::paint_distances(distance, [](int x, int) { return x * 6; });
    effect_.set_value("Bokeh Amount", 5.0);
    effect_.set_layer("Distance Layer", &distance);
    const int held_before = platform::live_allocations();
    effect_.refuse_checkouts(PF_Err_OUT_OF_MEMORY);
    EXPECT_EQ(effect_.render(input, refused_output), PF_Err_NONE) << effect_.out_data().return_msg;
    effect_.refuse_checkouts(PF_Err_NONE);
    EXPECT_EQ(effect_.layers_checked_out(), 0);
    EXPECT_EQ(effect_.frame_setdown(), PF_Err_NONE);
    EXPECT_LE(platform::live_allocations(), held_before + 1);  // the shape image it loaded

    effect_.set_layer("Distance Layer", nullptr);
    ASSERT_EQ(effect_.render(input, output), PF_Err_NONE);
    for (int y = 0; y < kHeight; ++y) {
        for (int x = 0; x < kWidth; ++x) {
            for (int c = 0; c < 4; ++c) {
                ASSERT_EQ(qb_test::channel(refused_output, x, y, c),
                          qb_test::channel(output, x, y, c))
                    << x << "," << y;
            }
        }
    }
}

}  // namespace
