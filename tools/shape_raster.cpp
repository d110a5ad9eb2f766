#include "tools/shape_raster.h"

#include <cmath>
#include <cstddef>

namespace shape_library {
namespace {

constexpr double kEdgeMargin = 0.5;
constexpr int kSubsamples = 8;  // a side: 64 samples, so coverage steps of 4 in 255
constexpr int kFullCoverage = 255;
// Half a pixel's diagonal, rounded up: a pixel whose centre lies further than this from the
// edge is wholly inside or outside.
constexpr double kEdgeBand = 0.75;

struct Frame {
    double centre;
    double scale;  // pixels a unit
};

double unit_x(const Frame& frame, double px) {
    return (px - frame.centre) / frame.scale;
}

double unit_y(const Frame& frame, double py) {
    return (frame.centre - py) / frame.scale;
}

uint8_t supersampled_coverage(const IrisOutline& outline, const Frame& frame, int x, int y) {
    int inside = 0;
    for (int sy = 0; sy < kSubsamples; ++sy) {
        for (int sx = 0; sx < kSubsamples; ++sx) {
            const double px = x + (sx + 0.5) / kSubsamples;
            const double py = y + (sy + 0.5) / kSubsamples;
            if (outline.edge_distance(unit_x(frame, px), unit_y(frame, py)) < 0.0) {
                ++inside;
            }
        }
    }
    constexpr int kSamples = kSubsamples * kSubsamples;
    return static_cast<uint8_t>((inside * kFullCoverage + kSamples / 2) / kSamples);
}

uint8_t coverage(const IrisOutline& outline, const Frame& frame, int x, int y) {
    const double edge =
        frame.scale * outline.edge_distance(unit_x(frame, x + 0.5), unit_y(frame, y + 0.5));
    if (edge <= -kEdgeBand) {
        return kFullCoverage;
    }
    if (edge >= kEdgeBand) {
        return 0;
    }
    return supersampled_coverage(outline, frame, x, y);
}

}  // namespace

std::vector<uint8_t> rasterise(const IrisOutline& outline, int size) {
    const Frame frame{size / 2.0, size / 2.0 - kEdgeMargin};
    std::vector<uint8_t> pixels(static_cast<std::size_t>(size) * size);
    for (int y = 0; y < size; ++y) {
        for (int x = 0; x < size; ++x) {
            pixels[static_cast<std::size_t>(y) * size + x] = coverage(outline, frame, x, y);
        }
    }
    return pixels;
}

std::vector<uint8_t> shape_samples(const IrisShape& shape, int size) {
    const std::size_t channels = shape.channels.size();
    std::vector<uint8_t> samples(static_cast<std::size_t>(size) * size * channels);
    for (std::size_t c = 0; c < channels; ++c) {
        const std::vector<uint8_t> plane = rasterise(shape.channels[c], size);
        for (std::size_t i = 0; i < plane.size(); ++i) {
            samples[i * channels + c] = plane[i];
        }
    }
    return samples;
}

}  // namespace shape_library
