#include "render/distance_map.h"

#include "engine/channel_levels.h"
#include "platform/parallel_rows.h"

#include <algorithm>
#include <cmath>
#include <cstring>

namespace render {

using platform::threads_for;

namespace {

constexpr double kRed16ToDistance = double{kLevels8} / double{kLevels16};
constexpr std::size_t kRedChannel = 1;

// The distances of a row's `width` pixels of Channel, each from its red.
template <class Channel, class Distance>
void read_reds(const uint8_t* row, int32_t width, uint8_t* out, Distance distance) {
    for (int32_t x = 0; x < width; ++x) {
        Channel red;
        std::memcpy(&red,
                    row + (static_cast<std::size_t>(x) * kChannels + kRedChannel) * sizeof red,
                    sizeof red);
        out[x] = distance(red);
    }
}

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
    platform::for_each_row(0, height, threads_for(int64_t{height} * width), [&](int, int32_t y) {
        const uint8_t* row = layer.row(y);
        uint8_t* out = distances + static_cast<std::ptrdiff_t>(y) * width;
        switch (layer.depth) {
            case ChannelDepth::k8:
                read_reds<uint8_t>(row, width, out, [](uint8_t red) { return red; });
                break;
            case ChannelDepth::k16:
                read_reds<uint16_t>(row, width, out, distance_of_red16);
                break;
            case ChannelDepth::kFloat:
                read_reds<float>(row, width, out, distance_of_red_float);
                break;
        }
    });
}

}  // namespace render
