// Windows, the frame that holds them, and layers placed in it: the arithmetic that keeps a
// file's pixels at their coordinates through a render, at full and reduced resolution.
#include <gtest/gtest.h>

#include "cli/frame_geometry.h"

namespace {

using cli::PixelWindow;

TEST(FrameGeometry, TheFrameHoldsDisplayAndDataWindowsWhereverTheyLie) {
    const PixelWindow display{0, 0, 1920, 1080};
    EXPECT_EQ(cli::union_of(display, {100, 50, 20, 10}), display);
    // Overscan: the data window reaches beyond the display on every side.
    EXPECT_EQ(cli::union_of(display, {-16, -8, 1952, 1096}), (PixelWindow{-16, -8, 1952, 1096}));
    EXPECT_EQ(cli::union_of({10, 10, 5, 5}, {-3, 20, 2, 2}), (PixelWindow{-3, 10, 18, 12}));
}

TEST(FrameGeometry, ReducedWindowsRoundOutwardAndAlignedFramesAreWholeBlocks) {
    EXPECT_EQ(cli::reduced(PixelWindow{0, 0, 5, 3}, 2), (PixelWindow{0, 0, 3, 2}));
    // Negative origins round toward minus infinity, not toward 0.
    EXPECT_EQ(cli::reduced(PixelWindow{-3, -1, 6, 2}, 2), (PixelWindow{-2, -1, 4, 2}));
    EXPECT_EQ(cli::reduced(PixelWindow{7, 7, 1, 1}, 4), (PixelWindow{1, 1, 1, 1}));
    EXPECT_EQ(cli::aligned(PixelWindow{-3, 5, 6, 2}, 4), (PixelWindow{-4, 4, 8, 4}));
    EXPECT_EQ(cli::aligned(PixelWindow{0, 0, 64, 48}, 1), (PixelWindow{0, 0, 64, 48}));
    // Reducing an aligned frame gives the size the downsampled world has.
    for (int factor = 1; factor <= 5; ++factor) {
        for (int x = -7; x <= 7; ++x) {
            const PixelWindow frame = cli::aligned(PixelWindow{x, 0, 11, 1}, factor);
            EXPECT_EQ(cli::reduced(frame, factor).width, (frame.width + factor - 1) / factor);
            EXPECT_EQ(frame.x % factor, 0);
        }
    }
}

TEST(FrameGeometry, PointsOfTheDisplayWindowLandOnTheSamePixelInTheFrame) {
    const cli::FrameGeometry geometry{
        {-16, -8, 1952, 1096}, {-16, -8, 1952, 1096}, {0, 0, 1920, 1080}};
    const session::PointXY point = cli::frame_point(geometry, {960, 540});
    EXPECT_EQ(point.x, 976);
    EXPECT_EQ(point.y, 548);
    const cli::FrameGeometry plain = cli::whole_world(64, 48);
    EXPECT_EQ(cli::frame_point(plain, {3, 4}).x, 3);
}

TEST(FrameGeometry, APlacedLayerKeepsItsPixelsAtTheirCoordinatesAndIsCutAtTheFrame) {
    host::World layer(3, 2, host::World::Depth::kFloat);
    for (int y = 0; y < 2; ++y) {
        for (int x = 0; x < 3; ++x) {
            layer.pixel_float(x, y) = PF_PixelFloat{1.0f, float(10 * y + x), 0.0f, 0.0f};
        }
    }
    const PixelWindow frame{-1, -1, 4, 3};
    host::World placed(frame.width, frame.height, host::World::Depth::kFloat);
    // The layer starts one pixel right of the frame's corner and runs past its right edge.
    cli::place_in_frame(layer, {0, 0, 3, 2}, frame, placed);
    EXPECT_EQ(placed.pixel_float(0, 0).alpha, 0.0f);
    EXPECT_EQ(placed.pixel_float(1, 1).red, 0.0f);
    EXPECT_EQ(placed.pixel_float(1, 1).alpha, 1.0f);
    EXPECT_EQ(placed.pixel_float(3, 2).red, 12.0f);
    EXPECT_EQ(placed.pixel_float(0, 2).alpha, 0.0f);

    host::World eight(2, 2);
    eight.fill8(PF_Pixel8{255, 9, 9, 9});
    host::World wide(5, 2);
    cli::place_in_frame(eight, {2, 0, 2, 2}, {-1, 0, 5, 2}, wide);
    EXPECT_EQ(wide.pixel8(2, 1).red, 0);
    EXPECT_EQ(wide.pixel8(3, 1).red, 9);
    EXPECT_EQ(wide.pixel8(4, 0).red, 9);
}

}  // namespace
