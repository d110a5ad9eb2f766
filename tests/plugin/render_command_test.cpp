// The render command as a host sees it through the built module: what is written where, with
// which code and message, and that nothing of a render outlives it.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <fstream>
#include <optional>
#include <string>
#include <vector>

#include "host/emulated_host.h"
#include "tests/plugin/direct_render.h"
#include "tests/plugin/plugin_folder.h"
#include "tests/plugin/render_scene.h"
#include "tools/tiff_writer.h"

namespace {

using host::EmulatedHost;
using host::World;
using qb_test::channel;
using qb_test::PluginFolder;

constexpr int kWidth = 48;
constexpr int kHeight = 36;
// Padding of the input, output and Distance Layer rows, all different, so that any stride
// taken from the wrong world shows.
constexpr int kInputPadding = 12;
constexpr int kOutputPadding = 20;
constexpr int kLayerPadding = 4;

class RenderCommandTest : public ::testing::Test {
  protected:
    RenderCommandTest() {
        folder_.link_shape_library();
        effect_.emplace(folder_.module().string());
    }
    void SetUp() override { open(kWidth, kHeight); }

    void open(int width, int height) {
        effect().set_layer_size(width, height);
        ASSERT_EQ(effect().open_sequence(), PF_Err_NONE);
    }
    EmulatedHost& effect() { return *effect_; }

    // Renders and checks that the render left nothing behind, whatever its outcome.
    PF_Err render(World& input, World& output) {
        const PF_Err err = effect().render(input, output);
        message_ = effect().out_data().return_msg;
        EXPECT_EQ(effect().frame_setdown(), PF_Err_NONE) << "after: " << message_;
        EXPECT_EQ(effect().layers_checked_out(), 0);
        return err;
    }

