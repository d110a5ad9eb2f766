// The distance map read from the red channel of 8-bit and 16-bit layers with padded rows.
#include <gtest/gtest.h>

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

}  // namespace
