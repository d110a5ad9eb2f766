#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

#include "engine/engine_failures.h"
#include "tests/engine/engine_fixtures.h"

namespace {

using engine_test::make_engine;

std::vector<uint16_t> row_of(const BokehEngine& engine, int32_t y) {
    const uint16_t* row = engine.Src_Data_sh + static_cast<size_t>(y) * engine.src16_stride;
    return {row, row + 4 * engine.width};
}

TEST(SourcePreprocess, EightBitPixelsScaledAlphaAndClearedPixels) {
    auto engine = make_engine();
    // Two rows of two pixels with two bytes of padding a row.
    const std::vector<uint8_t> frame = {
        255, 10, 20, 30, 0, 90, 90, 90, 7, 7,  //
        128, 1,  2,  3,  1, 4,  5,  6,  7, 7,  //
    };
    engine->src16_stride = 12345;
    engine->set_source_frame(0, 0, 2, 2, frame.data(), 10, nullptr, 0, 256);
    engine->alpha_scale = 1.0f;
    ASSERT_EQ(engine->pre_process_RGB_cf(), 1);
    EXPECT_EQ(engine->src16_stride, 8);
    EXPECT_EQ(row_of(*engine, 0), (std::vector<uint16_t>{255, 10, 20, 30, 0, 0, 0, 0}));
    EXPECT_EQ(row_of(*engine, 1), (std::vector<uint16_t>{128, 1, 2, 3, 1, 4, 5, 6}));
    engine->free_pattern_buffers();

    engine->alpha_scale = 0.5f;
    ASSERT_EQ(engine->pre_process_RGB_cf(), 1);
    // 127.5 rounds up; 0.5 rounds up to 1; 64 stays.
    EXPECT_EQ(row_of(*engine, 0)[0], 128);
    EXPECT_EQ(row_of(*engine, 1)[0], 64);
    EXPECT_EQ(row_of(*engine, 1)[4], 1);
    engine->free_pattern_buffers();
}

TEST(SourcePreprocess, SixteenBitKeepsItsStrideAndSkipsMaskedRows) {
    auto engine = make_engine();
    // Three rows of one pixel, stride 6 values.
    const std::vector<uint16_t> frame = {
        32768, 100, 200, 32768, 9, 9,  //
        16384, 1,   2,   3,     9, 9,  //
        300,   4,   5,   6,     9, 9,  //
    };
    const std::vector<int32_t> rows = {1, 0, 1};
    engine->set_source_frame(0, 0, 1, 3, nullptr, 0, frame.data(), 6, 32769);
    engine->set_region(nullptr, 0, rows.data());
    engine->alpha_scale = 0.3f;
    ASSERT_EQ(engine->pre_process_RGB_cf(), 1);
    EXPECT_EQ(engine->src16_stride, 6);
    // 32768 * 0.3f = 9830.4 -> 9830; 300 * 0.3f = 90.0 -> 90.
    EXPECT_EQ(row_of(*engine, 0), (std::vector<uint16_t>{9830, 100, 200, 32768}));
    EXPECT_EQ(row_of(*engine, 1), (std::vector<uint16_t>{0, 0, 0, 0}));
    EXPECT_EQ(row_of(*engine, 2), (std::vector<uint16_t>{90, 4, 5, 6}));
    engine->free_pattern_buffers();
}

TEST(SourcePreprocess, ValuesPastTheTopLevelAreCutToIt) {
    // Channel values a 16-bit frame should never hold, and an alpha scale above 1, would index
    // past the light and photon tables.
    auto engine = make_engine();
    const std::vector<uint16_t> frame = {40000, 65535, 32769, 32768};
    engine->set_source_frame(0, 0, 1, 1, nullptr, 0, frame.data(), 4, 32769);
    engine->alpha_scale = 1.0f;
    ASSERT_EQ(engine->pre_process_RGB_cf(), 1);
    EXPECT_EQ(row_of(*engine, 0), (std::vector<uint16_t>{32768, 32768, 32768, 32768}));
    engine->free_pattern_buffers();

    const std::vector<uint8_t> frame8 = {200, 255, 0, 1};
    engine->set_source_frame(0, 0, 1, 1, frame8.data(), 4, nullptr, 0, 256);
    engine->alpha_scale = 1.5f;
    ASSERT_EQ(engine->pre_process_RGB_cf(), 1);
    EXPECT_EQ(row_of(*engine, 0), (std::vector<uint16_t>{255, 255, 0, 1}));
    engine->free_pattern_buffers();
}

TEST(SourcePreprocess, EightBitRowsShorterThanTheFrameAreRefused) {
    auto engine = make_engine();
    const std::vector<uint8_t> frame(4 * 4, 200);
    engine->set_source_frame(0, 0, 2, 2, frame.data(), -8, nullptr, 0, 256);
    EXPECT_EQ(engine->pre_process_RGB_cf(), 0);
    EXPECT_EQ(engine->error_code, engine_failure::kSourceGeometry);
    EXPECT_EQ(engine->check_leaks(), 0);
}

TEST(SourcePreprocess, RefusalsLeaveALeftoverAlone) {
    auto engine = make_engine();
    const std::vector<uint8_t> frame(4 * 4, 200);
    engine->set_source_frame(0, 0, 2, 2, frame.data(), 8, nullptr, 0, 256);

    platform::refuse_allocation_after(0);
    EXPECT_EQ(engine->pre_process_RGB_cf(), 0);
    platform::refuse_allocation_after(-1);
    EXPECT_EQ(engine->error_code, engine_failure::kSourceMemory);
    EXPECT_STREQ(engine->message, "(pre_process_RGB_cf): not enough memory for Src_Data_sh");
    EXPECT_EQ(engine->check_leaks(), 0);

    ASSERT_EQ(engine->pre_process_RGB_cf(), 1);
    uint16_t* const held = engine->Src_Data_sh;
    const uint16_t first = held[0];
    engine->alpha_scale = 0.1f;
    EXPECT_EQ(engine->pre_process_RGB_cf(), 0);
    EXPECT_EQ(engine->error_code, engine_failure::kSourceHeld);
    EXPECT_STREQ(engine->message, "Src_Data_sh is not NULL before allocation at pre_process_RGB()");
    EXPECT_EQ(engine->Src_Data_sh, held);
    EXPECT_EQ(held[0], first);
    engine->free_pattern_buffers();

    // A 16-bit stride shorter than a row would write past the buffer's last row.
    const std::vector<uint16_t> frame16(4 * 4, 1);
    engine->set_source_frame(0, 0, 2, 2, nullptr, 0, frame16.data(), 7, 32769);
    EXPECT_EQ(engine->pre_process_RGB_cf(), 0);
    EXPECT_EQ(engine->error_code, engine_failure::kSourceGeometry);
    EXPECT_EQ(engine->check_leaks(), 0);
}

}  // namespace