    PluginFolder folder_;
    std::optional<EmulatedHost> effect_;
    std::string message_;
};

World textured(int width, int height, uint32_t seed, World::Depth depth = World::Depth::k8) {
    World world(width, height, depth, kInputPadding);
    qb_test::paint_texture(world, seed);
    return world;
}

World output_like(const World& input) {
    World world(input.width(), input.height(), input.depth(), kOutputPadding);
    return world;
}

int largest_difference(const World& a, const World& b) {
    int largest = 0;
    for (int y = 0; y < a.height(); ++y) {
        for (int x = 0; x < a.width(); ++x) {
            for (int c = 0; c < 4; ++c) {
                largest = std::max(largest, std::abs(channel(a, x, y, c) - channel(b, x, y, c)));
            }
        }
    }
    return largest;
}

bool pixel_equal(const World& a, const World& b, int x, int y) {
    for (int c = 0; c < 4; ++c) {
        if (channel(a, x, y, c) != channel(b, x, y, c)) {
            return false;
        }
    }
    return true;
}

TEST_F(RenderCommandTest, BokehAmountZeroCopiesTheLayerExactly) {
    World input = textured(kWidth, kHeight, 1);
    World output = output_like(input);
    effect().set_value("Bokeh Amount", 0.0);
    ASSERT_EQ(render(input, output), PF_Err_NONE) << message_;
    EXPECT_EQ(largest_difference(input, output), 0);
}

TEST_F(RenderCommandTest, EveryStepAtTheFocusCopiesTheLayer) {
    World input = textured(kWidth, kHeight, 2);
    World output = output_like(input);
    World distance(kWidth, kHeight, World::Depth::k8, kLayerPadding);
    qb_test::paint_distances(distance, [](int, int) { return 90; });
    effect().set_layer("Distance Layer", &distance);
    effect().set_value("On-Focus Distance", 90.0);
    effect().set_value("Bokeh Amount", 200.0);
    ASSERT_EQ(render(input, output), PF_Err_NONE) << message_;
    EXPECT_EQ(largest_difference(input, output), 0);
}

TEST_F(RenderCommandTest, WithoutADistanceLayerTheRenderIsADirectScatter) {
    for (const World::Depth depth : {World::Depth::k8, World::Depth::k16}) {
        SCOPED_TRACE(depth == World::Depth::k8 ? "8-bit" : "16-bit");
        World input = textured(kWidth, kHeight, 3, depth);
        World output = output_like(input);
        effect().set_value("Bokeh Amount", 8.0);
        effect().set_value("Hardness", 1.5);
        effect().set_value("Brightness", 1.3);
        effect().set_value("Quality", 5);
        ASSERT_EQ(render(input, output), PF_Err_NONE) << message_;

        const int levels = depth == World::Depth::k8 ? 256 : 32769;
        const qb_test::Stamp stamp =
            qb_test::engine_stamp((folder_.pattern() / "06").string(), 9, 9.0, 5, levels);
        qb_test::DirectSettings settings;
        settings.hardness = 1.5;
        settings.brightness = 1.3;
        int worst = 0;
        for (int y = 0; y < kHeight; ++y) {
            for (int x = 0; x < kWidth; ++x) {
                const auto expected = qb_test::direct_pixel(
                    input, stamp, settings, [](int, int) { return true; }, x, y);
                for (int c = 0; c < 4; ++c) {
                    worst = std::max(worst, std::abs(channel(output, x, y, c) - expected[c]));
                }
            }
        }
        EXPECT_LE(worst, 1);
    }
}

TEST_F(RenderCommandTest, WithTwoDistancesPixelsFarFromTheEdgeShowTheirOwnStep) {
    World input = textured(kWidth, kHeight, 4);
    World output = output_like(input);
    World distance(kWidth, kHeight, World::Depth::k8, kLayerPadding);
    // Near (200) on the left, far (40) on the right; focus at 40, so the right stays sharp.
    const auto near_side = [](int x, int) { return x < kWidth / 2; };
    qb_test::paint_distances(distance, [&](int x, int y) { return near_side(x, y) ? 200 : 40; });
    effect().set_layer("Distance Layer", &distance);
    effect().set_value("On-Focus Distance", 40.0);
    effect().set_value("Bokeh Amount", 12.0);
    effect().set_value("Quality", 5);
    ASSERT_EQ(render(input, output), PF_Err_NONE) << message_;

    // The near step's disc: blur |200 - 40| * 12 / 255 + 1, about 8.5, so 9 cells.
    const double blur = 160.0 * 12.0 / 255.0 + 1.0;
    const qb_test::Stamp stamp =
        qb_test::engine_stamp((folder_.pattern() / "06").string(), 13, blur, 5, 256);
    qb_test::DirectSettings settings;
    int worst = 0;
    for (int y = 0; y < kHeight; ++y) {
        for (int x = 0; x < kWidth / 2 - 8; ++x) {
            const auto expected = qb_test::direct_pixel(input, stamp, settings, near_side, x, y);
            for (int c = 0; c < 4; ++c) {
                worst = std::max(worst, std::abs(channel(output, x, y, c) - expected[c]));
            }
        }
        // The focused side far from the edge keeps its opaque pixels.
        for (int x = kWidth / 2 + 8; x < kWidth; ++x) {
            if (channel(input, x, y, 0) != 255) {
                continue;
            }
            EXPECT_LE(std::abs(channel(output, x, y, 1) - channel(input, x, y, 1)), 1)
                << x << "," << y;
        }
    }
    EXPECT_LE(worst, 1);
}

TEST_F(RenderCommandTest, HalfResolutionHalvesTheAmountAndFollowsTheHorizontalFactor) {
    World input = textured(kWidth, kHeight, 5);
    World at_full = output_like(input);
    effect().set_value("Bokeh Amount", 10.0);
    ASSERT_EQ(render(input, at_full), PF_Err_NONE) << message_;

    World at_half = output_like(input);
    effect().set_value("Bokeh Amount", 20.0);
    effect().in_data().downsample_x = {1, 2};
    effect().in_data().downsample_y = {1, 1};
    ASSERT_EQ(render(input, at_half), PF_Err_NONE) << message_;
    EXPECT_EQ(largest_difference(at_full, at_half), 0);

    // A denominator of 0 counts as 1.
    World unscaled = output_like(input);
    effect().set_value("Bokeh Amount", 10.0);
    effect().in_data().downsample_x = {1, 0};
    ASSERT_EQ(render(input, unscaled), PF_Err_NONE) << message_;
    EXPECT_EQ(largest_difference(at_full, unscaled), 0);
}

// The bounding box of the pixels a render changed.
struct Box {
    int x0 = 1 << 20, y0 = 1 << 20, x1 = -1, y1 = -1;
};

Box changed_box(const World& input, const World& output) {
    Box box;
    for (int y = 0; y < input.height(); ++y) {
        for (int x = 0; x < input.width(); ++x) {
            if (!pixel_equal(input, output, x, y)) {
                box.x0 = std::min(box.x0, x);
                box.y0 = std::min(box.y0, y);
                box.x1 = std::max(box.x1, x + 1);
                box.y1 = std::max(box.y1, y + 1);
            }
        }
    }
    return box;
}

TEST_F(RenderCommandTest, PreviewRendersItsSquareAndCopiesTheRest) {
    World input = textured(kWidth, kHeight, 6);
    World output = output_like(input);
    effect().set_value("Preview Only", 1);
    effect().set_point("Preview Point", 20, 15);
    effect().set_value("Preview Size", 20);
    effect().set_value("Bokeh Amount", 6.0);
    ASSERT_EQ(render(input, output), PF_Err_NONE) << message_;
    const Box box = changed_box(input, output);
    EXPECT_GE(box.x0, 10);
    EXPECT_GE(box.y0, 5);
    EXPECT_LE(box.x1, 30);
    EXPECT_LE(box.y1, 25);
    EXPECT_GT(box.x1 - box.x0, 15);

    // At half resolution the size is halved, the point is not.
    World half = output_like(input);
    effect().in_data().downsample_x = {1, 2};
    effect().set_value("Preview Size", 40);
    effect().set_value("Bokeh Amount", 12.0);
    ASSERT_EQ(render(input, half), PF_Err_NONE) << message_;
    EXPECT_EQ(largest_difference(output, half), 0);
}

TEST_F(RenderCommandTest, PreviewPointOutsideTheImageIsRefusedAndWritesNothing) {
    World input = textured(kWidth, kHeight, 7);
    World output = output_like(input);
    output.fill8({1, 2, 3, 4});
    effect().set_value("Preview Only", 1);
    for (const auto& [x, y] :
         {std::pair{0, 5}, std::pair{5, 0}, std::pair{kWidth, 5}, std::pair{5, kHeight}}) {
        effect().set_point("Preview Point", x, y);
        EXPECT_EQ(render(input, output), PF_Err_INVALID_INDEX);
        EXPECT_EQ(message_, "[Quillbloom8.0] Preview Outside of Image  ");
        EXPECT_EQ(output.pixel8(5, 5).blue, 4);
    }
    // A preview too small to hold a pixel renders nothing and leaves the copied layer.
    effect().set_point("Preview Point", 10, 10);
    effect().param("Preview Size").u.sd.value = 1;
    ASSERT_EQ(render(input, output), PF_Err_NONE) << message_;
    EXPECT_EQ(largest_difference(input, output), 0);
}

TEST_F(RenderCommandTest, ExtentHintsChooseTheRegionAndClearTheRest) {
    World input = textured(kWidth, kHeight, 8);
    World output = output_like(input);
    output.fill8({9, 9, 9, 9});
    effect().set_value("Bokeh Amount", 4.0);
    effect().set_extent_hint(PF_Rect{10, 12, 20, 30});  // top, left, bottom, right
    ASSERT_EQ(render(input, output), PF_Err_NONE) << message_;
    // Grown by half of ceil(4): rows 8..21, columns 10..31.
    for (int y = 0; y < kHeight; ++y) {
        for (int x = 0; x < kWidth; ++x) {
            const bool inside = y >= 8 && y < 22 && x >= 10 && x < 32;
            if (!inside) {
                ASSERT_EQ(output.pixel8(x, y).alpha, 0) << x << "," << y;
                ASSERT_EQ(output.pixel8(x, y).red, 0);
            } else {
                ASSERT_EQ(output.pixel8(x, y).alpha, input.pixel8(x, y).alpha);
            }
        }
    }
    // Hints that leave nothing to compute give the cleared frame, with no error.
    for (const PF_Rect hint :
         {PF_Rect{20, 30, 10, 12}, PF_Rect{0, 200, kHeight, 300}, PF_Rect{-50, -50, -20, -20}}) {
        output.fill8({9, 9, 9, 9});
        effect().set_extent_hint(hint);
        ASSERT_EQ(render(input, output), PF_Err_NONE) << message_;
        EXPECT_EQ(output.pixel8(20, 20).alpha, 0);
        EXPECT_EQ(output.pixel8(47, 35).red, 0);
    }
}

TEST_F(RenderCommandTest, DistancePrecisionUpTo260IsAccepted) {
    World input = textured(kWidth, kHeight, 9);
    World output = output_like(input);
    World distance(kWidth, kHeight, World::Depth::k8, kLayerPadding);
    qb_test::paint_distances(distance, [](int x, int y) { return (x * 5 + y * 3) % 256; });
    effect().set_layer("Distance Layer", &distance);
    effect().param("Distance Precision").u.sd.value = 260;
    EXPECT_EQ(render(input, output), PF_Err_NONE) << message_;
    effect().param("Distance Precision").u.sd.value = 261;
    EXPECT_EQ(render(input, output), PF_Err_INVALID_INDEX);
    EXPECT_EQ(message_, "[Quillbloom8.0] Too many distance steps");
}

// A host may store any value in a slider; beyond the range a control declared, the render
// acts as at the range's end.
TEST_F(RenderCommandTest, ControlsBeyondTheirRangesRenderAsAtTheirLimits) {
    World input = textured(kWidth, kHeight, 12);
    World distance(kWidth, kHeight, World::Depth::k8, kLayerPadding);
    qb_test::paint_distances(distance, [](int x, int) { return x * 6; });
    effect().set_layer("Distance Layer", &distance);
    effect().set_value("Bokeh Amount", 6.0);
    const struct {
        const char* control;
        double beyond;
    } cases[] = {{"On-Focus Distance", 4000.0},
                 {"Hardness", 9.0},
                 {"Brightness", 0.01},
                 {"Bokeh Amount", 20000.0}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.control);
        const double before = effect().value(c.control);
        World at_limit = output_like(input), beyond = output_like(input);
        PF_FixedSliderDef& slider = effect().param(c.control).u.fd;
        slider.value = c.beyond > before ? slider.valid_max : slider.valid_min;
        ASSERT_EQ(render(input, at_limit), PF_Err_NONE) << message_;
        effect().set_value(c.control, c.beyond);
        ASSERT_EQ(render(input, beyond), PF_Err_NONE) << message_;
        EXPECT_EQ(largest_difference(at_limit, beyond), 0);
        effect().set_value(c.control, before);
    }
}

