// The distance map read from the red channel of 8-bit and 16-bit layers with padded rows.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <vector>

#include "render/distance_map.h"

namespace {

using render::ChannelDepth;
using render::distance_of_red16;

TEST(DistanceMap, SixteenBitRedScalesToDistances) {
    EXPECT_EQ(distance_of_red16(32768), 255);
    EXPECT_EQ(distance_of_red16(128), 0);
    EXPECT_EQ(distance_of_red16(129), 1);
    EXPECT_EQ(distance_of_red16(16385), 128);
    EXPECT_EQ(distance_of_red16(0), 0);
    // Beyond white is white, never a wrapped byte.
    EXPECT_EQ(distance_of_red16(65535), 255);
}

TEST(DistanceMap, ReadsTheRedChannelOfPaddedRows) {
    // 3 x 2 pixels, rows padded by 5 bytes.
    const int rowbytes8 = 3 * 4 + 5;
    std::vector<uint8_t> layer8(2 * rowbytes8, 0xEE);
    for (int y = 0; y < 2; ++y) {
        for (int x = 0; x < 3; ++x) {
            uint8_t* p = &layer8[y * rowbytes8 + x * 4];
            p[0] = 255;
            p[1] = static_cast<uint8_t>(10 * (y * 3 + x));
            p[2] = p[3] = 1;
        }
    }
    std::vector<uint8_t> map(6, 0);
    render::read_distance_map(render::ConstPixelRows{layer8.data(), rowbytes8, ChannelDepth::k8}, 3,
                              2, map.data());
    EXPECT_EQ(map, (std::vector<uint8_t>{0, 10, 20, 30, 40, 50}));

    const int rowbytes16 = 3 * 8 + 6;
    std::vector<uint8_t> layer16(2 * rowbytes16, 0xEE);
    const uint16_t reds[6] = {0, 128, 129, 16385, 32768, 65535};
    for (int i = 0; i < 6; ++i) {
        uint16_t pixel[4] = {32768, reds[i], 5, 5};
        std::memcpy(&layer16[(i / 3) * rowbytes16 + (i % 3) * 8], pixel, sizeof pixel);
    }
    render::read_distance_map(render::ConstPixelRows{layer16.data(), rowbytes16, ChannelDepth::k16},
                              3, 2, map.data());
    EXPECT_EQ(map, (std::vector<uint8_t>{0, 0, 1, 128, 255, 255}));
}

// Large enough that its rows are shared among threads: every row, float reds included, lands in
// its own place.
TEST(DistanceMap, FloatRedsOfAFrameSharedAmongThreads) {
    constexpr int kWidth = 400;
    constexpr int kHeight = 300;
    const int rowbytes = kWidth * 16 + 4;
    std::vector<uint8_t> layer(static_cast<std::size_t>(kHeight) * rowbytes, 0xEE);
    std::vector<uint8_t> expected;
    for (int y = 0; y < kHeight; ++y) {
        for (int x = 0; x < kWidth; ++x) {
            // Below 0, across 0..1 and above white, NaN every so often.
            const float red = (x + y) % 97 == 0 ? NAN : float(x * 3 + y) / 1000.0f - 0.1f;
            const float pixel[4] = {1.0f, red, 0.5f, 0.5f};
            std::memcpy(&layer[static_cast<std::size_t>(y) * rowbytes + x * 16], pixel,
                        sizeof pixel);
            expected.push_back(render::distance_of_red_float(red));
        }
    }
    std::vector<uint8_t> map(expected.size(), 0);
    render::read_distance_map(render::ConstPixelRows{layer.data(), rowbytes, ChannelDepth::kFloat},
                              kWidth, kHeight, map.data());
    EXPECT_EQ(map, expected);
    EXPECT_EQ(render::distance_of_red_float(NAN), 0);
    EXPECT_EQ(render::distance_of_red_float(2.0f), 255);
}

}  // namespace
