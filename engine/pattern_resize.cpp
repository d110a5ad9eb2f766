#include "engine/size_pattern.h"

#include <cmath>
#include <cstddef>
#include <cstdint>
#include <numbers>
#include <utility>

namespace {

// Small-disc handling applies up to this diameter.
constexpr double kMicroLimit = 3.0;
// Diameters past this make no usable stamp (its rows could not be spanned); they are held here
// so that the cell counts stay inside int32.
constexpr double kLargestDiameter = 1.0e6;
constexpr double kFullCell = 255.0;
// Gaussian width of the small-disc smear: sigma = D * 4 / 35 + 0.05.
constexpr double kSmearSigmaScale = 4.0;
constexpr double kSmearSigmaDivisor = 35.0;
constexpr double kSmearSigmaFloor = 0.05;

// Non-positive and undefined diameters count as 0, which gives one cell.
double usable_diameter(double d) {
    if (!(d > 0.0)) {
        return 0.0;
    }
    return d < kLargestDiameter ? d : kLargestDiameter;
}

int32_t odd_cells(double d) {
    const auto cells = static_cast<int32_t>(std::ceil(usable_diameter(d)));
    return cells % 2 == 0 ? cells + 1 : cells;
}

// The side of the smeared plane: 5 below 1, 7 from 1, 9 from 2, 11 at 3.
int32_t micro_cells(double d) {
    return static_cast<int32_t>(usable_diameter(d) + 2.0) * 2 + 1;
}

struct Footprint {
    int32_t first;
    int32_t second;
    double first_weight;
    double second_weight;
};

// Where source position i lands at scale s and offset o: its first cell carries the share of the
// pixel before the cell border, the second the rest.
Footprint footprint(int32_t i, double s, double o) {
    const double start = i * s + o;
    Footprint f{};
    f.first = static_cast<int32_t>(start);
    f.second = static_cast<int32_t>((i + 1) * s + o);
    f.first_weight = f.first == f.second ? 1.0 : (f.second - start) / s;
    f.second_weight = 1.0 - f.first_weight;
    return f;
}

bool inside(int32_t cell, int32_t count) {
    return cell >= 0 && cell < count;
}

}  // namespace

int32_t odd_diameter(double blur, bool micro) {
    if (micro && !(blur > kMicroLimit)) {
        return micro_cells(blur);
    }
    return odd_cells(blur);
}

EngineStatus SizePattern::resize_pattern(const IrisPattern& pattern, double blur, bool micro) {
    const int32_t W = odd_cells(blur);
    const int32_t H = W;
    const double D = blur;
    const int32_t channels = pattern.channels();
    const std::size_t plane_cells = static_cast<std::size_t>(W) * static_cast<std::size_t>(H);
    const std::size_t cells = static_cast<std::size_t>(channels) * plane_cells;

    platform::OwnedArray<double> dbl_mapp(cells);
    if (!dbl_mapp) {
        return {engine_failure::kResizeMemory, "(resize_pattern): not enough memory for dbl_mapp"};
    }
    m_mapzp = platform::OwnedArray<float>(cells);
    if (!m_mapzp) {
        return {engine_failure::kResizeMemory, "(resize_pattern): not enough memory for m_mapzp[]"};
    }
    width = W;
    height = H;
    this->channels = channels;

    const uint8_t* const packed = pattern.Pattern();
    const int32_t iw = pattern.width();
    const int32_t ih = pattern.height();
    const double s = D / iw;
    const double ox = 0.5 * (W - iw * s);
    const double oy = 0.5 * (H - ih * s);
    const double e = D * D / (static_cast<double>(iw) * ih);
    for (std::size_t i = 0; i < cells; ++i) {
        dbl_mapp[i] = 0.0;
    }

    for (int32_t p = 0; p < channels; ++p) {
        double* plane = dbl_mapp.get() + p * plane_cells;
        if (W == 1 && H == 1) {
            plane[0] = kFullCell;
            continue;
        }
        for (int32_t y = 0; y < ih; ++y) {
            const Footprint fy = footprint(y, s, oy);
            if (fy.second < 0 || fy.first >= H) {
                continue;
            }
            const uint8_t* row = packed + static_cast<std::ptrdiff_t>(y) * iw * channels;
            for (int32_t x = 0; x < iw; ++x) {
                const uint8_t v = row[static_cast<std::ptrdiff_t>(x) * channels + p];
                if (v == 0) {
                    continue;
                }
                const Footprint fx = footprint(x, s, ox);
                if (fx.second < 0 || fx.first >= W) {
                    continue;
                }
                const double energy = v * e;
                const auto add = [&](int32_t cy, int32_t cx, double wx, double wy) {
                    if (inside(cy, H) && inside(cx, W)) {
                        plane[static_cast<std::ptrdiff_t>(cy) * W + cx] += energy * wx * wy;
                    }
                };
                add(fy.first, fx.first, fx.first_weight, fy.first_weight);
                add(fy.first, fx.second, fx.second_weight, fy.first_weight);
                add(fy.second, fx.first, fx.first_weight, fy.second_weight);
                add(fy.second, fx.second, fx.second_weight, fy.second_weight);
            }
        }
    }

    const std::size_t iris_cells = static_cast<std::size_t>(iw) * static_cast<std::size_t>(ih);
    for (int32_t p = 0; p < channels; ++p) {
        uint8_t brightest_byte = 0;
        for (std::size_t i = 0; i < iris_cells; ++i) {
            const uint8_t v = packed[i * channels + p];
            brightest_byte = v > brightest_byte ? v : brightest_byte;
        }
        const double* plane = dbl_mapp.get() + p * plane_cells;
        double brightest_sum = 0.0;
        for (std::size_t i = 0; i < plane_cells; ++i) {
            brightest_sum = plane[i] > brightest_sum ? plane[i] : brightest_sum;
        }
        float* out = m_mapzp.get() + p * plane_cells;
        for (std::size_t i = 0; i < plane_cells; ++i) {
            if (plane[i] > kFullCell) {
                out[i] = static_cast<float>(kFullCell);
            } else if (brightest_sum > 0.0) {
                out[i] = static_cast<float>(plane[i] * brightest_byte / brightest_sum);
            } else {
                // Nothing of the channel reached the target: the plane stays dark (0/0 otherwise).
                out[i] = 0.0f;
            }
        }
    }
    return smear_micro_pattern_if(blur, micro);
}