TEST_F(RenderCommandTest, ADistanceLayerOfAnotherSizeIsRefused) {
    World input = textured(kWidth, kHeight, 10);
    World output = output_like(input);
    World distance(kWidth - 1, kHeight, World::Depth::k8);
    effect().set_layer("Distance Layer", &distance);
    EXPECT_EQ(render(input, output), PF_Err_INVALID_INDEX);
    EXPECT_EQ(message_,
              "[Quillbloom8.0] Distance layer and target layer have different image sizes  ");
}

TEST_F(RenderCommandTest, SixteenBitDistanceLayersMeanWhatEightBitOnesDo) {
    for (const World::Depth input_depth : {World::Depth::k8, World::Depth::k16}) {
        World input = textured(kWidth, kHeight, 11, input_depth);
        const auto ramp = [](int x, int y) { return (x * 255) / (kWidth - 1) ^ (y & 8); };
        World distance8(kWidth, kHeight, World::Depth::k8, kLayerPadding);
        World distance16(kWidth, kHeight, World::Depth::k16, kLayerPadding + 8);
        qb_test::paint_distances(distance8, ramp);
        qb_test::paint_distances(distance16, ramp);
        effect().set_value("On-Focus Distance", 100.0);
        effect().set_value("Bokeh Amount", 15.0);

        World with8 = output_like(input);
        effect().set_layer("Distance Layer", &distance8);
        ASSERT_EQ(render(input, with8), PF_Err_NONE) << message_;
        World with16 = output_like(input);
        effect().set_layer("Distance Layer", &distance16);
        ASSERT_EQ(render(input, with16), PF_Err_NONE) << message_;
        EXPECT_EQ(largest_difference(with8, with16), 0);
    }
}

