#include "bench/support/bench_scene.h"

#include <algorithm>
#include <cmath>
#include <random>

namespace bench {
namespace {

constexpr uint32_t kSeed = 7;
constexpr int kGrain = 12;
// One bright point for about every 700 pixels.
constexpr int kPixelsPerHighlight = 700;
constexpr PF_Pixel8 kHighlight = {255, 255, 250, 235};
constexpr int kDistanceValues = 256;

}  // namespace

host::World photo(int width, int height) {
    host::World picture(width, height);
    std::mt19937 rng(kSeed);
    std::uniform_int_distribution<int> grain(-kGrain, kGrain);
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
            const double u = static_cast<double>(x) / width;
            const double v = static_cast<double>(y) / height;
            const auto level = [&](double share) {
                return static_cast<uint8_t>(
                    std::clamp(static_cast<int>(share * 255) + grain(rng), 0, 255));
            };
            picture.pixel8(x, y) = PF_Pixel8{255, level(0.2 + 0.6 * u * (1 - v)),
                                             level(0.3 + 0.3 * std::sin(12 * u) * std::cos(7 * v)),
                                             level(0.5 + 0.4 * v - 0.2 * u)};
        }
    }
    std::uniform_int_distribution<int> column(0, width - 1), row(0, height - 1);
    for (int i = 0; i < width * height / kPixelsPerHighlight; ++i) {
        picture.pixel8(column(rng), row(rng)) = kHighlight;
    }
    return picture;
}

int ramp_distance(int y, int height) {
    return y * kDistanceValues / height;
}

namespace {

host::World layer_of(int width, int height, bool across) {
    host::World layer(width, height);
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
            const auto distance =
                static_cast<uint8_t>(across ? ramp_distance(x, width) : ramp_distance(y, height));
            layer.pixel8(x, y) = PF_Pixel8{255, distance, 0, 0};
        }
    }
    return layer;
}

}  // namespace

host::World distance_ramp(int width, int height) {
    return layer_of(width, height, false);
}

host::World distance_ramp_across(int width, int height) {
    return layer_of(width, height, true);
}

std::vector<uint8_t> packed_pixels(const host::World& picture) {
    std::vector<uint8_t> pixels;
    pixels.reserve(static_cast<std::size_t>(picture.width()) * picture.height() * 4);
    for (int y = 0; y < picture.height(); ++y) {
        for (int x = 0; x < picture.width(); ++x) {
            const PF_Pixel8& p = picture.pixel8(x, y);
            pixels.insert(pixels.end(), {p.alpha, p.red, p.green, p.blue});
        }
    }
    return pixels;
}

}  // namespace bench
