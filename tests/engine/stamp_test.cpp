#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <vector>

#include "engine/engine_failures.h"
#include "engine/stamp.h"
#include "tests/engine/engine_fixtures.h"

namespace {

using engine_test::size_pattern;

constexpr uint16_t kHighQuality = 5;

PassInputs quantising(uint16_t quality, double blur, int32_t levels) {
    PassInputs in;
    in.quality = quality;
    in.blur = blur;
    in.source.levels = levels;
    return in;
}

// Runs new_pattern on one row of cells and answers the stamp in source order (the stamp itself
// is stored turned by 180 degrees).
std::vector<uint8_t> quantised(const PassInputs& in, const std::vector<float>& cells) {
    const auto w = static_cast<int32_t>(cells.size());
    Stamp stamp;
    EXPECT_TRUE(stamp.new_pattern(size_pattern(cells, w, 1, 1), in).ok());
    std::vector<uint8_t> out(stamp.newPattern.get(), stamp.newPattern.get() + w);
    std::reverse(out.begin(), out.end());
    return out;
}

// Makes `made` again, as the stamp whose stored rows are `stamp` (c planes of w x h, plane
// after plane).
void make_stamp(Stamp& made, const std::vector<uint8_t>& stamp, int32_t w, int32_t h,
                int32_t channels) {
    std::vector<float> cells(stamp.rbegin(), stamp.rend());
    // Planes are reversed one by one, so a whole-buffer reversal also swaps the plane order.
    const size_t plane = static_cast<size_t>(w) * h;
    for (int32_t p = 0; p < channels / 2; ++p) {
        std::swap_ranges(cells.begin() + p * plane, cells.begin() + (p + 1) * plane,
                         cells.begin() + (channels - 1 - p) * plane);
    }
    made.newPattern.reset();
    ASSERT_TRUE(made.new_pattern(size_pattern(cells, w, h, channels),
                                 quantising(kHighQuality, 1.0, kLevels8))
                    .ok());
}

struct QualityCase {
    uint16_t quality;
    double size;
    int32_t levels;
    std::vector<float> cells;
    std::vector<uint8_t> bytes;
};

TEST(Stamp, QualityRulesAtBothDepths) {
    const std::vector<float> full_cells = {0.0f, 100.0f, 100.4f, 254.4f, 254.6f, 300.0f};
    const std::vector<float> band_cells = {14.4f,  14.6f,  63.4f,  63.6f, 100.0f,
                                           190.4f, 190.6f, 239.4f, 239.6f};
    const std::vector<float> two_cells = {100.0f, 126.4f, 126.6f, 200.0f};
    const std::vector<QualityCase> cases = {
        // High keeps every level, clamped; 16-bit keeps middle values to multiples of 8.
        {5, 30.0, 256, full_cells, {0, 100, 100, 254, 255, 255}},
        {5, 30.0, 32769, full_cells, {0, 96, 96, 248, 255, 255}},
        // A faint cell of a 16-bit pass keeps the smallest coarse weight instead of vanishing.
        {5, 3.0, 32769, {0.4f, 0.6f, 3.0f, 7.4f, 7.6f, 8.0f}, {0, 8, 8, 8, 8, 8}},
        // Normal: bands at 64 and 191.
        {4, 30.0, 256, band_cells, {0, 0, 0, 64, 100, 190, 255, 255, 255}},
        {4, 30.0, 32769, band_cells, {0, 0, 0, 64, 96, 184, 255, 255, 255}},
        // Low: two levels at 127, never reduced.
        {3, 30.0, 256, two_cells, {0, 0, 255, 255}},
        {3, 30.0, 32769, two_cells, {0, 0, 255, 255}},
        // Auto (Quality): full, then bands at 15 and 240, then bands at 64 and 191.
        {2, 9.9, 256, band_cells, {14, 15, 63, 64, 100, 190, 191, 239, 240}},
        {2, 10.0, 256, band_cells, {0, 15, 63, 64, 100, 190, 191, 239, 255}},
        {2, 10.0, 32769, band_cells, {0, 8, 56, 64, 96, 184, 184, 232, 255}},
        {2, 50.0, 256, band_cells, {0, 0, 0, 64, 100, 190, 255, 255, 255}},
        // Auto (Speed): full, then bands at 64 and 191, then two levels.
        {1, 9.9, 32769, band_cells, {8, 8, 56, 64, 96, 184, 184, 232, 240}},
        {1, 49.9, 256, band_cells, {0, 0, 0, 64, 100, 190, 255, 255, 255}},
        {1, 50.0, 32769, band_cells, {0, 0, 0, 0, 0, 255, 255, 255, 255}},
    };
    for (const QualityCase& c : cases) {
        SCOPED_TRACE(testing::Message()
                     << "quality " << c.quality << " size " << c.size << " levels " << c.levels);
        EXPECT_EQ(quantised(quantising(c.quality, c.size, c.levels), c.cells), c.bytes);
    }
}

TEST(Stamp, SixteenBitFullRuleLeavesFewValues) {
    std::vector<float> ramp(256 * 4);
    for (size_t i = 0; i < ramp.size(); ++i) {
        ramp[i] = static_cast<float>(i) * 0.25f;
    }
    Stamp stamp;
    ASSERT_TRUE(
        stamp.new_pattern(size_pattern(ramp, 32, 32, 1), quantising(kHighQuality, 30.0, kLevels16))
            .ok());
    EXPECT_EQ(stamp.value_count, 33);
    EXPECT_EQ(stamp.stamp_values[31], 248);
    EXPECT_EQ(stamp.stamp_values[32], 255);
}

TEST(Stamp, StoredTurnedWithHalfSizes) {
    // 3 wide, 5 high: source cell (row, col) = row * 3 + col + 1.
    std::vector<float> cells(15);
    for (int i = 0; i < 15; ++i) {
        cells[i] = static_cast<float>(i + 1);
    }
    Stamp stamp;
    ASSERT_TRUE(
        stamp.new_pattern(size_pattern(cells, 3, 5, 1), quantising(kHighQuality, 5.0, kLevels8))
            .ok());
    EXPECT_EQ(stamp.width, 3);
    EXPECT_EQ(stamp.height, 5);
    EXPECT_EQ(stamp.half_width, 1);
    EXPECT_EQ(stamp.half_height, 2);
    EXPECT_EQ(stamp.newPattern[0], 15);
    EXPECT_EQ(stamp.newPattern[2], 13);
    EXPECT_EQ(stamp.newPattern[14], 1);
}

TEST(Stamp, SpansFullRunsAndHoles) {
    Stamp stamp;
    const std::vector<uint8_t> solid = {
        0, 0,   0,   0,   0,  //
        0, 255, 255, 255, 0,  //
        0, 0,   40,  0,   0,  //
    };
    make_stamp(stamp, solid, 5, 3, 1);
    EXPECT_EQ(stamp.span_first[0], -1);
    EXPECT_EQ(stamp.span_end[0], -1);
    EXPECT_EQ(stamp.full_first[0], -999);
    EXPECT_EQ(stamp.full_end[0], 999);
    EXPECT_EQ(stamp.span_first[1], 1);
    EXPECT_EQ(stamp.span_end[1], 4);
    EXPECT_EQ(stamp.full_first[1], 1);
    EXPECT_EQ(stamp.full_end[1], 4);
    EXPECT_EQ(stamp.span_first[2], 2);
    EXPECT_EQ(stamp.span_end[2], 3);
    EXPECT_EQ(stamp.full_first[2], -999);
    EXPECT_FALSE(stamp.has_holes);

    const std::vector<uint8_t> holed = {
        0, 255, 0, 255, 10,  //
    };
    make_stamp(stamp, holed, 5, 1, 1);
    EXPECT_EQ(stamp.span_first[0], 1);
    EXPECT_EQ(stamp.span_end[0], 5);
    EXPECT_EQ(stamp.full_first[0], 1);
    EXPECT_EQ(stamp.full_end[0], 4);
    EXPECT_TRUE(stamp.has_holes);
}

TEST(Stamp, ColourStampsJudgeCellsOnAllPlanes) {
    Stamp stamp;
    // Four planes of one 3-cell row: mask, R, G, B.
    const std::vector<uint8_t> planes = {
        0,  255, 255,  //
        0,  255, 255,  //
        0,  255, 200,  //
        30, 255, 255,  //
    };
    make_stamp(stamp, planes, 3, 1, 4);
    EXPECT_EQ(stamp.span_first[0], 0);
    EXPECT_EQ(stamp.span_end[0], 3);
    EXPECT_EQ(stamp.full_first[0], 1);
    EXPECT_EQ(stamp.full_end[0], 2);
    for (int32_t p = 0; p < 4; ++p) {
        EXPECT_EQ(stamp.stamp_planes[p], stamp.newPattern.get() + 3 * p);
    }
    EXPECT_FLOAT_EQ(stamp.channel_norm[0], 1.0f / 510.0f);
    EXPECT_FLOAT_EQ(stamp.channel_norm[2], 1.0f / 455.0f);
    EXPECT_FLOAT_EQ(stamp.channel_norm[3], 1.0f / 540.0f);
}

TEST(Stamp, ChannelNormsFollowThePlanesTheLoopReads) {
    Stamp stamp;
    // Grey: one norm for all four channels.
    make_stamp(stamp, {0, 100, 50, /**/ 0, 100, 50}, 3, 1, 2);
    for (int32_t j = 0; j < 4; ++j) {
        EXPECT_EQ(stamp.stamp_planes[j], stamp.newPattern.get());
        EXPECT_FLOAT_EQ(stamp.channel_norm[j], 1.0f / 150.0f);
    }

    // Three channels: the loop reads planes 0, 0, 1, 2, and each channel is normalised by the
    // plane that weights it.
    make_stamp(stamp, {10, 10, 10, /**/ 20, 20, 20, /**/ 40, 40, 40}, 3, 1, 3);
    EXPECT_EQ(stamp.stamp_planes[1], stamp.newPattern.get());
    EXPECT_EQ(stamp.stamp_planes[2], stamp.newPattern.get() + 3);
    EXPECT_EQ(stamp.stamp_planes[3], stamp.newPattern.get() + 6);
    EXPECT_FLOAT_EQ(stamp.channel_norm[0], 1.0f / 30.0f);
    EXPECT_FLOAT_EQ(stamp.channel_norm[1], 1.0f / 30.0f);
    EXPECT_FLOAT_EQ(stamp.channel_norm[2], 1.0f / 60.0f);
    EXPECT_FLOAT_EQ(stamp.channel_norm[3], 1.0f / 120.0f);

    // A plane without weight keeps the norm it had.
    make_stamp(stamp, {10, 10, 10, /**/ 20, 20, 20, /**/ 0, 0, 0, /**/ 5, 5, 5}, 3, 1, 4);
    EXPECT_FLOAT_EQ(stamp.channel_norm[2], 1.0f / 60.0f);
    EXPECT_FLOAT_EQ(stamp.channel_norm[3], 1.0f / 15.0f);
}

TEST(Stamp, ValueListAlwaysStartsWithZero) {
    Stamp stamp;
    make_stamp(stamp, {255, 100, 255, 100}, 1, 4, 1);
    ASSERT_EQ(stamp.value_count, 3);
    EXPECT_EQ(stamp.stamp_values[0], 0);
    EXPECT_EQ(stamp.stamp_values[1], 100);
    EXPECT_EQ(stamp.stamp_values[2], 255);
    for (int32_t v = 0; v < 256; ++v) {
        const int32_t expected = v == 0 ? 0 : v == 100 ? 1 : v == 255 ? 2 : -1;
        ASSERT_EQ(stamp.value_index[v], expected) << v;
    }
}

TEST(Stamp, RefusalsHoldNothing) {
    const SizePattern sized = size_pattern(std::vector<float>(9, 255.0f), 3, 3, 1);
    const PassInputs in = quantising(kHighQuality, 3.0, kLevels8);
    const int live_before = platform::live_allocations();
    {
        Stamp stamp;
        ASSERT_TRUE(stamp.new_pattern(sized, in).ok());
        const uint8_t* const held = stamp.newPattern.get();
        platform::refuse_allocation_after(-1);
        const EngineStatus again = stamp.new_pattern(sized, in);
        EXPECT_EQ(platform::refuse_allocation_after(-1), 0);
        EXPECT_EQ(again.code, engine_failure::kStampHeld);
        EXPECT_STREQ(again.message, "newPattern is not NULL before allocation at new_pattern()");
        EXPECT_EQ(stamp.newPattern.get(), held);
    }

    Stamp stamp;
    platform::refuse_allocation_after(0);
    const EngineStatus refused = stamp.new_pattern(sized, in);
    platform::refuse_allocation_after(-1);
    EXPECT_EQ(refused.code, engine_failure::kStampMemory);
    EXPECT_STREQ(refused.message, "(new_pattern): not enough memory for newPattern");
    EXPECT_FALSE(stamp.newPattern);

    // The span tables hold 1024 rows; a taller stamp is refused, not written past them.
    EXPECT_EQ(
        stamp.new_pattern(size_pattern(std::vector<float>(1025, 255.0f), 1, 1025, 1), in).code,
        engine_failure::kStampTooTall);
    EXPECT_FALSE(stamp.newPattern);
    {
        Stamp tallest;
        EXPECT_TRUE(
            tallest.new_pattern(size_pattern(std::vector<float>(1024, 255.0f), 1, 1024, 1), in)
                .ok());
        EXPECT_EQ(tallest.span_first[1023], 0);
    }
    EXPECT_EQ(platform::live_allocations(), live_before);
}

}  // namespace
