// The render command as a host sees it through the built module: what is written where, with
// which code and message, and that nothing of a render outlives it.
#include <gtest/gtest.h>

#include <cstring>
#include <optional>
#include <string>

#include "host/emulated_host.h"
#include "tests/plugin/plugin_folder.h"
#include "tests/plugin/render_scene.h"

namespace {

using host::EmulatedHost;
using host::World;
using qb_test::channel;
using qb_test::PluginFolder;

constexpr int kWidth = 48;
constexpr int kHeight = 36;

class RenderCommandTest : public ::testing::Test {
  protected:
    RenderCommandTest() {
        folder_.link_shape_library();
        effect_.emplace(folder_.module().string());
    }
    void SetUp() override {
        effect().set_layer_size(kWidth, kHeight);
        ASSERT_EQ(effect().open_sequence(), PF_Err_NONE);
    }
    EmulatedHost& effect() { return *effect_; }

    // Renders and checks that the render left nothing behind, whatever its outcome.
    PF_Err render(World& input, World& output) {
        const PF_Err err = effect().render(input, output);
        last_message_ = effect().out_data().return_msg;
        EXPECT_EQ(effect().frame_setdown(), PF_Err_NONE) << "after: " << last_message_;
        EXPECT_EQ(effect().layers_checked_out(), 0);
        return err;
    }

    PluginFolder folder_;
    std::optional<EmulatedHost> effect_;
    std::string last_message_;
};

bool same_pixels(const World& a, const World& b) {
    for (int y = 0; y < a.height(); ++y) {
        for (int x = 0; x < a.width(); ++x) {
            for (int c = 0; c < 4; ++c) {
                if (channel(a, x, y, c) != channel(b, x, y, c)) {
                    return false;
                }
            }
        }
    }
    return true;
}

TEST_F(RenderCommandTest, SmokeRenderChangesThePicture) {
    World input(kWidth, kHeight), output(kWidth, kHeight);
    qb_test::paint_texture(input, 1);
    EXPECT_EQ(render(input, output), PF_Err_NONE) << last_message_;
    EXPECT_FALSE(same_pixels(input, output));
}

}  // namespace
