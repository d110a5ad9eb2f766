#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

#include "engine/engine_failures.h"
#include "tests/engine/engine_fixtures.h"

namespace {

using engine_test::iris_of;
using engine_test::pack_iris;

std::vector<uint8_t> packed(const IrisPattern& pattern) {
    const size_t bytes =
        static_cast<size_t>(pattern.width()) * pattern.height() * pattern.channels();
    return {pattern.Pattern(), pattern.Pattern() + bytes};
}

// Packs and measures `image` of `width` x `height` pixels.
IrisPattern packed_image(const std::vector<uint8_t>& image, int32_t width, int32_t height,
                         int32_t bytes_per_pixel, int32_t rowbytes, bool alpha_first = false) {
    IrisPattern pattern;
    EXPECT_TRUE(pattern
                    .pack_pattern_alpha(
                        iris_of(image, width, height, bytes_per_pixel, rowbytes, alpha_first))
                    .ok());
    pattern.measure_pattern();
    return pattern;
}

TEST(PatternPacking, ColourBytesInBothOrders) {
    const std::vector<uint8_t> argb = {10, 200, 100, 50};
    const IrisPattern from_argb = pack_iris(argb, 1, 4, true);
    EXPECT_EQ(from_argb.channels(), 4);
    EXPECT_EQ(packed(from_argb), (std::vector<uint8_t>{200, 200, 100, 50}));

    const std::vector<uint8_t> bgra = {50, 100, 200, 10};
    EXPECT_EQ(packed(pack_iris(bgra, 1, 4)), (std::vector<uint8_t>{200, 200, 100, 50}));

    const std::vector<uint8_t> bgr = {50, 100, 200};
    EXPECT_EQ(packed(pack_iris(bgr, 1, 3)), (std::vector<uint8_t>{200, 200, 100, 50}));

    const std::vector<uint8_t> rgb = {200, 100, 50};
    EXPECT_EQ(packed(pack_iris(rgb, 1, 3, true)), (std::vector<uint8_t>{200, 200, 100, 50}));
}

TEST(PatternPacking, GreyShapesCollapseToMaskAndGrey) {
    const std::vector<uint8_t> grey = {0, 7, 9, 0};
    IrisPattern pattern;
    ASSERT_TRUE(pattern.pack_pattern_alpha(iris_of(grey, 2, 2, 1, 2)).ok());
    EXPECT_EQ(pattern.channels(), 2);
    pattern.measure_pattern();
    EXPECT_EQ(pattern.channels(), 2);
    EXPECT_EQ(packed(pattern), (std::vector<uint8_t>{0, 0, 7, 7, 9, 9, 0, 0}));

    // Equal R, G, B everywhere, with a leading byte that is ignored.
    const std::vector<uint8_t> argb = {1, 40, 40, 40, 2, 0, 0, 0, 3, 90, 90, 90, 4, 5, 5, 5};
    const IrisPattern collapsed = packed_image(argb, 2, 2, 4, 8, true);
    EXPECT_EQ(collapsed.channels(), 2);
    EXPECT_EQ(packed(collapsed), (std::vector<uint8_t>{40, 40, 0, 0, 90, 90, 5, 5}));
}

TEST(PatternPacking, OneColouredPixelKeepsAllChannels) {
    std::vector<uint8_t> bgr = engine_test::disc_image(9, 3, 180);
    bgr[(4 * 9 + 4) * 3] = 181;  // blue of the centre pixel
    EXPECT_EQ(pack_iris(bgr, 9, 3).channels(), 4);
}

// Pixels are checked for grey in batches: a single coloured pixel in a later batch, or the last
// pixel of a count that does not fill its batch, still keeps the colour.
TEST(PatternPacking, ALateColouredPixelKeepsAllChannels) {
    constexpr int32_t kSide = 37;  // 1369 pixels: five full batches and part of a sixth
    for (const int32_t coloured : {300, kSide * kSide - 1}) {
        SCOPED_TRACE(coloured);
        std::vector<uint8_t> bgr = engine_test::disc_image(kSide, 3, 120);
        bgr[static_cast<size_t>(coloured) * 3 + 1] = 121;  // green
        EXPECT_EQ(pack_iris(bgr, kSide, 3).channels(), 4);
    }
    EXPECT_EQ(pack_iris(engine_test::disc_image(kSide, 3, 120), kSide, 3).channels(), 2);
}

// Two bytes a pixel: mask and two colour bytes, collapsed when both are the mask.
TEST(PatternPacking, TwoBytePixelsInBothOrders) {
    const std::vector<uint8_t> two = {30, 90, 0, 0};
    EXPECT_EQ(packed(packed_image(two, 2, 1, 2, 4)), (std::vector<uint8_t>{90, 90, 30, 0, 0, 0}));
    EXPECT_EQ(packed(packed_image(two, 2, 1, 2, 4, true)),
              (std::vector<uint8_t>{30, 30, 90, 0, 0, 0}));
    const std::vector<uint8_t> grey = {60, 60, 0, 0};
    const IrisPattern collapsed = packed_image(grey, 2, 1, 2, 4);
    EXPECT_EQ(collapsed.channels(), 2);
    EXPECT_EQ(packed(collapsed), (std::vector<uint8_t>{60, 60, 0, 0}));
    EXPECT_EQ(collapsed.row_first()[0], 0);
    EXPECT_EQ(collapsed.row_last()[0], 0);
}

TEST(PatternPacking, RowExtentsCoverEveryChannel) {
    // 4 columns, 3 rows, B, G, R: row 0 empty, row 1 lit only in red at column 1 and blue at
    // column 2, row 2 lit in green at column 0 and 3.
    std::vector<uint8_t> bgr(4 * 3 * 3, 0);
    auto at = [&](int y, int x, int byte) -> uint8_t& { return bgr[(y * 4 + x) * 3 + byte]; };
    at(1, 1, 2) = 60;
    at(1, 2, 0) = 70;
    at(2, 0, 1) = 80;
    at(2, 3, 1) = 90;
    const IrisPattern pattern = packed_image(bgr, 4, 3, 3, 12);
    EXPECT_EQ(pattern.row_first()[0], 999999);
    EXPECT_EQ(pattern.row_last()[0], -999999);
    EXPECT_EQ(pattern.row_first()[1], 1);
    EXPECT_EQ(pattern.row_last()[1], 2);
    EXPECT_EQ(pattern.row_first()[2], 0);
    EXPECT_EQ(pattern.row_last()[2], 3);
}

TEST(PatternPacking, RowStrideIsHonoured) {
    // Two rows of one pixel each, with three padding bytes after every row.
    const std::vector<uint8_t> padded = {11, 0, 0, 0, 22, 0, 0, 0};
    IrisPattern pattern;
    ASSERT_TRUE(pattern.pack_pattern_alpha(iris_of(padded, 1, 2, 1, 4)).ok());
    EXPECT_EQ(packed(pattern), (std::vector<uint8_t>{11, 11, 22, 22}));
}

TEST(PatternPacking, RefusalsLeaveNothingHeld) {
    const std::vector<uint8_t> bgr = engine_test::disc_image(5, 3, 255);
    const int live_before = platform::live_allocations();
    for (int refused = 0; refused < 3; ++refused) {
        SCOPED_TRACE(refused);
        IrisPattern pattern;
        platform::refuse_allocation_after(refused);
        const EngineStatus status = pattern.pack_pattern_alpha(iris_of(bgr, 5, 5, 3, 15));
        platform::refuse_allocation_after(-1);
        EXPECT_EQ(status.code, engine_failure::kPatternMemory);
        EXPECT_STREQ(status.message, "(pack_pattern_alpha): not enough memory for Pattern[]");
        EXPECT_EQ(pattern.Pattern(), nullptr);
        EXPECT_EQ(platform::live_allocations(), live_before);
    }
    // An image without pixels is refused before anything is read or allocated, and a packing
    // that is refused drops what the pattern held before.
    IrisPattern pattern = pack_iris(bgr, 5, 3);
    EXPECT_EQ(pattern.pack_pattern_alpha(iris_of(bgr, 0, 5, 3, 15)).code,
              engine_failure::kIrisGeometry);
    EXPECT_EQ(pattern.pack_pattern_alpha(iris_of(bgr, 5, 5, 3, 14)).code,
              engine_failure::kIrisGeometry);
    EXPECT_EQ(pattern.Pattern(), nullptr);
    EXPECT_EQ(platform::live_allocations(), live_before);
}

}  // namespace