TEST_F(RenderCommandTest, SixteenBitRendersMatchEightBitRendersOfThePicture) {
    World input8 = textured(kWidth, kHeight, 12);
    World input16 = textured(kWidth, kHeight, 12, World::Depth::k16);
    World out8 = output_like(input8), out16 = output_like(input16);
    for (const double amount : {2.0, 14.0}) {
        SCOPED_TRACE(amount);
        effect().set_value("Bokeh Amount", amount);
        effect().set_value("Quality", 5);
        ASSERT_EQ(render(input8, out8), PF_Err_NONE) << message_;
        ASSERT_EQ(render(input16, out16), PF_Err_NONE) << message_;
        int worst = 0;
        for (int y = 0; y < kHeight; ++y) {
            for (int x = 0; x < kWidth; ++x) {
                for (int c = 1; c < 4; ++c) {
                    const double as8 = channel(out16, x, y, c) * 255.0 / 32768.0;
                    worst = std::max(
                        worst,
                        static_cast<int>(std::lround(std::abs(as8 - channel(out8, x, y, c)))));
                }
            }
        }
        EXPECT_LE(worst, 6);
    }
}

TEST_F(RenderCommandTest, FocusPickReadsTheDistanceTheLastRenderRecorded) {
    // The host renders at half resolution: the layer it hands over is half the size, and the
    // pick's point is in full-resolution pixels.
    World input = textured(kWidth, kHeight, 13);
    World output = output_like(input);
    World distance(kWidth, kHeight, World::Depth::k8, kLayerPadding);
    qb_test::paint_distances(distance, [](int x, int y) { return x * 4 + y; });
    effect().set_layer("Distance Layer", &distance);
    // Only the horizontal factor counts; a vertical one that differs must not be read instead.
    effect().in_data().downsample_x = {1, 2};
    effect().in_data().downsample_y = {1, 1};
    ASSERT_EQ(render(input, output), PF_Err_NONE) << message_;

    effect().set_point("Focus Here", 30, 40);
    ASSERT_EQ(effect().user_changed_param("Focus Here"), PF_Err_NONE);
    EXPECT_EQ(effect().value("On-Focus Distance"), 15 * 4 + 20);

    // A render with On-Focus Distance -1 takes its focus from the same map.
    effect().param("On-Focus Distance").u.fd.value = static_cast<PF_Fixed>(0xFFFF0000u);
    World picked = output_like(input);
    ASSERT_EQ(render(input, picked), PF_Err_NONE) << message_;
    World explicit_focus = output_like(input);
    effect().set_value("On-Focus Distance", 80.0);
    ASSERT_EQ(render(input, explicit_focus), PF_Err_NONE) << message_;
    EXPECT_EQ(largest_difference(picked, explicit_focus), 0);
}

