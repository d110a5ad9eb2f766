#include "engine/prepared_source.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <vector>

#include "engine/engine_failures.h"
#include "tests/engine/engine_fixtures.h"

namespace {

// A blurred pass over the whole frame: every row within the stamp's reach is prepared.
constexpr double kBlur = 21.0;

PassInputs frame8_inputs(const std::vector<uint8_t>& frame, int32_t width, int32_t height,
                         int32_t rowbytes, float alpha_scale) {
    PassInputs in;
    in.source = SourceFrame{width, height, kLevels8, frame.data(), rowbytes};
    in.blur = kBlur;
    in.alpha_scale = alpha_scale;
    return in;
}

PassInputs frame16_inputs(const std::vector<uint16_t>& frame, int32_t width, int32_t height,
                          int32_t stride, float alpha_scale) {
    PassInputs in;
    in.source = SourceFrame{width, height, kLevels16, nullptr, 0, frame.data(), stride};
    in.blur = kBlur;
    in.alpha_scale = alpha_scale;
    return in;
}

std::vector<uint16_t> row_of(const PreparedSource& source, int32_t width, int32_t y) {
    const uint16_t* row = source.Src_Data_sh.get() + static_cast<size_t>(y) * source.src16_stride;
    return {row, row + 4 * width};
}

TEST(SourcePreprocess, EightBitPixelsScaledAlphaAndClearedPixels) {
    // Two rows of two pixels with two bytes of padding a row.
    const std::vector<uint8_t> frame = {
        255, 10, 20, 30, 0, 90, 90, 90, 7, 7,  //
        128, 1,  2,  3,  1, 4,  5,  6,  7, 7,  //
    };
    PreparedSource whole;
    ASSERT_TRUE(whole.pre_process_RGB_cf(frame8_inputs(frame, 2, 2, 10, 1.0f)).ok());
    EXPECT_EQ(whole.src16_stride, 8);
    EXPECT_EQ(row_of(whole, 2, 0), (std::vector<uint16_t>{255, 10, 20, 30, 0, 0, 0, 0}));
    EXPECT_EQ(row_of(whole, 2, 1), (std::vector<uint16_t>{128, 1, 2, 3, 1, 4, 5, 6}));

    PreparedSource halved;
    ASSERT_TRUE(halved.pre_process_RGB_cf(frame8_inputs(frame, 2, 2, 10, 0.5f)).ok());
    // 127.5 rounds up; 0.5 rounds up to 1; 64 stays.
    EXPECT_EQ(row_of(halved, 2, 0)[0], 128);
    EXPECT_EQ(row_of(halved, 2, 1)[0], 64);
    EXPECT_EQ(row_of(halved, 2, 1)[4], 1);
}

TEST(SourcePreprocess, SixteenBitKeepsItsStrideAndSkipsMaskedRows) {
    // Three rows of one pixel, stride 6 values.
    const std::vector<uint16_t> frame = {
        32768, 100, 200, 32768, 9, 9,  //
        16384, 1,   2,   3,     9, 9,  //
        300,   4,   5,   6,     9, 9,  //
    };
    const std::vector<int32_t> rows = {1, 0, 1};
    PassInputs in = frame16_inputs(frame, 1, 3, 6, 0.3f);
    in.region.row_mask = rows.data();
    PreparedSource source;
    ASSERT_TRUE(source.pre_process_RGB_cf(in).ok());
    EXPECT_EQ(source.src16_stride, 6);
    // 32768 * 0.3f = 9830.4 -> 9830; 300 * 0.3f = 90.0 -> 90.
    EXPECT_EQ(row_of(source, 1, 0), (std::vector<uint16_t>{9830, 100, 200, 32768}));
    EXPECT_EQ(row_of(source, 1, 1), (std::vector<uint16_t>{0, 0, 0, 0}));
    EXPECT_EQ(row_of(source, 1, 2), (std::vector<uint16_t>{90, 4, 5, 6}));
}

TEST(SourcePreprocess, ValuesPastTheTopLevelAreCutToIt) {
    // Channel values a 16-bit frame should never hold, and an alpha scale above 1, would index
    // past the light and photon tables.
    const std::vector<uint16_t> frame = {40000, 65535, 32769, 32768};
    PreparedSource deep;
    ASSERT_TRUE(deep.pre_process_RGB_cf(frame16_inputs(frame, 1, 1, 4, 1.0f)).ok());
    EXPECT_EQ(row_of(deep, 1, 0), (std::vector<uint16_t>{32768, 32768, 32768, 32768}));

    const std::vector<uint8_t> frame8 = {200, 255, 0, 1};
    PreparedSource shallow;
    ASSERT_TRUE(shallow.pre_process_RGB_cf(frame8_inputs(frame8, 1, 1, 4, 1.5f)).ok());
    EXPECT_EQ(row_of(shallow, 1, 0), (std::vector<uint16_t>{255, 255, 0, 1}));
}

// An alpha scale of 1 takes a path of its own for 16-bit rows; it keeps every rule of the others.
TEST(SourcePreprocess, SixteenBitAtFullAlphaClearsAndCutsAsAnyScale) {
    constexpr int32_t kWidth = 37;
    std::vector<uint16_t> frame(4 * kWidth);
    for (size_t i = 0; i < frame.size(); ++i) {
        frame[i] = static_cast<uint16_t>(i * 7919 % 40000);
    }
    frame[4 * 3] = 0;  // pixel 3 has no alpha: its colour goes
    PreparedSource source;
    ASSERT_TRUE(source.pre_process_RGB_cf(frame16_inputs(frame, kWidth, 1, 4 * kWidth, 1.0f)).ok());
    std::vector<uint16_t> expected(frame.size());
    for (int32_t x = 0; x < kWidth; ++x) {
        const bool lit = frame[4 * x] != 0;
        for (int32_t v = 0; v < 4; ++v) {
            expected[4 * x + v] = lit ? std::min<uint16_t>(frame[4 * x + v], 32768) : 0;
        }
    }
    EXPECT_EQ(row_of(source, kWidth, 0), expected);
    EXPECT_EQ(row_of(source, kWidth, 0)[4 * 3 + 1], 0);
}

// A row long enough for the vector loops and their tail, holding every byte value in every
// channel, at a scale that scales: each 8-bit pixel as its 16-bit twin converts one at a time.
TEST(SourcePreprocess, EightBitRowsConvertAsSixteenBitOnesAtAnyScale) {
    constexpr int32_t kWidth = 300;
    std::vector<uint8_t> frame8(4 * kWidth);
    for (size_t i = 0; i < frame8.size(); ++i) {
        frame8[i] = static_cast<uint8_t>(i * 37 % 256);
    }
    frame8[4 * 5] = 0;  // colour without alpha goes
    const std::vector<uint16_t> frame16(frame8.begin(), frame8.end());
    for (const float scale : {0.3f, 1.0f, 1.7f}) {
        PreparedSource shallow;
        ASSERT_TRUE(
            shallow.pre_process_RGB_cf(frame8_inputs(frame8, kWidth, 1, 4 * kWidth, scale)).ok());
        PassInputs twin = frame16_inputs(frame16, kWidth, 1, 4 * kWidth, scale);
        // The 8-bit top level, which the 16-bit frame's own would not cut at.
        twin.source.levels = kLevels8;
        PreparedSource deep;
        ASSERT_TRUE(deep.pre_process_RGB_cf(twin).ok());
        EXPECT_EQ(row_of(shallow, kWidth, 0), row_of(deep, kWidth, 0)) << scale;
        EXPECT_EQ(row_of(shallow, kWidth, 0)[4 * 5 + 1], 0);
    }
}

// The alpha levels are learnt from the prepared pixels, the unlit rows a mask leaves among them
// too, and are offered only to a pass that reads just those pixels.
TEST(SourcePreprocess, PreparedAlphaIsThatOfThePixelsPrepared) {
    constexpr int32_t kWidth = 3;
    constexpr int32_t kReach = 10;  // of kBlur
    std::vector<uint8_t> frame(4 * kWidth * 3, 200);
    PreparedSource whole;
    ASSERT_TRUE(whole.pre_process_RGB_cf(frame8_inputs(frame, kWidth, 3, 4 * kWidth, 0.5f)).ok());
    const AlphaLevels* levels = whole.prepared_alpha({0, kWidth}, kReach);
    ASSERT_NE(levels, nullptr);
    EXPECT_EQ(levels->level(), 100);
    EXPECT_FALSE(levels->unlit());
    EXPECT_EQ(whole.prepared_alpha({0, kWidth - 1}, kReach), nullptr);
    EXPECT_EQ(whole.prepared_alpha({1, kWidth}, kReach), nullptr);
    EXPECT_EQ(whole.prepared_alpha({0, kWidth}, kReach - 1), nullptr);

    const std::vector<int32_t> rows = {1, 0, 1};
    frame[4 * kWidth * 2] = 100;  // a second level, in a prepared row
    PassInputs in = frame8_inputs(frame, kWidth, 3, 4 * kWidth, 1.0f);
    in.region.row_mask = rows.data();
    PreparedSource masked;
    ASSERT_TRUE(masked.pre_process_RGB_cf(in).ok());
    ASSERT_NE(masked.prepared_alpha({0, kWidth}, kReach), nullptr);
    EXPECT_EQ(masked.prepared_alpha({0, kWidth}, kReach)->level(), AlphaLevels::kMixed);
    frame[4 * kWidth * 2] = 200;
    PreparedSource one_level;
    ASSERT_TRUE(one_level.pre_process_RGB_cf(in).ok());
    EXPECT_EQ(one_level.prepared_alpha({0, kWidth}, kReach)->level(), 200);
    EXPECT_TRUE(one_level.prepared_alpha({0, kWidth}, kReach)->unlit());

    // Nothing is prepared before the pre-processing, nor for a float frame.
    EXPECT_EQ(PreparedSource{}.prepared_alpha({0, kWidth}, kReach), nullptr);
}

TEST(SourcePreprocess, EightBitRowsShorterThanTheFrameAreRefused) {
    const std::vector<uint8_t> frame(4 * 4, 200);
    PreparedSource source;
    const EngineStatus status = source.pre_process_RGB_cf(frame8_inputs(frame, 2, 2, -8, 1.0f));
    EXPECT_EQ(status.code, engine_failure::kSourceGeometry);
    EXPECT_EQ(source.Src_Data_sh.get(), nullptr);
}

TEST(SourcePreprocess, RefusalsLeaveALeftoverAlone) {
    const std::vector<uint8_t> frame(4 * 4, 200);
    const PassInputs in = frame8_inputs(frame, 2, 2, 8, 1.0f);
    PreparedSource source;

    platform::refuse_allocation_after(0);
    const EngineStatus refused = source.pre_process_RGB_cf(in);
    platform::refuse_allocation_after(-1);
    EXPECT_EQ(refused.code, engine_failure::kSourceMemory);
    EXPECT_STREQ(refused.message, "(pre_process_RGB_cf): not enough memory for Src_Data_sh");
    EXPECT_EQ(source.Src_Data_sh.get(), nullptr);

    ASSERT_TRUE(source.pre_process_RGB_cf(in).ok());
    const uint16_t* const held = source.Src_Data_sh.get();
    const uint16_t first = held[0];
    const EngineStatus again = source.pre_process_RGB_cf(frame8_inputs(frame, 2, 2, 8, 0.1f));
    EXPECT_EQ(again.code, engine_failure::kSourceHeld);
    EXPECT_STREQ(again.message, "Src_Data_sh is not NULL before allocation at pre_process_RGB()");
    EXPECT_EQ(source.Src_Data_sh.get(), held);
    EXPECT_EQ(held[0], first);

    // A 16-bit stride shorter than a row would write past the buffer's last row.
    const std::vector<uint16_t> frame16(4 * 4, 1);
    PreparedSource deep;
    EXPECT_EQ(deep.pre_process_RGB_cf(frame16_inputs(frame16, 2, 2, 7, 1.0f)).code,
              engine_failure::kSourceGeometry);
    EXPECT_EQ(deep.Src_Data_sh.get(), nullptr);
}

}  // namespace
