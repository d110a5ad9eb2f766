#include <cmath>
#include <cstddef>
#include <cstdint>
#include <numbers>

#include "engine/bokeh_engine.h"
#include "engine/engine_failures.h"
#include "engine/scratch_array.h"
#include "platform/allocation.h"

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

int32_t BokehEngine::odd_diameter(double diameter) const {
    return odd_diameter_rule(diameter, use_micro);
}

int32_t BokehEngine::odd_diameter_rule(double diameter, int32_t micro) {
    if (micro != 0 && !(diameter > kMicroLimit)) {
        return micro_cells(diameter);
    }
    return odd_cells(diameter);
}

int32_t BokehEngine::prepare_pattern() {
    const double size = pattern_size;
    size_diameter[0] = size;
    size_width[0] = size_height[0] = odd_cells(size);
    if (size == 1.0) {
        return 1;
    }
    // Refused before the resampling buffers are allocated for a stamp that could never be used.
    if (odd_diameter(size) > kMaxStampRows) {
        return fail(engine_failure::kStampTooTall,
                    "(prepare_pattern): the stamp is taller than the 1024 rows of its span tables");
    }
    if (!resize_pattern(0)) {
        return 0;
    }
    return new_pattern(0);
}

int32_t BokehEngine::resize_pattern(int32_t size_index) {
    const int32_t W = size_width[size_index];
    const int32_t H = size_height[size_index];
    const double D = size_diameter[size_index];
    const int32_t channels = pattern_channels;
    const std::size_t plane_cells = static_cast<std::size_t>(W) * static_cast<std::size_t>(H);
    const std::size_t cells = static_cast<std::size_t>(channels) * plane_cells;

    ScratchArray<double> dbl_mapp(cells);
    if (!dbl_mapp.allocated()) {
        return fail(engine_failure::kResizeMemory,
                    "(resize_pattern): not enough memory for dbl_mapp");
    }
    float*& target = m_mapzp[size_index];
    // An entry left from another size could be too small to reuse.
    platform::release_array(target);
    target = platform::allocate_array<float>(cells);
    if (target == nullptr) {
        return fail(engine_failure::kResizeMemory,
                    "(resize_pattern): not enough memory for m_mapzp[]");
    }

    const int32_t iw = iris_width;
    const int32_t ih = iris_height;
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
            const uint8_t* row = Pattern + static_cast<std::ptrdiff_t>(y) * iw * channels;
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
            const uint8_t v = Pattern[i * channels + p];
            brightest_byte = v > brightest_byte ? v : brightest_byte;
        }
        const double* plane = dbl_mapp.get() + p * plane_cells;
        double brightest_sum = 0.0;
        for (std::size_t i = 0; i < plane_cells; ++i) {
            brightest_sum = plane[i] > brightest_sum ? plane[i] : brightest_sum;
        }
        float* out = target + p * plane_cells;
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
    return smear_micro_pattern_if(size_index);
}

int32_t BokehEngine::smear_micro_pattern_if(int32_t size_index) {
    const double D = size_diameter[size_index];
    if (use_micro == 0 || D > kMicroLimit) {
        return 1;
    }
    const int32_t M = micro_cells(D);
    const int32_t W = size_width[size_index];
    const int32_t H = size_height[size_index];
    const int32_t channels = pattern_channels;
    const std::size_t target_cells = static_cast<std::size_t>(M) * static_cast<std::size_t>(M);
    const std::size_t source_cells = static_cast<std::size_t>(W) * static_cast<std::size_t>(H);

    ScratchArray<float> micromapp(static_cast<std::size_t>(channels) * target_cells);
    if (!micromapp.allocated()) {
        return fail(engine_failure::kSmearMemory,
                    "(smear_micro_pattern_if): not enough memory for micromapp");
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
        const float* source = m_mapzp[size_index] + p * source_cells;
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

    platform::release_array(m_mapzp[size_index]);
    m_mapzp[size_index] = micromapp.release();
    size_width[size_index] = size_height[size_index] = M;
    return 1;
}
