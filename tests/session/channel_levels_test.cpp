// Channel values between files and the host's worlds: 16-bit file values and floats scaled into
// the worlds' 0..32768 and back.
#include "session/channel_levels.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <cstdlib>

namespace {

TEST(ChannelLevels, SixteenBitFileValuesSurviveTheWorldsScaleWithinOneStep) {
    EXPECT_EQ(session::file16_to_world16(0), 0);
    EXPECT_EQ(session::file16_to_world16(65535), 32768);
    EXPECT_EQ(session::world16_to_file16(32768), 65535);
    for (std::uint32_t v = 0; v <= 65535; ++v) {
        const auto back = session::world16_to_file16(session::file16_to_world16(v));
        ASSERT_LE(std::abs(static_cast<int>(back) - static_cast<int>(v)), 1) << v;
    }
    for (std::uint32_t level = 0; level <= 32768; ++level) {
        ASSERT_EQ(session::file16_to_world16(session::world16_to_file16(level)), level);
    }
}

TEST(ChannelLevels, FloatsAreClampedToTheWorldsRange) {
    EXPECT_EQ(session::float_to_world16(-0.5f), 0);
    EXPECT_EQ(session::float_to_world16(NAN), 0);
    EXPECT_EQ(session::float_to_world16(7.0f), 32768);
    EXPECT_EQ(session::float_to_world16(0.5f), 16384);
}

// A float Distance Layer must render as the 16-bit file it would be saved as.
TEST(ChannelLevels, FloatDistancesTakeTheNearestSixteenBitFileLevel) {
    for (std::uint32_t v = 0; v <= 65535; ++v) {
        const float value = static_cast<float>(v) / 65535.0f;
        ASSERT_EQ(session::float_distance_to_world16(value), session::file16_to_world16(v)) << v;
    }
    EXPECT_EQ(session::float_distance_to_world16(NAN), 0);
    EXPECT_EQ(session::float_distance_to_world16(-1.0f), 0);
    EXPECT_EQ(session::float_distance_to_world16(INFINITY), 32768);
}

}  // namespace