EngineStatus SizePattern::smear_micro_pattern_if(double blur, bool micro) {
    const double D = blur;
    if (!micro || D > kMicroLimit) {
        return {};
    }
    const int32_t M = micro_cells(D);
    const int32_t W = width;
    const int32_t H = height;
    const std::size_t target_cells = static_cast<std::size_t>(M) * static_cast<std::size_t>(M);
    const std::size_t source_cells = static_cast<std::size_t>(W) * static_cast<std::size_t>(H);

    platform::OwnedArray<float> micromapp(static_cast<std::size_t>(channels) * target_cells);
    if (!micromapp) {
        return {engine_failure::kSmearMemory,
                "(smear_micro_pattern_if): not enough memory for micromapp"};
    }
    for (std::size_t i = 0; i < channels * target_cells; ++i) {
        micromapp[i] = 0.0f;
    }

    const double sigma =
        usable_diameter(D) * kSmearSigmaScale / kSmearSigmaDivisor + kSmearSigmaFloor;
    const double k = 1.0 / (2.0 * std::numbers::pi * sigma * sigma);
    const double ox = (M - W) * 0.5;
    const double oy = (M - H) * 0.5;
    for (int32_t p = 0; p < channels; ++p) {
        const float* source = m_mapzp.get() + p * source_cells;
        float* plane = micromapp.get() + p * target_cells;
        // The peak and the sum belong to this channel alone: a dark channel after a bright one
        // must not be scaled by the bright one's figures.
        float brightest_source = 0.0f;
        double total = 0.0;
        for (int32_t y = 0; y < H; ++y) {
            for (int32_t x = 0; x < W; ++x) {
                const float v = source[static_cast<std::ptrdiff_t>(y) * W + x];
                if (v == 0.0f) {
                    continue;
                }
                brightest_source = v > brightest_source ? v : brightest_source;
                for (int32_t r = 0; r < M; ++r) {
                    const double dy = r - y - oy;
                    for (int32_t q = 0; q < M; ++q) {
                        const double dx = q - x - ox;
                        const double added =
                            k * v * std::exp(-(dx * dx + dy * dy) / (2.0 * sigma * sigma));
                        plane[static_cast<std::ptrdiff_t>(r) * M + q] += static_cast<float>(added);
                        total += added;
                    }
                }
            }
        }
        float brightest_target = 0.0f;
        for (std::size_t i = 0; i < target_cells; ++i) {
            brightest_target = plane[i] > brightest_target ? plane[i] : brightest_target;
        }
        if (total > 0.0 && brightest_target > 0.0f) {
            const double factor = static_cast<double>(brightest_source) / brightest_target;
            for (std::size_t i = 0; i < target_cells; ++i) {
                plane[i] = static_cast<float>(plane[i] * factor);
            }
        }
    }

    m_mapzp = std::move(micromapp);
    width = height = M;
    return {};
}
