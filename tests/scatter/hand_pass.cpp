#include "tests/scatter/hand_pass.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>

#include "platform/allocation.h"

namespace scatter_test {

namespace {

constexpr int kHighQuality = 5;
constexpr double kOneCellDiameter = 1.0000001;
constexpr int kPaletteStep = 17;
constexpr float kFull = 255.0f;

float palette(double share) {
    const int steps = static_cast<int>(std::clamp(share, 0.0, 1.0) * (255 / kPaletteStep) + 0.5);
    return static_cast<float>(steps * kPaletteStep);
}

// A palette value below full, 0 included.
float partial(std::mt19937& rng) {
    return static_cast<float>(std::uniform_int_distribution<int>(0, 14)(rng) * kPaletteStep);
}

double curve(double position, double contrast) {
    return 20.0 * std::pow(10.0, (contrast / 0.65) * std::tan((position - 135.0) / 150.0) - 1.4);
}

// Coverage of a disc of radius r around (cx, cy) at a cell, as a palette value.
float disc_value(double row, double column, double cy, double cx, double r) {
    return palette(r - std::hypot(row - cy, column - cx));
}

// For a colour iris: G like R but dimmer at the rim, B a smaller disc; full cells stay where R,
// G and B all are full, the core of the disc.
Iris tinted(const Iris& grey, int channels) {
    if (channels == 2) {
        return grey;
    }
    Iris iris(grey.size, channels);
    const double centre = (grey.size - 1) / 2.0;
    for (int row = 0; row < grey.size; ++row) {
        for (int column = 0; column < grey.size; ++column) {
            const float r = grey.at(0, row, column);
            iris.at(0, row, column) = r;
            iris.at(1, row, column) = r;
            iris.at(2, row, column) = r < kFull ? palette(r / 255.0 * 0.5) : kFull;
            iris.at(3, row, column) =
                std::min(r, disc_value(row, column, centre, centre, grey.size * 0.3));
        }
    }
    return iris;
}

}  // namespace

Iris::Iris(int size_cells, int plane_count)
    : size(size_cells),
      channels(plane_count),
      cells(static_cast<size_t>(plane_count) * size_cells * size_cells, 0.0f) {}

float& Iris::at(int plane, int row, int column) {
    return cells[(static_cast<size_t>(plane) * size + row) * size + column];
}

float Iris::at(int plane, int row, int column) const {
    return cells[(static_cast<size_t>(plane) * size + row) * size + column];
}

void Iris::set_grey(int row, int column, float value) {
    for (int p = 0; p < std::min(channels, 2); ++p) {
        at(p, row, column) = value;
    }
}

Frame::Frame(int frame_width, int frame_height)
    : width(frame_width),
      height(frame_height),
      levels(4 * static_cast<size_t>(frame_width) * frame_height, 0) {}

EngineStatus HandPass::run_pix_loop(const Accumulator& out, const scatter::ProgressFn& progress) {
    return scatter::run_pix_loop(view(), out, light_tables, progress);
}

void install_pass(HandPass& e, const Iris& iris, const Frame& frame, const Light& light) {
    e.in = PassInputs{};
    e.in.source = SourceFrame{frame.width, frame.height, light.levels};
    e.in.hardness = light.hardness;
    e.in.brightness = light.brightness;
    e.in.quality = kHighQuality;
    // A diameter of exactly 1 would make the pass leave every pixel where it is.
    e.in.blur = iris.size > 1 ? iris.size : kOneCellDiameter;

    SizePattern sized;
    sized.m_mapzp = platform::OwnedArray<float>(iris.cells.size());
    ASSERT_TRUE(sized.m_mapzp);
    std::copy(iris.cells.begin(), iris.cells.end(), sized.m_mapzp.get());
    sized.width = sized.height = iris.size;
    sized.channels = iris.channels;
    e.stamp = Stamp{};
    const EngineStatus stamped = e.stamp.new_pattern(sized, e.in);
    ASSERT_TRUE(stamped.ok()) << stamped.message;
    const EngineStatus lit = e.photons.make_photon(light.levels, light.hardness, light.brightness);
    ASSERT_TRUE(lit.ok()) << lit.message;

    e.source.src16_stride = 4 * frame.width;
    e.source.Src_Data_sh = platform::OwnedArray<uint16_t>(frame.levels.size());
    ASSERT_TRUE(e.source.Src_Data_sh);
    std::copy(frame.levels.begin(), frame.levels.end(), e.source.Src_Data_sh.get());
}

float photon_light(int level, const Light& light) {
    if (level == 0) {
        return 0.0f;
    }
    const double step = 256.0 / light.levels;
    return static_cast<float>(curve(level * step, light.hardness) * light.brightness -
                              curve(0.0, light.hardness) * light.brightness);
}

Gathered direct_gather(const HandPass& e, const Light& light, int x, int y) {
    const bool colour = e.stamp.channels >= 3;
    // Result j is weighted by stamp_planes[plane_of[j]] (the weight sum by plane A).
    const std::array<int, 5> plane_of =
        colour ? std::array<int, 5>{1, 1, 2, 3, 1} : std::array<int, 5>{0, 0, 0, 0, 0};
    std::array<double, 5> light_sum{};
    Gathered g;
    for (int i = 0; i < e.stamp.height; ++i) {
        const int sy = y - e.stamp.half_height + i;
        for (int c = 0; c < e.stamp.width; ++c) {
            const int sx = x - e.stamp.half_width + c;
            for (int j = 0; j < 5; ++j) {
                g.total[j] += e.stamp.stamp_planes[plane_of[j]][i * e.stamp.width + c];
            }
            if (sy < 0 || sy >= e.in.source.height || sx < 0 || sx >= e.in.source.width) {
                continue;
            }
            const uint16_t* pixel =
                e.source.Src_Data_sh.get() + sy * e.source.src16_stride + 4 * sx;
            for (int j = 0; j < 5; ++j) {
                const double w = e.stamp.stamp_planes[plane_of[j]][i * e.stamp.width + c];
                const int level = j < 4 ? pixel[j] : (pixel[0] != 0 ? e.photons.mid_level : 0);
                light_sum[j] += w * photon_light(level, light);
                g.weight[j] += w;
            }
        }
    }
    for (int j = 0; j < 5; ++j) {
        g.value[j] = g.weight[j] > 0.0 ? light_sum[j] / g.weight[j] : 0.0;
    }
    return g;
}

double rounding_allowance(const Light& light, const Gathered& g, int j) {
    if (g.weight[j] <= 0.0) {
        return 0.0;
    }
    return 2e-6 * photon_light(light.levels - 1, light) * g.total[j] / g.weight[j];
}

std::vector<KernelResult> gather_row(const HandPass& e, Kernel kernel, int y, int32_t restart) {
    std::vector<KernelResult> row(static_cast<size_t>(e.in.source.width));
    const scatter::PassView view = e.view();
    scatter::PixelKernels kernels(view);
    for (int x = 0; x < e.in.source.width; ++x) {
        EXPECT_TRUE(
            (kernels.*kernel)(scatter::Position{x, y}, &row[static_cast<size_t>(x)], restart));
    }
    return row;
}

Iris disc_iris(int size, int channels) {
    Iris grey(size, 2);
    const double centre = (size - 1) / 2.0;
    for (int row = 0; row < size; ++row) {
        for (int column = 0; column < size; ++column) {
            grey.set_grey(row, column, disc_value(row, column, centre, centre, size / 2.0));
        }
    }
    return tinted(grey, channels);
}

namespace {

// A disc with another disc cut out of it.
Iris cut_disc(int size, int channels, double cut_row, double cut_column, double cut_radius) {
    Iris grey = disc_iris(size, 2);
    for (int row = 0; row < size; ++row) {
        for (int column = 0; column < size; ++column) {
            const float cut = disc_value(row, column, cut_row, cut_column, cut_radius);
            grey.set_grey(row, column, std::max(0.0f, grey.at(0, row, column) - cut));
        }
    }
    return tinted(grey, channels);
}

}  // namespace

Iris ring_iris(int size, int channels) {
    const double centre = (size - 1) / 2.0;
    return cut_disc(size, channels, centre, centre, size / 4.0 + 0.5);
}

Iris crescent_iris(int size, int channels) {
    const double centre = (size - 1) / 2.0;
    return cut_disc(size, channels, centre - size * 0.15, centre + size * 0.2, size * 0.42);
}

Iris random_rows_iris(std::mt19937& rng, int size, int channels) {
    Iris iris(size, channels);
    std::uniform_int_distribution<int> column(0, size - 1);
    std::bernoulli_distribution chance(0.5);
    for (int row = 0; row < size; ++row) {
        if (std::bernoulli_distribution(0.15)(rng)) {
            continue;
        }
        int first = column(rng);
        int last = column(rng);
        if (first > last) {
            std::swap(first, last);
        }
        int full_first = last + 1;
        int full_last = last;
        if (chance(rng)) {
            full_first = std::uniform_int_distribution<int>(first, last)(rng);
            full_last = std::uniform_int_distribution<int>(full_first, last)(rng);
        }
        for (int c = first; c <= last; ++c) {
            const bool full = c >= full_first && c <= full_last;
            float value = full ? kFull : partial(rng);
            if ((c == first || c == last) && value == 0.0f) {
                value = kPaletteStep;
            }
            for (int p = 0; p < channels; ++p) {
                // The colour planes differ outside the full run, where nothing is full anyway.
                iris.at(p, row, c) = (p < 2 || full) ? value : partial(rng);
            }
        }
    }
    return iris;
}

Iris speckled_iris(std::mt19937& rng, int size, int channels) {
    Iris iris(size, channels);
    std::discrete_distribution<int> kind({3, 3, 4});
    for (int row = 0; row < size; ++row) {
        for (int c = 0; c < size; ++c) {
            const int k = kind(rng);
            const float value = k == 0 ? 0.0f : k == 1 ? kFull : partial(rng);
            for (int p = 0; p < channels; ++p) {
                iris.at(p, row, c) = (p < 2 || value == kFull) ? value : partial(rng);
            }
        }
    }
    return iris;
}

Frame random_frame(std::mt19937& rng, int width, int height, int levels, bool lit) {
    Frame frame(width, height);
    std::uniform_int_distribution<int> level(lit ? 1 : 0, levels - 1);
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
            uint16_t* pixel = frame.pixel(x, y);
            // A fifth of the pixels transparent, as pre-processing leaves them.
            if (!lit && std::bernoulli_distribution(0.2)(rng)) {
                continue;
            }
            pixel[0] = static_cast<uint16_t>(std::max(1, level(rng)));
            for (int k = 1; k < 4; ++k) {
                pixel[k] = static_cast<uint16_t>(level(rng));
            }
        }
    }
    return frame;
}

Frame uniform_frame(int width, int height, const std::array<uint16_t, 4>& pixel) {
    Frame frame(width, height);
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
            std::copy(pixel.begin(), pixel.end(), frame.pixel(x, y));
        }
    }
    return frame;
}

}  // namespace scatter_test
