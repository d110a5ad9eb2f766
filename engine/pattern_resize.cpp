#include "engine/size_pattern.h"

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <numbers>
#include <utility>

#include "platform/parallel_rows.h"

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

// Shares added along a row of W sums, cell by cell from left to right; cells outside the row
// take none.
class CellRun {
  public:
    CellRun(double* sums, int32_t W) : sums_(sums), W_(W) {}

    void add(int32_t cell, double share) {
        if (!inside(cell, W_)) {
            return;
        }
        if (cell != cell_) {
            store();
            cell_ = cell;
            sum_ = 0.0;
        }
        sum_ += share;
    }

    // Stores the last cell; whether any share was added.
    bool finish() {
        store();
        return added_;
    }

  private:
    void store() {
        if (cell_ >= 0) {
            sums_[cell_] = sum_;
            added_ = true;
        }
    }

    double* sums_;
    int32_t W_;
    int32_t cell_ = -1;
    double sum_ = 0.0;
    bool added_ = false;
};

// Where the iris lands on a target of W x H cells at diameter D.
struct Placement {
    int32_t W;
    int32_t H;
    double s;  // target cells per iris pixel
    double ox;
    double oy;
    double e;  // the energy a unit of iris byte carries into the target

    Placement(const IrisPattern& pattern, double D, int32_t side)
        : W(side),
          H(side),
          s(D / pattern.width()),
          ox(0.5 * (W - pattern.width() * s)),
          oy(0.5 * (H - pattern.height() * s)),
          e(D * D / (static_cast<double>(pattern.width()) * pattern.height())) {}
};

// Spreads channel p of the packed iris over `plane` (zeroed), each iris pixel's energy shared
// between the up to four cells its footprint covers. An iris row is spread along `row_sums` (W
// cells) first, and that row then shared between the two target rows the iris row covers: the
// same sums as sharing each pixel four ways, in half the additions and along rows.
void spread_channel(const IrisPattern& pattern, int32_t p, const Placement& at, double* plane,
                    double* row_sums) {
    const int32_t W = at.W;
    const int32_t H = at.H;
    if (W == 1 && H == 1) {
        plane[0] = kFullCell;
        return;
    }
    const int32_t channels = pattern.channels();
    const int32_t iw = pattern.width();
    for (int32_t y = 0; y < pattern.height(); ++y) {
        const Footprint fy = footprint(y, at.s, at.oy);
        if (fy.second < 0 || fy.first >= H) {
            continue;
        }
        const uint8_t* row = pattern.Pattern() + static_cast<std::ptrdiff_t>(y) * iw * channels;
        std::fill(row_sums, row_sums + W, 0.0);
        // Footprints move right with x, so a cell's shares arrive one after another: they are
        // summed in a register, in the same order, and the cell stored once it is left. Adding
        // into the row in memory made every share wait for the store of the one before.
        CellRun run(row_sums, W);
        for (int32_t x = 0; x < iw; ++x) {
            const uint8_t v = row[static_cast<std::ptrdiff_t>(x) * channels + p];
            if (v == 0) {
                continue;
            }
            const Footprint fx = footprint(x, at.s, at.ox);
            if (fx.second < 0 || fx.first >= W) {
                continue;
            }
            const double energy = v * at.e;
            run.add(fx.first, energy * fx.first_weight);
            run.add(fx.second, energy * fx.second_weight);
        }
        if (!run.finish()) {
            continue;
        }
        for (const auto& [cy, weight] :
             {std::pair{fy.first, fy.first_weight}, std::pair{fy.second, fy.second_weight}}) {
            if (!inside(cy, H)) {
                continue;
            }
            double* target = plane + static_cast<std::ptrdiff_t>(cy) * W;
            for (int32_t cx = 0; cx < W; ++cx) {
                target[cx] += row_sums[cx] * weight;
            }
        }
    }
}

