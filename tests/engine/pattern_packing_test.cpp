#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

#include "engine/engine_failures.h"
#include "tests/engine/engine_fixtures.h"

namespace {

using engine_test::make_engine;

std::vector<uint8_t> packed(const BokehEngine& engine) {
    const size_t bytes =
        static_cast<size_t>(engine.iris_width) * engine.iris_height * engine.pattern_channels;
    return {engine.Pattern, engine.Pattern + bytes};
}

TEST(PatternPacking, ColourBytesInBothOrders) {
    auto engine = make_engine();
    const std::vector<uint8_t> argb = {10, 200, 100, 50};
    engine_test::pack_iris(*engine, argb, 1, 4, 1);
    EXPECT_EQ(engine->pattern_channels, 4);
    EXPECT_EQ(packed(*engine), (std::vector<uint8_t>{200, 200, 100, 50}));

    engine_test::release_all(*engine);
    const std::vector<uint8_t> bgra = {50, 100, 200, 10};
    engine_test::pack_iris(*engine, bgra, 1, 4, 0);
    EXPECT_EQ(packed(*engine), (std::vector<uint8_t>{200, 200, 100, 50}));

    engine_test::release_all(*engine);
    const std::vector<uint8_t> bgr = {50, 100, 200};
    engine_test::pack_iris(*engine, bgr, 1, 3, 0);
    EXPECT_EQ(packed(*engine), (std::vector<uint8_t>{200, 200, 100, 50}));

    engine_test::release_all(*engine);
    const std::vector<uint8_t> rgb = {200, 100, 50};
    engine_test::pack_iris(*engine, rgb, 1, 3, 1);
    EXPECT_EQ(packed(*engine), (std::vector<uint8_t>{200, 200, 100, 50}));
    engine_test::release_all(*engine);
}

TEST(PatternPacking, GreyShapesCollapseToMaskAndGrey) {
    auto engine = make_engine();
    const std::vector<uint8_t> grey = {0, 7, 9, 0};
    engine->set_iris_image(0, 1, 2, 2, grey.data(), 2);
    engine->pack_pattern_alpha();
    EXPECT_EQ(engine->pattern_channels, 2);
    engine->measure_pattern();
    EXPECT_EQ(engine->pattern_channels, 2);
    EXPECT_EQ(packed(*engine), (std::vector<uint8_t>{0, 0, 7, 7, 9, 9, 0, 0}));
    engine_test::release_all(*engine);

    // Equal R, G, B everywhere, with a leading byte that is ignored.
    const std::vector<uint8_t> argb = {1, 40, 40, 40, 2, 0, 0, 0, 3, 90, 90, 90, 4, 5, 5, 5};
    engine->set_iris_image(1, 4, 2, 2, argb.data(), 8);
    engine->pack_pattern_alpha();
    engine->measure_pattern();
    EXPECT_EQ(engine->pattern_channels, 2);
    EXPECT_EQ(packed(*engine), (std::vector<uint8_t>{40, 40, 0, 0, 90, 90, 5, 5}));
    engine_test::release_all(*engine);
}

TEST(PatternPacking, OneColouredPixelKeepsAllChannels) {
    auto engine = make_engine();
    std::vector<uint8_t> bgr = engine_test::disc_image(9, 3, 180);
    bgr[(4 * 9 + 4) * 3] = 181;  // blue of the centre pixel
    engine_test::pack_iris(*engine, bgr, 9, 3);
    EXPECT_EQ(engine->pattern_channels, 4);
    engine_test::release_all(*engine);
}

TEST(PatternPacking, RowExtentsCoverEveryChannel) {
    auto engine = make_engine();
    // 4 columns, 3 rows, B, G, R: row 0 empty, row 1 lit only in red at column 1 and blue at
    // column 2, row 2 lit in green at column 0 and 3.
    std::vector<uint8_t> bgr(4 * 3 * 3, 0);
    auto at = [&](int y, int x, int byte) -> uint8_t& { return bgr[(y * 4 + x) * 3 + byte]; };
    at(1, 1, 2) = 60;
    at(1, 2, 0) = 70;
    at(2, 0, 1) = 80;
    at(2, 3, 1) = 90;
    engine->set_iris_image(0, 3, 4, 3, bgr.data(), 12);
    engine->pack_pattern_alpha();
    engine->measure_pattern();
    EXPECT_EQ(engine->row_first[0], 999999);
    EXPECT_EQ(engine->row_last[0], -999999);
    EXPECT_EQ(engine->row_first[1], 1);
    EXPECT_EQ(engine->row_last[1], 2);
    EXPECT_EQ(engine->row_first[2], 0);
    EXPECT_EQ(engine->row_last[2], 3);
    engine_test::release_all(*engine);
}

TEST(PatternPacking, RowStrideIsHonoured) {
    auto engine = make_engine();
    // Two rows of one pixel each, with three padding bytes after every row.
    const std::vector<uint8_t> padded = {11, 0, 0, 0, 22, 0, 0, 0};
    engine->set_iris_image(0, 1, 1, 2, padded.data(), 4);
    engine->pack_pattern_alpha();
    EXPECT_EQ(packed(*engine), (std::vector<uint8_t>{11, 11, 22, 22}));
    engine_test::release_all(*engine);
}

TEST(PatternPacking, RefusalsLeaveNothingHeld) {
    auto engine = make_engine();
    const std::vector<uint8_t> bgr = engine_test::disc_image(5, 3, 255);
    for (int refused = 0; refused < 3; ++refused) {
        SCOPED_TRACE(refused);
        engine->error_code = 0;
        platform::refuse_allocation_after(refused);
        engine->set_iris_image(0, 3, 5, 5, bgr.data(), 15);
        engine->pack_pattern_alpha();
        platform::refuse_allocation_after(-1);
        EXPECT_EQ(engine->error_code, engine_failure::kPatternMemory);
        EXPECT_STREQ(engine->message, "(pack_pattern_alpha): not enough memory for Pattern[]");
        EXPECT_EQ(engine->check_leaks(), 0);
    }
    // An image without pixels is refused before anything is read or allocated.
    engine->set_iris_image(0, 3, 0, 5, bgr.data(), 15);
    engine->pack_pattern_alpha();
    EXPECT_EQ(engine->error_code, engine_failure::kIrisGeometry);
    engine->set_iris_image(0, 3, 5, 5, bgr.data(), 14);
    engine->pack_pattern_alpha();
    EXPECT_EQ(engine->error_code, engine_failure::kIrisGeometry);
    EXPECT_EQ(engine->check_leaks(), 0);
}

}  // namespace