// The sequence data cannot grow for a larger map: the render goes on, and Focus Here reads the
// map it kept.
TEST_F(RenderCommandTest, AMapTheHostHasNoRoomForLeavesTheEarlierOne) {
    World input = textured(kWidth, kHeight, 16);
    World output = output_like(input);
    World distance(kWidth, kHeight, World::Depth::k8, kLayerPadding);
    qb_test::paint_distances(distance, [](int, int) { return 100; });
    effect().set_layer("Distance Layer", &distance);
    ASSERT_EQ(render(input, output), PF_Err_NONE) << message_;

    const int larger_width = kWidth * 2;
    const int larger_height = kHeight + 10;
    effect().set_layer_size(larger_width, larger_height);
    World larger = textured(larger_width, larger_height, 17);
    World larger_output = output_like(larger);
    World larger_distance(larger_width, larger_height, World::Depth::k8, kLayerPadding);
    qb_test::paint_distances(larger_distance, [](int, int) { return 200; });
    effect().set_layer("Distance Layer", &larger_distance);
    const int handles = effect().live_handles();
    effect().refuse_handle_after(0);
    EXPECT_EQ(render(larger, larger_output), PF_Err_NONE) << message_;
    effect().refuse_handle_after(-1);
    EXPECT_EQ(effect().live_handles(), handles);

    effect().set_point("Focus Here", 5, 5);
    ASSERT_EQ(effect().user_changed_param("Focus Here"), PF_Err_NONE);
    EXPECT_EQ(effect().value("On-Focus Distance"), 100);
}

