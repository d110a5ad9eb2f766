// Drives the scatter stage without packing and resizing: an iris given cell by cell at its
// stamp size is quantised by the engine into the pass's stamp, the engine builds its photon
// tables, and a frame given level by level stands in for the pre-processed source.
#ifndef QB_TESTS_SCATTER_HAND_PASS_H
#define QB_TESTS_SCATTER_HAND_PASS_H

#include <array>
#include <cstdint>
#include <random>
#include <vector>

#include "engine/engine_failures.h"
#include "engine/light_curve.h"
#include "engine/pass_inputs.h"
#include "engine/photons.h"
#include "engine/prepared_source.h"
#include "engine/stamp.h"
#include "scatter/gather_kernels.h"
#include "scatter/pass_view.h"
#include "scatter/render_pass.h"

namespace scatter_test {

// An iris at its stamp size, in its own orientation: 2 planes (mask, grey) or 4 (mask, R, G, B),
// plane after plane.
struct Iris {
    int size = 0;
    int channels = 2;
    std::vector<float> cells;

    Iris(int size_cells, int plane_count);
    float& at(int plane, int row, int column);
    float at(int plane, int row, int column) const;
    // Sets every plane of a grey iris, or the mask and R of a colour one, to `value`.
    void set_grey(int row, int column, float value);
};

// Pre-processed source levels, four a pixel (scaled alpha first), rows packed.
struct Frame {
    int width = 0;
    int height = 0;
    std::vector<uint16_t> levels;

    Frame(int frame_width, int frame_height);
    uint16_t* pixel(int x, int y) { return &levels[4 * (static_cast<size_t>(y) * width + x)]; }
};

struct Light {
    int levels = 256;
    double hardness = 1.5;
    double brightness = 1.0;
};

// The parts of a pass made by hand, and the tables its loop uses. Large: tests keep it on the
// heap.
struct HandPass {
    PassInputs in;
    PreparedSource source;
    Stamp stamp;
    PhotonLight photons;
    LightTables light_tables;

    scatter::PassView view() const { return scatter::PassView(in, source, stamp, photons); }
    // The scatter loop over these parts.
    EngineStatus run_pix_loop(const Accumulator& out, const scatter::ProgressFn& progress);
};

// Replaces the pass's parts: `iris` quantised into the stamp, its photon tables, and `frame` as
// the pre-processed source; the inputs as a blurred pass at High quality gives them.
void install_pass(HandPass& e, const Iris& iris, const Frame& frame, const Light& light);

// The photon light P of `level`, as the tables hold it (rounded to float32).
float photon_light(int level, const Light& light);

// The five kernel results for (x, y), straight from their definition: for each result, the
// light of every in-frame source pixel weighted by the stamp cell over it, divided by the
// weight of the in-frame cells of the plane that weights that result (0 when there are none).
struct Gathered {
    std::array<double, 5> value{};
    std::array<double, 5> weight{};  // the in-frame weight each value was divided by
    std::array<double, 5> total{};   // the weight of the whole plane
};
Gathered direct_gather(const HandPass& e, const Light& light, int x, int y);

// How far result j of a kernel may stray from `g`'s exact value: float32 tables and norms, and
// sums carried from pixel to pixel by differences, both magnified when only a small share of
// the plane's weight lies in the frame. Results without an in-frame cell must be exactly 0.
double rounding_allowance(const Light& light, const Gathered& g, int j);

// Kernel results of the pixels of one row, each gathered with the given restart flag in
// increasing x, through one kernel.
using Kernel = bool (scatter::PixelKernels::*)(scatter::Position, KernelResult*, int32_t);
std::vector<KernelResult> gather_row(const HandPass& e, Kernel kernel, int y, int32_t restart);

// Iris shapes, their values on a coarse palette so that the photon tables stay small.
Iris disc_iris(int size, int channels);
Iris ring_iris(int size, int channels);
// A disc with an off-centre disc cut away: many rows miss the centre column.
Iris crescent_iris(int size, int channels);
// Every row a random span holding at most one run of full cells, so no holes.
Iris random_rows_iris(std::mt19937& rng, int size, int channels);
// Random cells, full ones scattered: holes.
Iris speckled_iris(std::mt19937& rng, int size, int channels);

// Random levels, a fifth of the pixels transparent; or, `lit`, every level of every pixel above
// 0, so that no light anywhere is 0.
Frame random_frame(std::mt19937& rng, int width, int height, int levels, bool lit = false);
Frame uniform_frame(int width, int height, const std::array<uint16_t, 4>& pixel);

}  // namespace scatter_test

#endif
