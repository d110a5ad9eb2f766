// Runs alone in its own program: the caches must be in their start state.
#include <gtest/gtest.h>

#include "engine/light_curve.h"
#include "engine/light_curve_internal.h"
#include "tests/engine/engine_fixtures.h"

namespace {

using engine_test::kSixDigits;

TEST(LightCurveStartup, FirstCallsFillBothTables) {
    EXPECT_EQ(light_curve::table8_key().a, -9999.0);
    EXPECT_EQ(light_curve::table16_key().c, -9999.0);
    EXPECT_NEAR(RGB_to_Light8(255, 1.0, 1.0, 1.0), 30.5463, 30.5463 * kSixDigits);
    EXPECT_EQ(light_curve::table8_key().a, 1.0);
    EXPECT_NE(RGB_to_Light(32768, 1.0, 1.0, 1.0), 0.0f);
    EXPECT_EQ(light_curve::table16_key().a, 1.0);
}

}  // namespace