TEST_F(RenderCommandTest, ShapeFilesMustReachTheDiscInOneDirection) {
    PluginFolder folder;
    folder.add_shape_folder("test");
    const auto write = [&](const std::string& name, uint32_t width, uint32_t height) {
        std::vector<uint8_t> grey(static_cast<size_t>(width) * height, 200);
        tiff_writer::TiffLayout layout;
        layout.width = width;
        layout.height = height;
        ASSERT_TRUE(
            tiff_writer::write_tiff((folder.pattern() / "test" / name).c_str(), layout, grey));
    };
    EmulatedHost effect(folder.module().string());
    effect.set_layer_size(kWidth, kHeight);
    ASSERT_EQ(effect.open_sequence(), PF_Err_NONE);
    effect.set_value("Iris Shape", 1);
    World input = textured(kWidth, kHeight, 14);
    World output = output_like(input);

    // Bokeh Amount 24 asks for 25 pixels (odd), 24.5 for 27.
    write("25.tif", 30, 10);
    effect.set_value("Bokeh Amount", 24.0);
    EXPECT_EQ(effect.render(input, output), PF_Err_NONE) << effect.out_data().return_msg;
    write("25.tif", 20, 20);
    EXPECT_EQ(effect.render(input, output), PF_Err_INVALID_INDEX);
    EXPECT_STREQ(effect.out_data().return_msg, "[Quillbloom8.0] Shape Image size < MaxEffect  ");
    effect.set_value("Bokeh Amount", 24.5);
    EXPECT_EQ(effect.render(input, output), PF_Err_INVALID_INDEX);
    EXPECT_STREQ(effect.out_data().return_msg,
                 "[Quillbloom8.0] Shape File for Requested MaxEffect NOT available  ");
    std::ofstream(folder.pattern() / "test" / "27.tif") << "not a picture";
    EXPECT_EQ(effect.render(input, output), PF_Err_INVALID_INDEX);
    EXPECT_STREQ(effect.out_data().return_msg, "[Quillbloom8.0] Iris Shape Not Loarded  ");
    EXPECT_EQ(effect.frame_setdown(), PF_Err_NONE);
}

