// The Depth input's conventions: which channel, which way round, and scene units as the tool
// maps them.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdint>

#include "ofx/depth_conventions.h"
#include "session/channel_levels.h"
#include "tests/ofx/image_buffer.h"

namespace {

using qb_ofx::Components;
using qb_ofx::DepthChannel;
using qb_ofx::DepthConventions;
using qb_ofx::PixelDepth;
using qb_test::ImageBuffer;

constexpr OfxRectI kOnePixel{0, 0, 1, 1};

TEST(DepthChannelValue, EachChannelAndLuminanceOfAGreyIsTheGrey) {
    const std::array<double, 4> pixel{10.0, 20.0, 30.0, 40.0};
    EXPECT_EQ(qb_ofx::channel_value(pixel, DepthChannel::kRed), 10.0);
    EXPECT_EQ(qb_ofx::channel_value(pixel, DepthChannel::kGreen), 20.0);
    EXPECT_EQ(qb_ofx::channel_value(pixel, DepthChannel::kBlue), 30.0);
    EXPECT_EQ(qb_ofx::channel_value(pixel, DepthChannel::kAlpha), 40.0);
    EXPECT_NEAR(qb_ofx::channel_value({0.5, 0.5, 0.5, 1.0}, DepthChannel::kLuminance), 0.5, 1e-12);
    // Green weighs most, blue least.
    EXPECT_GT(qb_ofx::channel_value({0, 1, 0, 0}, DepthChannel::kLuminance),
              qb_ofx::channel_value({1, 0, 0, 0}, DepthChannel::kLuminance));
    EXPECT_GT(qb_ofx::channel_value({1, 0, 0, 0}, DepthChannel::kLuminance),
              qb_ofx::channel_value({0, 0, 1, 0}, DepthChannel::kLuminance));
}

TEST(DistanceWorld, BytesAreLevelsAsTheyAreOrTurnedRoundWhenWhiteIsFar) {
    ImageBuffer<std::uint8_t> depth(kOnePixel, PixelDepth::kByte, Components::kRGBA, false);
    const std::uint8_t pixel[] = {40, 90, 0, 255};
    std::copy(std::begin(pixel), std::end(pixel), depth.at(0, 0));
    DepthConventions conventions;
    conventions.channel = DepthChannel::kGreen;
    auto world = qb_ofx::distance_world(depth.view(), conventions);
    ASSERT_EQ(world->depth(), host::World::Depth::k8);
    EXPECT_EQ(world->pixel8(0, 0).red, 90);
    EXPECT_EQ(world->pixel8(0, 0).blue, 90);
    EXPECT_EQ(world->pixel8(0, 0).alpha, 255);
    conventions.white_is_near = false;
    world = qb_ofx::distance_world(depth.view(), conventions);
    EXPECT_EQ(world->pixel8(0, 0).red, 255 - 90);
}

TEST(DistanceWorld, ShortsAndFloatsKeepSixteenBitLevels) {
    ImageBuffer<std::uint16_t> shorts(kOnePixel, PixelDepth::kShort, Components::kRGB, false);
    shorts.at(0, 0)[0] = 30000;
    DepthConventions conventions;
    auto world = qb_ofx::distance_world(shorts.view(), conventions);
    ASSERT_EQ(world->depth(), host::World::Depth::k16);
    EXPECT_EQ(world->pixel16(0, 0).red, session::file16_to_world16(30000));
    // The alpha of an RGB input is opaque.
    conventions.channel = DepthChannel::kAlpha;
    world = qb_ofx::distance_world(shorts.view(), conventions);
    EXPECT_EQ(world->pixel16(0, 0).red, session::kMaxWorld16);

    ImageBuffer<float> floats(kOnePixel, PixelDepth::kFloat, Components::kRGBA, true);
    floats.at(0, 0)[0] = 0.25f;
    conventions.channel = DepthChannel::kRed;
    conventions.white_is_near = false;
    world = qb_ofx::distance_world(floats.view(), conventions);
    EXPECT_EQ(world->pixel16(0, 0).red, session::kMaxWorld16 - session::float_to_world16(0.25f));
    floats.at(0, 0)[0] = 7.0f;  // beyond white: clamped
    conventions.white_is_near = true;
    world = qb_ofx::distance_world(floats.view(), conventions);
    EXPECT_EQ(world->pixel16(0, 0).red, session::kMaxWorld16);
}

TEST(DistanceWorld, SceneUnitsMapAsTheToolsNearFarAndInvert) {
    ImageBuffer<float> depth({0, 0, 3, 1}, PixelDepth::kFloat, Components::kRGBA, false);
    depth.at(0, 0)[0] = 2.0f;
    depth.at(1, 0)[0] = 7.0f;
    depth.at(2, 0)[0] = NAN;
    DepthConventions conventions;
    conventions.scene_units = session::DepthRange{2.0, 12.0};
    for (const bool white_is_near : {true, false}) {
        conventions.white_is_near = white_is_near;
        const auto world = qb_ofx::distance_world(depth.view(), conventions);
        ASSERT_EQ(world->depth(), host::World::Depth::k8);
        const session::DepthRange tool{2.0, 12.0, !white_is_near};
        for (int x = 0; x < 3; ++x) {
            EXPECT_EQ(world->pixel8(x, 0).red, session::depth_to_distance(depth.at(x, 0)[0], tool));
        }
    }
}

}  // namespace
