#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <vector>

#include "engine/engine_failures.h"
#include "tests/engine/engine_fixtures.h"

namespace {

using engine_test::make_engine;

// Runs new_pattern on one row of cells and answers the stamp in source order (the stamp itself
// is stored turned by 180 degrees).
std::vector<uint8_t> quantised(BokehEngine& engine, const std::vector<float>& cells) {
    const auto w = static_cast<int32_t>(cells.size());
    engine_test::put_size_pattern(engine, cells, w, 1, 1);
    EXPECT_EQ(engine.new_pattern(0), 1);
    std::vector<uint8_t> out(engine.newPattern, engine.newPattern + w);
    std::reverse(out.begin(), out.end());
    engine_test::release_all(engine);
    return out;
}

// Makes the stamp whose stored rows are `stamp` (c planes of w x h, plane after plane).
void make_stamp(BokehEngine& engine, const std::vector<uint8_t>& stamp, int32_t w, int32_t h,
                int32_t channels) {
    std::vector<float> cells(stamp.rbegin(), stamp.rend());
    // Planes are reversed one by one, so a whole-buffer reversal also swaps the plane order.
    const size_t plane = static_cast<size_t>(w) * h;
    for (int32_t p = 0; p < channels / 2; ++p) {
        std::swap_ranges(cells.begin() + p * plane, cells.begin() + (p + 1) * plane,
                         cells.begin() + (channels - 1 - p) * plane);
    }
    engine_test::put_size_pattern(engine, cells, w, h, channels);
    engine.quality = 5;
    ASSERT_EQ(engine.new_pattern(0), 1);
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
    auto engine = make_engine();
    for (const QualityCase& c : cases) {
        SCOPED_TRACE(testing::Message()
                     << "quality " << c.quality << " size " << c.size << " levels " << c.levels);
        engine->quality = c.quality;
        engine->pattern_size = c.size;
        engine->levels = c.levels;
        EXPECT_EQ(quantised(*engine, c.cells), c.bytes);
    }
}

TEST(Stamp, SixteenBitFullRuleLeavesFewValues) {
    auto engine = make_engine();
    std::vector<float> ramp(256 * 4);
    for (size_t i = 0; i < ramp.size(); ++i) {
        ramp[i] = static_cast<float>(i) * 0.25f;
    }
    engine->quality = 5;
    engine->levels = 32769;
    engine_test::put_size_pattern(*engine, ramp, 32, 32, 1);
    ASSERT_EQ(engine->new_pattern(0), 1);
    EXPECT_EQ(engine->value_count, 33);
    EXPECT_EQ(engine->stamp_values[31], 248);
    EXPECT_EQ(engine->stamp_values[32], 255);
    engine_test::release_all(*engine);
}

TEST(Stamp, StoredTurnedWithHalfSizes) {
    auto engine = make_engine();
    engine->quality = 5;
    engine->levels = 256;
    // 3 wide, 5 high: source cell (row, col) = row * 3 + col + 1.
    std::vector<float> cells(15);
    for (int i = 0; i < 15; ++i) {
        cells[i] = static_cast<float>(i + 1);
    }
    engine_test::put_size_pattern(*engine, cells, 3, 5, 1);
    ASSERT_EQ(engine->new_pattern(0), 1);
    EXPECT_EQ(engine->stamp_width, 3);
    EXPECT_EQ(engine->stamp_height, 5);
    EXPECT_EQ(engine->stamp_half_width, 1);
    EXPECT_EQ(engine->stamp_half_height, 2);
    EXPECT_EQ(engine->newPattern[0], 15);
    EXPECT_EQ(engine->newPattern[2], 13);
    EXPECT_EQ(engine->newPattern[14], 1);
    engine_test::release_all(*engine);
}

TEST(Stamp, SpansFullRunsAndHoles) {
    auto engine = make_engine();
    const std::vector<uint8_t> solid = {
        0, 0,   0,   0,   0,  //
        0, 255, 255, 255, 0,  //
        0, 0,   40,  0,   0,  //
    };
    make_stamp(*engine, solid, 5, 3, 1);
    EXPECT_EQ(engine->span_first[0], -1);
    EXPECT_EQ(engine->span_end[0], -1);
    EXPECT_EQ(engine->full_first[0], -999);
    EXPECT_EQ(engine->full_end[0], 999);
    EXPECT_EQ(engine->span_first[1], 1);
    EXPECT_EQ(engine->span_end[1], 4);
    EXPECT_EQ(engine->full_first[1], 1);
    EXPECT_EQ(engine->full_end[1], 4);
    EXPECT_EQ(engine->span_first[2], 2);
    EXPECT_EQ(engine->span_end[2], 3);
    EXPECT_EQ(engine->full_first[2], -999);
    EXPECT_EQ(engine->has_holes, 0);
    engine_test::release_all(*engine);

    const std::vector<uint8_t> holed = {
        0, 255, 0, 255, 10,  //
    };
    make_stamp(*engine, holed, 5, 1, 1);
    EXPECT_EQ(engine->span_first[0], 1);
    EXPECT_EQ(engine->span_end[0], 5);
    EXPECT_EQ(engine->full_first[0], 1);
    EXPECT_EQ(engine->full_end[0], 4);
    EXPECT_EQ(engine->has_holes, 1);
    engine_test::release_all(*engine);
}

TEST(Stamp, ColourStampsJudgeCellsOnAllPlanes) {
    auto engine = make_engine();
    // Four planes of one 3-cell row: mask, R, G, B.
    const std::vector<uint8_t> planes = {
        0,  255, 255,  //
        0,  255, 255,  //
        0,  255, 200,  //
        30, 255, 255,  //
    };
    make_stamp(*engine, planes, 3, 1, 4);
    EXPECT_EQ(engine->span_first[0], 0);
    EXPECT_EQ(engine->span_end[0], 3);
    EXPECT_EQ(engine->full_first[0], 1);
    EXPECT_EQ(engine->full_end[0], 2);
    for (int32_t p = 0; p < 4; ++p) {
        EXPECT_EQ(engine->stamp_planes[p], engine->newPattern + 3 * p);
    }
    EXPECT_FLOAT_EQ(engine->channel_norm[0], 1.0f / 510.0f);
    EXPECT_FLOAT_EQ(engine->channel_norm[2], 1.0f / 455.0f);
    EXPECT_FLOAT_EQ(engine->channel_norm[3], 1.0f / 540.0f);
    engine_test::release_all(*engine);
}

TEST(Stamp, ChannelNormsFollowThePlanesTheLoopReads) {
    auto engine = make_engine();
    // Grey: one norm for all four channels.
    make_stamp(*engine, {0, 100, 50, /**/ 0, 100, 50}, 3, 1, 2);
    for (int32_t j = 0; j < 4; ++j) {
        EXPECT_EQ(engine->stamp_planes[j], engine->newPattern);
        EXPECT_FLOAT_EQ(engine->channel_norm[j], 1.0f / 150.0f);
    }
    engine_test::release_all(*engine);

    // Three channels: the loop reads planes 0, 0, 1, 2, and each channel is normalised by the
    // plane that weights it.
    make_stamp(*engine, {10, 10, 10, /**/ 20, 20, 20, /**/ 40, 40, 40}, 3, 1, 3);
    EXPECT_EQ(engine->stamp_planes[1], engine->newPattern);
    EXPECT_EQ(engine->stamp_planes[2], engine->newPattern + 3);
    EXPECT_EQ(engine->stamp_planes[3], engine->newPattern + 6);
    EXPECT_FLOAT_EQ(engine->channel_norm[0], 1.0f / 30.0f);
    EXPECT_FLOAT_EQ(engine->channel_norm[1], 1.0f / 30.0f);
    EXPECT_FLOAT_EQ(engine->channel_norm[2], 1.0f / 60.0f);
    EXPECT_FLOAT_EQ(engine->channel_norm[3], 1.0f / 120.0f);
    engine_test::release_all(*engine);

    // A plane without weight keeps the norm it had.
    make_stamp(*engine, {10, 10, 10, /**/ 20, 20, 20, /**/ 0, 0, 0, /**/ 5, 5, 5}, 3, 1, 4);
    EXPECT_FLOAT_EQ(engine->channel_norm[2], 1.0f / 60.0f);
    EXPECT_FLOAT_EQ(engine->channel_norm[3], 1.0f / 15.0f);
    engine_test::release_all(*engine);
}

TEST(Stamp, ValueListAlwaysStartsWithZero) {
    auto engine = make_engine();
    make_stamp(*engine, {255, 100, 255, 100}, 1, 4, 1);
    ASSERT_EQ(engine->value_count, 3);
    EXPECT_EQ(engine->stamp_values[0], 0);
    EXPECT_EQ(engine->stamp_values[1], 100);
    EXPECT_EQ(engine->stamp_values[2], 255);
    for (int32_t v = 0; v < 256; ++v) {
        const int32_t expected = v == 0 ? 0 : v == 100 ? 1 : v == 255 ? 2 : -1;
        ASSERT_EQ(engine->value_index[v], expected) << v;
    }
    engine_test::release_all(*engine);
}

TEST(Stamp, RefusalsHoldNothing) {
    auto engine = make_engine();
    engine_test::put_size_pattern(*engine, std::vector<float>(9, 255.0f), 3, 3, 1);

    engine->newPattern = platform::allocate_array<uint8_t>(1);
    uint8_t* const leftover = engine->newPattern;
    platform::refuse_allocation_after(-1);
    EXPECT_EQ(engine->new_pattern(0), 0);
    EXPECT_EQ(platform::refuse_allocation_after(-1), 0);
    EXPECT_EQ(engine->error_code, engine_failure::kStampHeld);
    EXPECT_STREQ(engine->message, "newPattern is not NULL before allocation at new_pattern()");
    EXPECT_EQ(engine->newPattern, leftover);
    engine->free_pattern_buffers();

    platform::refuse_allocation_after(0);
    EXPECT_EQ(engine->new_pattern(0), 0);
    platform::refuse_allocation_after(-1);
    EXPECT_EQ(engine->error_code, engine_failure::kStampMemory);
    EXPECT_STREQ(engine->message, "(new_pattern): not enough memory for newPattern");
    EXPECT_EQ(engine->newPattern, nullptr);

    // The span tables hold 1024 rows; a taller stamp is refused, not written past them.
    engine_test::put_size_pattern(*engine, std::vector<float>(1025, 255.0f), 1, 1025, 1);
    EXPECT_EQ(engine->new_pattern(0), 0);
    EXPECT_EQ(engine->error_code, engine_failure::kStampTooTall);
    EXPECT_EQ(engine->newPattern, nullptr);
    engine_test::put_size_pattern(*engine, std::vector<float>(1024, 255.0f), 1, 1024, 1);
    EXPECT_EQ(engine->new_pattern(0), 1);
    EXPECT_EQ(engine->span_first[1023], 0);
    engine_test::release_all(*engine);
    EXPECT_EQ(engine->check_leaks(), 0);
}

}  // namespace
