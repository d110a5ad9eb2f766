#include "cli/srgb_curve.h"

#include <cmath>

namespace cli {
namespace {

// The curve's constants: a straight segment near black, a power curve above it.
constexpr double kEncodedKnee = 0.04045;
constexpr double kLinearKnee = 0.0031308;
constexpr double kSlope = 12.92;
constexpr double kOffset = 0.055;
constexpr double kGamma = 2.4;

constexpr int kColourChannels = 3;

}  // namespace

float srgb_to_linear(float encoded) {
    const double e = encoded;
    return static_cast<float>(
        e <= kEncodedKnee ? e / kSlope : std::pow((e + kOffset) / (1.0 + kOffset), kGamma));
}

float linear_to_srgb(float linear) {
    const double l = linear;
    return static_cast<float>(
        l <= kLinearKnee ? l * kSlope : (1.0 + kOffset) * std::pow(l, 1.0 / kGamma) - kOffset);
}

void srgb_to_linear(host::World& world) {
    for (int y = 0; y < world.height(); ++y) {
        for (int x = 0; x < world.width(); ++x) {
            PF_PixelFloat& p = world.pixel_float(x, y);
            p.red = srgb_to_linear(p.red);
            p.green = srgb_to_linear(p.green);
            p.blue = srgb_to_linear(p.blue);
        }
    }
}

void linear_to_srgb(float* first_red, std::size_t count, std::size_t stride) {
    for (std::size_t i = 0; i < count; ++i) {
        float* pixel = first_red + i * stride;
        for (int c = 0; c < kColourChannels; ++c) {
            pixel[c] = linear_to_srgb(pixel[c]);
        }
    }
}

}  // namespace cli
