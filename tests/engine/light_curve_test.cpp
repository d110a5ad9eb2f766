#include "engine/light_curve.h"

#include <gtest/gtest.h>

#include "engine/light_curve_internal.h"
#include "tests/engine/engine_fixtures.h"

namespace {

using engine_test::kSixDigits;

// Telling values of the curve with gain and scale 1, as float32.
struct CurveSample {
    double contrast;
    double base;
    double entry128;
    double entry255;
};

constexpr CurveSample kSamples[] = {
    {1.0, 0.00916906, 0.665643, 30.5463},
    {1.5, 0.000983949, 0.620256, 189.285},
};

// The tables hold float32 light; converting back gives the channel value up to the float32
// rounding of the stored light, which is far finer than one level.
constexpr double kRoundTrip8 = 1e-5;
constexpr double kRoundTrip16 = 1e-3;

TEST(LightCurve, TellingValuesOfBothTables) {
    for (const CurveSample& s : kSamples) {
        SCOPED_TRACE(s.contrast);
        EXPECT_EQ(RGB_to_Light8(0, s.contrast, 1.0, 1.0), 0.0f);
        EXPECT_NEAR(RGB_to_Light8(128, s.contrast, 1.0, 1.0), s.entry128, s.entry128 * kSixDigits);
        EXPECT_NEAR(RGB_to_Light8(255, s.contrast, 1.0, 1.0), s.entry255, s.entry255 * kSixDigits);
        // Entry 1 stands just above L(0); its distance from L(1) shows the base subtracted.
        const double l1 =
            20.0 * std::pow(10.0, (s.contrast / 0.65) * std::tan(-134.0 / 150.0) - 1.4);
        EXPECT_NEAR(RGB_to_Light8(1, s.contrast, 1.0, 1.0), l1 - s.base, 1e-8);
        // The 16-bit white 32768 lands just below 8-bit 256; 16-bit 16384 is close to 8-bit 128.
        const float white = RGB_to_Light(32768, s.contrast, 1.0, 1.0);
        EXPECT_GT(white, s.entry255);
        EXPECT_NEAR(RGB_to_Light(16384, s.contrast, 1.0, 1.0), s.entry128, 0.01);
    }
}

TEST(LightCurve, InverseReturnsEveryLevel) {
    for (const CurveSample& s : kSamples) {
        SCOPED_TRACE(s.contrast);
        for (int i = 1; i < 256; ++i) {
            const float light = RGB_to_Light8(static_cast<uint8_t>(i), s.contrast, 1.0, 1.0);
            ASSERT_NEAR(Light_to_RGB(light, 0, s.contrast, 1.0), i, kRoundTrip8) << i;
        }
        for (int i = 1; i <= 32768; ++i) {
            const float light = RGB_to_Light(static_cast<uint16_t>(i), s.contrast, 1.0, 1.0);
            ASSERT_NEAR(Light_to_RGB(light, 1, s.contrast, 1.0), i, kRoundTrip16) << i;
        }
    }
}

TEST(LightCurve, InverseScalesAndAnswersZeroForNoLight) {
    EXPECT_EQ(Light_to_RGB(0.0f, 0, 1.0, 1.0), 0.0);
    EXPECT_EQ(Light_to_RGB(0.0f, 1, 7.0, 0.25), 0.0);
    const float light = RGB_to_Light8(100, 1.2, 1.0, 1.0);
    const double at_scale_one = Light_to_RGB(light, 0, 1.2, 1.0);
    // Switching flag or scale between calls must not reuse the other call's factor.
    EXPECT_NEAR(Light_to_RGB(light, 1, 1.2, 1.0), at_scale_one * 128.00390625, 1e-6);
    EXPECT_NEAR(Light_to_RGB(light, 0, 1.2, 2.0), at_scale_one / 2.0, 1e-9);
    EXPECT_NEAR(Light_to_RGB(light, 0, 1.2, 1.0), at_scale_one, 1e-12);
}

TEST(LightCurve, EightBitTableFollowsEveryParameter) {
    const float contrast_one = RGB_to_Light8(255, 1.0, 1.0, 1.0);
    // Gain alone changes: the table is rebuilt, and L(0) doubles with it.
    EXPECT_NEAR(RGB_to_Light8(255, 1.0, 2.0, 1.0), 2.0 * contrast_one, 1e-4);
    EXPECT_EQ(light_curve::table8_key().b, 2.0);
    // Scale 0.5 puts entry 254 where entry 127 was.
    EXPECT_FLOAT_EQ(RGB_to_Light8(254, 1.0, 1.0, 0.5), RGB_to_Light8(127, 1.0, 1.0, 1.0));
    // Alternating parameter sets rebuild every time and give each set its own values.
    for (int round = 0; round < 3; ++round) {
        EXPECT_NEAR(RGB_to_Light8(255, 1.5, 1.0, 1.0), 189.285, 189.285 * kSixDigits);
        EXPECT_NEAR(RGB_to_Light8(255, 1.0, 1.0, 1.0), 30.5463, 30.5463 * kSixDigits);
    }
}

TEST(LightCurve, SixteenBitCacheRules) {
    const float filled = RGB_to_Light(1000, 1.0, 1.0, 1.0);
    EXPECT_EQ(light_curve::table16_entry(1000), filled);
    EXPECT_EQ(light_curve::table16_entry(1001), 0.0f);

    // Index 0 answers without looking at the cache, even for other parameters.
    EXPECT_EQ(RGB_to_Light(0, 3.0, 4.0, 5.0), 0.0f);
    const light_curve::CacheKey kept = light_curve::table16_key();
    EXPECT_EQ(kept.a, 1.0);
    EXPECT_EQ(kept.b, 1.0);
    EXPECT_EQ(kept.c, 1.0);
    EXPECT_EQ(light_curve::table16_entry(1000), filled);

    // A new key starts the table empty again.
    const float other = RGB_to_Light(2000, 1.5, 1.0, 1.0);
    EXPECT_EQ(light_curve::table16_entry(1000), 0.0f);
    EXPECT_EQ(light_curve::table16_entry(2000), other);

    // With gain 0 every entry computes to 0.0, which is never taken as computed.
    EXPECT_EQ(RGB_to_Light(500, 1.0, 0.0, 1.0), 0.0f);
    EXPECT_EQ(RGB_to_Light(500, 1.0, 0.0, 1.0), 0.0f);
    EXPECT_EQ(light_curve::table16_entry(500), 0.0f);
}

}  // namespace
