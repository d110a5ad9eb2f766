// Depths in scene units to distance values, as the tool's --near/--far/--invert and the OpenFX
// Depth input map them.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>

#include "session/depth_range.h"

namespace {

TEST(DepthRange, NearIsNearestFarIsFarthestAndOutsideIsClamped) {
    const session::DepthRange range{2.0, 12.0, false};
    EXPECT_EQ(session::depth_to_distance(2.0f, range), 255);
    EXPECT_EQ(session::depth_to_distance(12.0f, range), 0);
    EXPECT_EQ(session::depth_to_distance(7.0f, range), 128);
    EXPECT_EQ(session::depth_to_distance(0.5f, range), 255);
    EXPECT_EQ(session::depth_to_distance(1e9f, range), 0);
    EXPECT_EQ(session::depth_to_distance(std::numeric_limits<float>::infinity(), range), 0);
    // Background pixels of a depth pass carry no depth: they are far away.
    EXPECT_EQ(session::depth_to_distance(NAN, range), 0);
}

TEST(DepthRange, InvertSwapsTheEnds) {
    const session::DepthRange range{2.0, 12.0, true};
    EXPECT_EQ(session::depth_to_distance(2.0f, range), 0);
    EXPECT_EQ(session::depth_to_distance(12.0f, range), 255);
    EXPECT_EQ(session::depth_to_distance(NAN, range), 255);
}

}  // namespace