TEST_F(RenderCommandTest, CancellingAtAnyProgressCallEndsTheRenderCleanly) {
    // A small layer: a render reports progress row by row, and every report is a cancel point.
    constexpr int kSmallWidth = 24;
    constexpr int kSmallHeight = 16;
    open(kSmallWidth, kSmallHeight);
    World input = textured(kSmallWidth, kSmallHeight, 15);
    World distance(kSmallWidth, kSmallHeight, World::Depth::k8, kLayerPadding);
    qb_test::paint_distances(distance, [](int x, int) { return x * 5; });
    effect().set_layer("Distance Layer", &distance);
    effect().set_value("On-Focus Distance", 120.0);
    std::vector<int> reported;
    effect().set_progress([&](A_long current, A_long total) {
        EXPECT_EQ(total, 100);
        reported.push_back(current);
        return 0;
    });
    World output = output_like(input);
    ASSERT_EQ(render(input, output), PF_Err_NONE) << message_;
    // Two calls before the steps, then the steps' own percentages mapped onto the whole.
    ASSERT_GE(reported.size(), 3u);
    EXPECT_EQ(reported[0], 0);
    EXPECT_EQ(reported[1], 0);
    EXPECT_GE(*std::min_element(reported.begin(), reported.end()), 0);
    EXPECT_LE(*std::max_element(reported.begin(), reported.end()), 100);
    EXPECT_GT(*std::max_element(reported.begin(), reported.end()), 50);

    // At every call: before the steps, and at each call of every step.
    const size_t calls = reported.size();
    for (size_t cancel_at = 1; cancel_at <= calls; ++cancel_at) {
        SCOPED_TRACE(cancel_at);
        size_t call = 0;
        effect().set_progress([&](A_long, A_long) { return ++call == cancel_at ? 1 : 0; });
        EXPECT_EQ(render(input, output), PF_Interrupt_CANCEL);
    }
}

// The engine's row reports used to call the host's progress callback without asking whether
// there was one: a host without it ended the process at the first blurred row.
TEST_F(RenderCommandTest, AHostWithoutAProgressCallbackGetsTheWholeRender) {
    World input = textured(kWidth, kHeight, 16);
    World distance(kWidth, kHeight, World::Depth::k8, kLayerPadding);
    qb_test::paint_distances(distance, [](int x, int) { return x * 5; });
    effect().set_layer("Distance Layer", &distance);
    effect().set_value("On-Focus Distance", 40.0);
    World reported = output_like(input);
    ASSERT_EQ(render(input, reported), PF_Err_NONE) << message_;
    effect().in_data().inter.progress = nullptr;
    World unreported = output_like(input);
    ASSERT_EQ(render(input, unreported), PF_Err_NONE) << message_;
    EXPECT_EQ(largest_difference(reported, unreported), 0);
    EXPECT_GT(largest_difference(input, unreported), 0);
}

TEST_F(RenderCommandTest, TinyLayersRenderWithAndWithoutDepth) {
    for (const auto& [width, height] :
         {std::pair{1, 1}, std::pair{1, 17}, std::pair{23, 1}, std::pair{2, 2}, std::pair{3, 40}}) {
        for (const World::Depth depth : {World::Depth::k8, World::Depth::k16}) {
            SCOPED_TRACE(testing::Message() << width << "x" << height);
            World input = textured(width, height, 16, depth);
            World output = output_like(input);
            World distance(width, height, World::Depth::k8, kLayerPadding);
            qb_test::paint_distances(distance, [](int x, int y) { return (x * 40 + y * 9) % 256; });
            for (World* layer : {static_cast<World*>(nullptr), &distance}) {
                effect().set_layer("Distance Layer", layer);
                effect().set_extent_hint(
                    PF_Rect{0, 0, static_cast<A_short>(height), static_cast<A_short>(width)});
                EXPECT_EQ(render(input, output), PF_Err_NONE) << message_;
            }
        }
    }
}

TEST_F(RenderCommandTest, WorldsThatCannotHoldTheRenderAreRefusedUntouched) {
    World input = textured(kWidth, kHeight, 17);
    World narrower(kWidth - 2, kHeight), deeper(kWidth, kHeight, World::Depth::k16);
    narrower.fill8({5, 5, 5, 5});
    for (World* output : {&narrower, &deeper}) {
        EXPECT_EQ(render(input, *output), PF_Err_INVALID_INDEX);
        EXPECT_EQ(message_, "[Quillbloom8.0] The output world does not match the input layer");
    }
    EXPECT_EQ(narrower.pixel8(3, 3).red, 5);
    // Rows that claim fewer bytes than their pixels need.
    World output = output_like(input);
    input.def().rowbytes = kWidth * 4 - 1;
    EXPECT_EQ(render(input, output), PF_Err_INVALID_INDEX);
}

}  // namespace
