#include "tests/plugin/render_scene.h"

#include <algorithm>
#include <cmath>
#include <random>
#include <sstream>

#include <gtest/gtest.h>

namespace qb_test {
namespace {

constexpr int kMax16 = 32768;

void put(host::World& world, int x, int y, int a, int r, int g, int b) {
    if (world.depth() == host::World::Depth::k8) {
        world.pixel8(x, y) = PF_Pixel8{static_cast<uint8_t>(a), static_cast<uint8_t>(r),
                                       static_cast<uint8_t>(g), static_cast<uint8_t>(b)};
        return;
    }
    const auto deep = [](int v) { return static_cast<uint16_t>((v * kMax16 + 127) / 255); };
    world.pixel16(x, y) = PF_Pixel16{deep(a), deep(r), deep(g), deep(b)};
}

}  // namespace

void paint_texture(host::World& world, uint32_t seed) {
    std::mt19937 rng(seed);
    std::uniform_int_distribution<int> grain(-24, 24);
    std::uniform_real_distribution<double> where(0.0, 1.0);
    const int w = world.width();
    const int h = world.height();
    for (int y = 0; y < h; ++y) {
        for (int x = 0; x < w; ++x) {
            const double u = w > 1 ? static_cast<double>(x) / (w - 1) : 0.0;
            const double v = h > 1 ? static_cast<double>(y) / (h - 1) : 0.0;
            const int r = std::clamp(static_cast<int>(60 + 120 * u) + grain(rng), 0, 255);
            const int g = std::clamp(static_cast<int>(40 + 150 * v) + grain(rng), 0, 255);
            const int b =
                std::clamp(static_cast<int>(128 + 90 * std::sin(9.0 * u * v)) + grain(rng), 0, 255);
            int a = 255;
            if (u > 0.7 && v > 0.7) {
                a = 0;
            } else if (u < 0.15 && v > 0.8) {
                a = 128;
            }
            put(world, x, y, a, r, g, b);
        }
    }
    const int highlights = std::max(1, w * h / 400);
    for (int i = 0; i < highlights; ++i) {
        const int x = static_cast<int>(where(rng) * w);
        const int y = static_cast<int>(where(rng) * h);
        put(world, std::min(x, w - 1), std::min(y, h - 1), 255, 255, 250, 240);
    }
}

void paint_distances(host::World& layer, const std::function<int(int x, int y)>& distance) {
    for (int y = 0; y < layer.height(); ++y) {
        for (int x = 0; x < layer.width(); ++x) {
            const int d = std::clamp(distance(x, y), 0, 255);
            if (layer.depth() == host::World::Depth::k8) {
                layer.pixel8(x, y) = PF_Pixel8{255, static_cast<uint8_t>(d), 17, 200};
            } else {
                // The 16-bit level whose distance is d: the smallest r with r * 256 / 32769 >= d.
                const auto red = static_cast<uint16_t>((d * 32769 + 255) / 256);
                layer.pixel16(x, y) = PF_Pixel16{kMax16, red, 300, 9000};
            }
        }
    }
}

int channel(const host::World& world, int x, int y, int c) {
    if (world.depth() == host::World::Depth::k8) {
        const PF_Pixel8& p = world.pixel8(x, y);
        const uint8_t values[] = {p.alpha, p.red, p.green, p.blue};
        return values[c];
    }
    const PF_Pixel16& p = world.pixel16(x, y);
    const uint16_t values[] = {p.alpha, p.red, p.green, p.blue};
    return values[c];
}

void choose_shape(host::EmulatedHost& effect, const std::string& shape) {
    std::istringstream choices(
        effect.declared_params()[static_cast<size_t>(effect.param_index("Iris Shape") - 1)]
            .choices);
    std::string item;
    for (int position = 1; std::getline(choices, item, '|'); ++position) {
        if (item == shape) {
            effect.set_value("Iris Shape", position);
            return;
        }
    }
    ADD_FAILURE() << "no shape folder " << shape;
}

}  // namespace qb_test
