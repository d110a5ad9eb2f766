// Accumulated light into output pixels: normalisation, rounding, alpha, brightness and depth.
#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "engine/light_curve.h"
#include "render/write_back.h"

namespace {

using render::ChannelDepth;
using render::WriteBackSettings;

constexpr double kHardness = 1.5;

// One pixel of 8-bit input (rows padded by 3 bytes) written back; answers the output pixel.
std::vector<int> write_one(const float sums[4], float weight, const uint8_t source[4],
                           const WriteBackSettings& settings) {
    std::vector<uint8_t> input(7, 0xAB), output(7, 0xAB);
    std::memcpy(input.data(), source, 4);
    render::write_back(sums, &weight, 1, 1,
                       render::ConstPixelRows{input.data(), 7, ChannelDepth::k8},
                       render::PixelRows{output.data(), 7, ChannelDepth::k8}, settings);
    EXPECT_EQ(output[4], 0xAB) << "padding written";
    return {output[0], output[1], output[2], output[3]};
}

int rounded(double value, int max) {
    const int v = static_cast<int>(value + 0.5);
    return v < 0 ? 0 : v > max ? max : v;
}

TEST(WriteBack, PixelWithoutLightIsBlackWithItsOwnAlpha) {
    WriteBackSettings settings;
    settings.hardness = kHardness;
    settings.mid_light = 0.62f;
    const float sums[4] = {0, 0, 0, 0};
    const uint8_t source[4] = {77, 200, 100, 50};
    EXPECT_EQ(write_one(sums, 0.0f, source, settings), (std::vector<int>{77, 0, 0, 0}));
}

TEST(WriteBack, LightIsNormalisedByItsWeightAndConverted) {
    WriteBackSettings settings;
    settings.hardness = kHardness;
    settings.mid_light = 0.5f;
    const float sums[4] = {1.0f, 0.3f, 2.0f, 40.0f};
    const float weight_sum = 0.25f;
    const uint8_t source[4] = {255, 0, 0, 0};
    const float weight = settings.mid_light / weight_sum;
    std::vector<int> expected = {255};
    for (int k = 1; k < 4; ++k) {
        expected.push_back(rounded(Light_to_RGB(weight * sums[k], 0, kHardness, 1.0), 255));
    }
    EXPECT_EQ(write_one(sums, weight_sum, source, settings), expected);
}

TEST(WriteBack, AlphaBokehScalesByTheAlphaValueAndBrightness) {
    WriteBackSettings settings;
    settings.hardness = 1.0;
    settings.mid_light = 1.0f;
    settings.alpha_bokeh = true;
    settings.alpha_value = 0.3f;
    const uint8_t source[4] = {10, 0, 0, 0};
    const float light = RGB_to_Light8(60, 1.0, 1.0, 1.0);
    const float sums[4] = {light, 0, 0, 0};
    const int at_brightness_1 = write_one(sums, 1.0f, source, settings)[0];
    EXPECT_EQ(at_brightness_1, rounded(60.0 * (1.0f / 0.3f), 255));
    settings.brightness = 2.0;
    EXPECT_EQ(
        write_one(sums, 1.0f, source, settings)[0],
        rounded(Light_to_RGB(light * static_cast<float>(1.0 / 2.0), 0, 1.0, 1.0) * (1.0f / 0.3f),
                255));
    const float bright[4] = {RGB_to_Light8(200, 1.0, 1.0, 1.0), 0, 0, 0};
    settings.brightness = 1.0;
    EXPECT_EQ(write_one(bright, 1.0f, source, settings)[0], 255);
}

TEST(WriteBack, SixteenBitWorldsGetSixteenBitLevels) {
    WriteBackSettings settings;
    settings.hardness = 1.0;
    settings.mid_light = 1.0f;
    const float light = RGB_to_Light(20000, 1.0, 1.0, 1.0);
    const float sums[4] = {0.0f, light, 0.0f, 1.0e9f};
    const float weight = 1.0f;
    const uint16_t source[4] = {40000, 0, 0, 0};
    uint16_t input[4];
    uint16_t output[4];
    std::memcpy(input, source, sizeof input);
    render::write_back(
        sums, &weight, 1, 1,
        render::ConstPixelRows{reinterpret_cast<uint8_t*>(input), 8, ChannelDepth::k16},
        render::PixelRows{reinterpret_cast<uint8_t*>(output), 8, ChannelDepth::k16}, settings);
    EXPECT_EQ(output[0], 32768);  // the input's alpha, clamped to white
    EXPECT_EQ(output[1], 20000);
    EXPECT_EQ(output[2], 0);
    EXPECT_EQ(output[3], 32768);
}

}  // namespace