// Channel p's spread energy as cells whose peak is the iris channel's brightest byte; cells
// above full stay full.
void scale_to_brightest(const IrisPattern& pattern, int32_t p, const double* plane,
                        std::size_t plane_cells, float* out) {
    const int32_t channels = pattern.channels();
    const std::size_t iris_cells =
        static_cast<std::size_t>(pattern.width()) * static_cast<std::size_t>(pattern.height());
    uint8_t brightest_byte = 0;
    for (std::size_t i = 0; i < iris_cells; ++i) {
        const uint8_t v = pattern.Pattern()[i * channels + p];
        brightest_byte = v > brightest_byte ? v : brightest_byte;
    }
    double brightest_sum = 0.0;
    for (std::size_t i = 0; i < plane_cells; ++i) {
        brightest_sum = plane[i] > brightest_sum ? plane[i] : brightest_sum;
    }
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

// The small-disc smear of one W x H plane into an M x M one (zeroed): a Gaussian of the disc's
// width around every cell, scaled back so that the plane keeps its own peak. The peak and the
// sum belong to this plane alone: a dark channel after a bright one must not be scaled by the
// bright one's figures.
void smear_plane(const float* source, int32_t W, int32_t H, int32_t M, double D, float* plane) {
    const double sigma =
        usable_diameter(D) * kSmearSigmaScale / kSmearSigmaDivisor + kSmearSigmaFloor;
    const double k = 1.0 / (2.0 * std::numbers::pi * sigma * sigma);
    const double ox = (M - W) * 0.5;
    const double oy = (M - H) * 0.5;
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
    const std::size_t target_cells = static_cast<std::size_t>(M) * static_cast<std::size_t>(M);
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

}  // namespace

int32_t odd_diameter(double blur, bool micro) {
    if (micro && !(blur > kMicroLimit)) {
        return micro_cells(blur);
    }
    return odd_cells(blur);
}

EngineStatus SizePattern::resize_pattern(const IrisPattern& pattern, double blur, bool micro) {
    const Placement at(pattern, blur, odd_cells(blur));
    const int32_t planes = pattern.channels();
    const std::size_t plane_cells = static_cast<std::size_t>(at.W) * static_cast<std::size_t>(at.H);
    const std::size_t cells = static_cast<std::size_t>(planes) * plane_cells;
    // Each plane's row of sums follows the planes.
    const std::size_t row_sums = static_cast<std::size_t>(planes) * static_cast<std::size_t>(at.W);

    platform::OwnedArray<double> dbl_mapp(cells + row_sums);
    if (!dbl_mapp) {
        return {engine_failure::kResizeMemory, "(resize_pattern): not enough memory for dbl_mapp"};
    }
    m_mapzp = platform::OwnedArray<float>(cells);
    if (!m_mapzp) {
        return {engine_failure::kResizeMemory, "(resize_pattern): not enough memory for m_mapzp[]"};
    }
    width = at.W;
    height = at.H;
    channels = planes;
    std::fill(dbl_mapp.get(), dbl_mapp.get() + cells, 0.0);
    // The planes are apart: one a thread, as a large disc's resize was a tenth of a 4K depth
    // render, all of it on one thread.
    const int64_t iris_cells = int64_t{planes} * pattern.width() * pattern.height();
    platform::for_each_row(0, planes, platform::threads_for(iris_cells), [&](int, int32_t p) {
        double* plane = dbl_mapp.get() + p * plane_cells;
        spread_channel(pattern, p, at, plane, dbl_mapp.get() + cells + p * at.W);
        scale_to_brightest(pattern, p, plane, plane_cells, m_mapzp.get() + p * plane_cells);
    });
    return smear_micro_pattern_if(blur, micro);
}

EngineStatus SizePattern::smear_micro_pattern_if(double blur, bool micro) {
    if (!micro || blur > kMicroLimit) {
        return {};
    }
    const int32_t M = micro_cells(blur);
    const std::size_t target_cells = static_cast<std::size_t>(M) * static_cast<std::size_t>(M);
    const std::size_t source_cells =
        static_cast<std::size_t>(width) * static_cast<std::size_t>(height);
    const std::size_t cells = static_cast<std::size_t>(channels) * target_cells;
    platform::OwnedArray<float> micromapp(cells);
    if (!micromapp) {
        return {engine_failure::kSmearMemory,
                "(smear_micro_pattern_if): not enough memory for micromapp"};
    }
    std::fill(micromapp.get(), micromapp.get() + cells, 0.0f);
    for (int32_t p = 0; p < channels; ++p) {
        smear_plane(m_mapzp.get() + p * source_cells, width, height, M, blur,
                    micromapp.get() + p * target_cells);
    }
    m_mapzp = std::move(micromapp);
    width = height = M;
    return {};
}
