#include "render/distance_map.h"

#include "engine/channel_levels.h"

#include <algorithm>
#include <cmath>
#include <cstring>

namespace render {
namespace {

constexpr double kRed16ToDistance = double{kLevels8} / double{kLevels16};
constexpr std::size_t kRedChannel = 1;

}  // namespace

uint8_t distance_of_red16(uint16_t red) {
    const uint16_t white = static_cast<uint16_t>(kMaxChannel16);
    return static_cast<uint8_t>(std::min(red, white) * kRed16ToDistance);
}

uint8_t distance_of_red_float(float red) {
    // 0..1 as the 16-bit level it stands for; NaN is no distance.
    const float clamped = red > 0.0f ? std::min(red, 1.0f) : 0.0f;
    return distance_of_red16(static_cast<uint16_t>(std::lround(double{clamped} * kMaxChannel16)));
}

void read_distance_map(const ConstPixelRows& layer, int32_t width, int32_t height,
                       uint8_t* distances) {
    for (int32_t y = 0; y < height; ++y) {
        uint8_t* out = distances + static_cast<std::ptrdiff_t>(y) * width;
        if (layer.depth == ChannelDepth::k8) {
            for (int32_t x = 0; x < width; ++x) {
                out[x] = layer.pixel(x, y)[kRedChannel];
            }
            continue;
        }
        if (layer.depth == ChannelDepth::kFloat) {
            for (int32_t x = 0; x < width; ++x) {
                float red;
                std::memcpy(&red, layer.pixel(x, y) + kRedChannel * sizeof red, sizeof red);
                out[x] = distance_of_red_float(red);
            }
            continue;
        }
        for (int32_t x = 0; x < width; ++x) {
            uint16_t red;
            std::memcpy(&red, layer.pixel(x, y) + kRedChannel * sizeof red, sizeof red);
            out[x] = distance_of_red16(red);
        }
    }
}

}  // namespace render
