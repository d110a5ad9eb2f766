#include "engine/light_curve.h"

#include <gtest/gtest.h>

#include <thread>
#include <vector>

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

TEST(LightCurve, TablesAnswerWhatTheCurveAnswersForEveryParameter) {
    LightTables tables;
    // Nothing is held before the first use, and the first use fills both tables.
    EXPECT_NE(tables.table8_key(), (light_curve::CurveKey{1.0, 1.0, 1.0}));
    EXPECT_EQ(tables.table16_entry(1000), 0.0f);
    const float contrast_one = tables.RGB_to_Light8(255, 1.0, 1.0, 1.0);
    EXPECT_NEAR(contrast_one, 30.5463, 30.5463 * kSixDigits);
    // Gain alone changes: the table is rebuilt, and L(0) doubles with it.
    EXPECT_NEAR(tables.RGB_to_Light8(255, 1.0, 2.0, 1.0), 2.0 * contrast_one, 1e-4);
    EXPECT_EQ(tables.table8_key(), (light_curve::CurveKey{1.0, 2.0, 1.0}));
    // Scale 0.5 puts entry 254 where entry 127 was.
    EXPECT_FLOAT_EQ(tables.RGB_to_Light8(254, 1.0, 1.0, 0.5),
                    tables.RGB_to_Light8(127, 1.0, 1.0, 1.0));
    // Alternating parameter sets rebuild every time, and every value is the curve's own.
    const double contrasts[] = {1.5, 1.0, 0.7};
    for (int round = 0; round < 3; ++round) {
        for (const double a : contrasts) {
            for (int i = 0; i < 256; i += 17) {
                const auto index = static_cast<uint8_t>(i);
                ASSERT_EQ(tables.RGB_to_Light8(index, a, 1.3, 1.0),
                          RGB_to_Light8(index, a, 1.3, 1.0));
                const auto deep = static_cast<uint16_t>(i * 128);
                ASSERT_EQ(tables.RGB_to_Light(deep, a, 1.3, 1.0), RGB_to_Light(deep, a, 1.3, 1.0));
            }
        }
    }
}

TEST(LightCurve, SixteenBitTableFillsAsLevelsAreMet) {
    LightTables tables;
    const float filled = tables.RGB_to_Light(1000, 1.0, 1.0, 1.0);
    EXPECT_EQ(tables.table16_entry(1000), filled);
    EXPECT_EQ(tables.table16_entry(1001), 0.0f);

    // Index 0 answers without looking at the table, even for other parameters.
    EXPECT_EQ(tables.RGB_to_Light(0, 3.0, 4.0, 5.0), 0.0f);
    EXPECT_EQ(tables.table16_key(), (light_curve::CurveKey{1.0, 1.0, 1.0}));
    EXPECT_EQ(tables.table16_entry(1000), filled);

    // A new key starts the table empty again.
    const float other = tables.RGB_to_Light(2000, 1.5, 1.0, 1.0);
    EXPECT_EQ(tables.table16_entry(1000), 0.0f);
    EXPECT_EQ(tables.table16_entry(2000), other);

    // With gain 0 every entry computes to 0.0, which is never taken as computed.
    EXPECT_EQ(tables.RGB_to_Light(500, 1.0, 0.0, 1.0), 0.0f);
    EXPECT_EQ(tables.RGB_to_Light(500, 1.0, 0.0, 1.0), 0.0f);
    EXPECT_EQ(tables.table16_entry(500), 0.0f);
}

// Two tables used from two threads at once give each thread the values it gives alone.
TEST(LightCurve, TablesOfTwoPassesDoNotMeet) {
    LightTables first;
    LightTables second;
    std::vector<float> from_first(32769);
    std::vector<float> from_second(32769);
    std::thread other([&] {
        for (int i = 0; i <= 32768; ++i) {
            from_second[static_cast<size_t>(i)] =
                second.RGB_to_Light(static_cast<uint16_t>(i), 1.5, 2.0, 1.0);
        }
    });
    for (int i = 0; i <= 32768; ++i) {
        from_first[static_cast<size_t>(i)] =
            first.RGB_to_Light(static_cast<uint16_t>(i), 0.8, 1.0, 1.0);
    }
    other.join();
    for (int i = 0; i <= 32768; i += 97) {
        const auto level = static_cast<uint16_t>(i);
        ASSERT_EQ(from_first[static_cast<size_t>(i)], RGB_to_Light(level, 0.8, 1.0, 1.0)) << i;
        ASSERT_EQ(from_second[static_cast<size_t>(i)], RGB_to_Light(level, 1.5, 2.0, 1.0)) << i;
    }
}

}  // namespace
