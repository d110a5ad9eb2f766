// Accumulated light into output pixels: normalisation, rounding, alpha, brightness and depth.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <limits>
#include <random>
#include <vector>

#include "engine/light_curve.h"
#include "render/light_levels.h"
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

// The 8-bit level of normalised `light` at kHardness.
int level8(float light) {
    return rounded(Light_to_RGB(light, 0, kHardness, 1.0), 255);
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
        expected.push_back(level8(weight * sums[k]));
    }
    EXPECT_EQ(write_one(sums, weight_sum, source, settings), expected);
}

// Every pixel of a region of several rows holds the same light under a weight of its own, so each
// pixel's levels tell which weight it was normalised by. Three columns and two rows: reading the
// weight by column, by row or across instead of down gives some pixel another pixel's weight.
TEST(WriteBack, EachPixelOfARegionIsNormalisedByItsOwnWeight) {
    constexpr int32_t kWidth = 3;
    constexpr int32_t kHeight = 2;
    constexpr int kPixels = kWidth * kHeight;
    constexpr std::ptrdiff_t kRowBytes = kWidth * 4 + 5;  // padded rows, as a world's may be
    WriteBackSettings settings;
    settings.hardness = kHardness;
    settings.mid_light = 0.5f;
    const float pixel_sums[4] = {0.0f, RGB_to_Light8(40, kHardness, 1.0, 1.0),
                                 RGB_to_Light8(90, kHardness, 1.0, 1.0),
                                 RGB_to_Light8(150, kHardness, 1.0, 1.0)};
    std::vector<float> light;
    for (int i = 0; i < kPixels; ++i) {
        light.insert(light.end(), pixel_sums, pixel_sums + 4);
    }
    const std::vector<float> weights = {0.3f, 0.4f, 0.5f, 0.6f, 0.75f, 0.9f};
    std::vector<uint8_t> input(kRowBytes * kHeight, 0xAB);
    std::vector<uint8_t> output(kRowBytes * kHeight, 0xAB);
    for (int32_t y = 0; y < kHeight; ++y) {
        for (int32_t x = 0; x < kWidth; ++x) {
            input[y * kRowBytes + x * 4] = static_cast<uint8_t>(10 + y * kWidth + x);
        }
    }
    render::write_back(light.data(), weights.data(), kWidth, kHeight,
                       render::ConstPixelRows{input.data(), kRowBytes, ChannelDepth::k8},
                       render::PixelRows{output.data(), kRowBytes, ChannelDepth::k8}, settings);
    for (int32_t y = 0; y < kHeight; ++y) {
        for (int32_t x = 0; x < kWidth; ++x) {
            const int i = y * kWidth + x;
            const uint8_t* pixel = &output[y * kRowBytes + x * 4];
            const float weight = settings.mid_light / weights[i];
            const std::vector<int> expected = {10 + i, level8(weight * pixel_sums[1]),
                                               level8(weight * pixel_sums[2]),
                                               level8(weight * pixel_sums[3])};
            EXPECT_EQ(std::vector<int>(pixel, pixel + 4), expected) << "pixel " << x << "," << y;
        }
        EXPECT_EQ(output[y * kRowBytes + kWidth * 4], 0xAB) << "padding of row " << y;
    }
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

// Rows long enough to be converted sixteen pixels at a time agree, level for level, with each of
// their pixels converted alone; the lights and weights cover every branch of the level search:
// none, NaN, negative, below the first level, between levels, at a threshold, beyond the top,
// endless, and no weight at all. Rows of 37 pixels leave a tail of five, and padded rows a gap
// that must stay untouched.
TEST(WriteBack, WholeRowsAgreeWithEachPixelConvertedAlone) {
    constexpr int32_t kWidth = 37;
    constexpr int32_t kHeight = 3;
    constexpr int kPixels = kWidth * kHeight;
    const float nan = std::numeric_limits<float>::quiet_NaN();
    const float endless = std::numeric_limits<float>::infinity();
    std::mt19937 random(7);
    std::uniform_real_distribution<float> spread(0.0f, 1.2f);
    std::uniform_int_distribution<int> level(0, 32768);
    for (const ChannelDepth depth : {ChannelDepth::k8, ChannelDepth::k16}) {
        const bool deep = depth == ChannelDepth::k16;
        const std::ptrdiff_t pixel_bytes = deep ? 8 : 4;
        const std::ptrdiff_t row_bytes = kWidth * pixel_bytes + 6;
        const auto light_of = [&](int n) {
            return deep ? RGB_to_Light(static_cast<uint16_t>(n), kHardness, 1.0, 1.0)
                        : RGB_to_Light8(static_cast<uint8_t>(n), kHardness, 1.0, 1.0);
        };
        const std::vector<float> special = {
            0.0f,          nan,         -0.5f,
            light_of(1),   light_of(2), std::nextafter(light_of(3), 0.0f),
            light_of(100), 1.0e9f,      endless};
        std::vector<float> light(static_cast<std::size_t>(kPixels) * 4);
        std::vector<float> weights(kPixels);
        std::vector<uint8_t> input(static_cast<std::size_t>(row_bytes) * kHeight);
        for (int i = 0; i < kPixels; ++i) {
            for (int k = 0; k < 4; ++k) {
                const int pick = (i * 4 + k) % 23;
                light[i * 4 + k] =
                    pick < static_cast<int>(special.size()) ? special[pick] : spread(random);
            }
            weights[i] = i % 11 == 0 ? 0.0f : i % 13 == 0 ? nan : 0.25f + spread(random);
        }
        for (uint8_t& byte : input) {
            byte = static_cast<uint8_t>(level(random));
        }
        for (const bool alpha_bokeh : {false, true}) {
            WriteBackSettings settings;
            settings.hardness = kHardness;
            settings.mid_light = 0.6f;
            settings.alpha_bokeh = alpha_bokeh;
            settings.brightness = alpha_bokeh ? 2.0 : 1.0;
            std::vector<uint8_t> rows(input.size(), 0xAB);
            render::write_back(light.data(), weights.data(), kWidth, kHeight,
                               render::ConstPixelRows{input.data(), row_bytes, depth},
                               render::PixelRows{rows.data(), row_bytes, depth}, settings);
            for (int32_t y = 0; y < kHeight; ++y) {
                for (int32_t x = 0; x < kWidth; ++x) {
                    const int i = y * kWidth + x;
                    const std::ptrdiff_t at = y * row_bytes + x * pixel_bytes;
                    std::vector<uint8_t> alone(static_cast<std::size_t>(pixel_bytes), 0xAB);
                    render::write_back(&light[i * 4], &weights[i], 1, 1,
                                       render::ConstPixelRows{&input[at], pixel_bytes, depth},
                                       render::PixelRows{alone.data(), pixel_bytes, depth},
                                       settings);
                    EXPECT_EQ(std::vector<uint8_t>(&rows[at], &rows[at] + pixel_bytes), alone)
                        << (deep ? "16" : "8") << "-bit pixel " << x << "," << y
                        << (alpha_bokeh ? " with alpha bokeh" : "");
                }
                EXPECT_EQ(rows[y * row_bytes + kWidth * pixel_bytes], 0xAB) << "padding";
            }
        }
    }
}

// Every threshold of the level tables, and the floats on either side of it, written back in
// whole rows: each level agrees with the table's own search, for the colour tables and for the
// alpha table's scale. The rows go sixteen pixels at a time where the processor can, which for
// 8-bit tables reads their buckets packed into one word each.
TEST(WriteBack, WholeRowsMeetEveryThresholdWhereTheTablesDo) {
    constexpr float kWeight = 0.6f;  // as the mid light: lights are scaled by exactly 1
    constexpr float kAlphaValue = 0.3f;
    for (const ChannelDepth depth : {ChannelDepth::k8, ChannelDepth::k16}) {
        const bool deep = depth == ChannelDepth::k16;
        const int max_level = deep ? 32768 : 255;
        const std::ptrdiff_t pixel_bytes = deep ? 8 : 4;
        for (const double hardness : {1.0, 1.5, 0.39996337890625}) {
            const render::LightLevels colour(hardness, deep, 1.0, max_level);
            const render::LightLevels alpha(hardness, deep, 1.0f / kAlphaValue, max_level);
            // Colour lights in channels 1 to 3, the alpha table's in channel 0.
            std::vector<float> light;
            for (int k = 1; k <= max_level; ++k) {
                const float c = colour.threshold(k);
                const float a = alpha.threshold(k);
                for (const int side : {-1, 0, 1}) {
                    const float toward = side < 0 ? 0.0f : std::numeric_limits<float>::infinity();
                    light.push_back(side == 0 ? a : std::nextafter(a, toward));
                    const float at = side == 0 ? c : std::nextafter(c, toward);
                    light.insert(light.end(), {at, at, at});
                }
            }
            const auto width = static_cast<int32_t>(light.size() / 4);
            const std::vector<float> weights(static_cast<std::size_t>(width), kWeight);
            const std::vector<uint8_t> input(static_cast<std::size_t>(width * pixel_bytes), 0);
            std::vector<uint8_t> output(input.size());
            WriteBackSettings settings;
            settings.hardness = hardness;
            settings.mid_light = kWeight;
            settings.alpha_bokeh = true;
            settings.alpha_value = kAlphaValue;
            render::write_back(light.data(), weights.data(), width, 1,
                               render::ConstPixelRows{input.data(), width * pixel_bytes, depth},
                               render::PixelRows{output.data(), width * pixel_bytes, depth},
                               settings);
            int mismatches = 0;
            for (int32_t x = 0; x < width; ++x) {
                for (int k = 0; k < 4; ++k) {
                    const float sum = light[static_cast<std::size_t>(x * 4 + k)];
                    const int expected = k == 0 ? alpha.level(sum) : colour.level(sum);
                    const std::ptrdiff_t at = x * pixel_bytes + k * (deep ? 2 : 1);
                    const int got = deep ? output[at] | output[at + 1] << 8 : output[at];
                    if (got != expected && ++mismatches < 5) {
                        ADD_FAILURE()
                            << (deep ? 16 : 8) << "-bit, hardness " << hardness << ", channel " << k
                            << ", light " << sum << ": " << got << " instead of " << expected;
                    }
                }
            }
            EXPECT_EQ(mismatches, 0);
        }
    }
}

}  // namespace
