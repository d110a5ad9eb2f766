// The frame between host images and worlds: which pixel lands where, whatever the row layout,
// and what each depth's values become.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdint>

#include "ofx/frame_transfer.h"
#include "session/channel_levels.h"
#include "tests/ofx/image_buffer.h"

namespace {

using qb_ofx::Components;
using qb_ofx::PixelDepth;
using qb_test::ImageBuffer;

constexpr OfxRectI kBounds{10, -4, 13, -2};  // 3 x 2, away from the origin

class RowLayout : public ::testing::TestWithParam<bool> {};

TEST_P(RowLayout, BytesKeepTheirPlacesTopRowFirstAndComeBackUnchanged) {
    ImageBuffer<std::uint8_t> source(kBounds, PixelDepth::kByte, Components::kRGBA, GetParam(), 4);
    for (int y = kBounds.y1; y < kBounds.y2; ++y) {
        for (int x = kBounds.x1; x < kBounds.x2; ++x) {
            std::uint8_t* p = source.at(x, y);
            p[0] = static_cast<std::uint8_t>(x);
            p[1] = static_cast<std::uint8_t>(y + 100);
            p[2] = 7;
            p[3] = 200;
        }
    }
    const auto world = qb_ofx::frame_world(source.view());
    ASSERT_EQ(world->width(), 3);
    ASSERT_EQ(world->height(), 2);
    // The image's top row (y = -3) is the world's first.
    EXPECT_EQ(world->pixel8(0, 0).red, 10);
    EXPECT_EQ(world->pixel8(0, 0).green, 97);
    EXPECT_EQ(world->pixel8(2, 1).red, 12);
    EXPECT_EQ(world->pixel8(2, 1).green, 96);
    EXPECT_EQ(world->pixel8(1, 1).alpha, 200);

    ImageBuffer<std::uint8_t> output(kBounds, PixelDepth::kByte, Components::kRGBA, GetParam());
    qb_ofx::write_frame(*world, kBounds, output.view(), kBounds);
    for (int y = kBounds.y1; y < kBounds.y2; ++y) {
        for (int x = kBounds.x1; x < kBounds.x2; ++x) {
            for (int c = 0; c < 4; ++c) {
                EXPECT_EQ(output.at(x, y)[c], source.at(x, y)[c]) << x << "," << y << " " << c;
            }
        }
    }
}

INSTANTIATE_TEST_SUITE_P(UpAndDown, RowLayout, ::testing::Bool());

TEST(FrameTransfer, RgbIsOpaqueAndKeepsItsThreeChannels) {
    ImageBuffer<std::uint16_t> source(kBounds, PixelDepth::kShort, Components::kRGB, false);
    source.at(11, -3)[0] = 65535;
    source.at(11, -3)[1] = 32768;
    source.at(11, -3)[2] = 1;
    const auto world = qb_ofx::frame_world(source.view());
    const PF_Pixel16& p = world->pixel16(1, 0);
    EXPECT_EQ(p.alpha, session::kMaxWorld16);
    EXPECT_EQ(p.red, session::kMaxWorld16);
    EXPECT_EQ(p.green, session::file16_to_world16(32768));
    EXPECT_EQ(p.blue, session::file16_to_world16(1));

    ImageBuffer<std::uint16_t> output(kBounds, PixelDepth::kShort, Components::kRGB, false);
    qb_ofx::write_frame(*world, kBounds, output.view(), kBounds);
    EXPECT_EQ(output.at(11, -3)[0], 65535);
    EXPECT_EQ(output.at(11, -3)[1], 32768);
}

TEST(FrameTransfer, PremultipliedFloatsAreStraightInTheWorldAndPremultipliedAgainOut) {
    ImageBuffer<float> source(kBounds, PixelDepth::kFloat, Components::kRGBA, true);
    source.view().premultiplied = true;
    const float half_covered[] = {0.25f, 0.5f, 1.5f, 0.5f};
    const float glow[] = {2.0f, 1.0f, 0.0f, 0.0f};  // light with no coverage
    const float bad[] = {NAN, -1.0f, 0.5f, 1.0f};
    std::copy(std::begin(half_covered), std::end(half_covered), source.at(10, -3));
    std::copy(std::begin(glow), std::end(glow), source.at(11, -3));
    std::copy(std::begin(bad), std::end(bad), source.at(12, -3));
    const auto world = qb_ofx::frame_world(source.view());
    EXPECT_FLOAT_EQ(world->pixel_float(0, 0).red, 0.5f);
    EXPECT_FLOAT_EQ(world->pixel_float(0, 0).blue, 3.0f);
    EXPECT_FLOAT_EQ(world->pixel_float(1, 0).red, 2.0f);
    EXPECT_EQ(world->pixel_float(2, 0).red, 0.0f);
    EXPECT_EQ(world->pixel_float(2, 0).green, 0.0f);

    ImageBuffer<float> output(kBounds, PixelDepth::kFloat, Components::kRGBA, false);
    output.view().premultiplied = true;
    qb_ofx::write_frame(*world, kBounds, output.view(), kBounds);
    for (int c = 0; c < 4; ++c) {
        EXPECT_FLOAT_EQ(output.at(10, -3)[c], half_covered[c]);
        EXPECT_FLOAT_EQ(output.at(11, -3)[c], glow[c]);
    }
}

TEST(FrameTransfer, OnlyTheWindowIsWrittenAndOutsideTheFrameIsTransparent) {
    ImageBuffer<std::uint8_t> source(kBounds, PixelDepth::kByte, Components::kRGBA, false);
    std::fill(source.at(10, -4), source.at(10, -4) + 4, 255);
    const auto world = qb_ofx::frame_world(source.view());
    const OfxRectI wider{9, -4, 14, -2};
    ImageBuffer<std::uint8_t> output(wider, PixelDepth::kByte, Components::kRGBA, false);
    qb_ofx::write_frame(*world, kBounds, output.view(), OfxRectI{9, -4, 11, -3});
    EXPECT_EQ(output.at(9, -4)[3], 0);      // in the window, outside the frame
    EXPECT_EQ(output.at(10, -4)[3], 255);   // in both
    EXPECT_EQ(output.at(11, -4)[3], 0xEE);  // outside the window: untouched
    EXPECT_EQ(output.at(10, -3)[3], 0xEE);
}

}  // namespace
