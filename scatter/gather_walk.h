// The walk over the stamp cells around one output pixel, shared by the gather kernels.
//
// The walk hands each cell it visits to a "cells" object with these operations (a cell is
// addressed by its index inside a plane, row × stamp_width + column):
//   reset()                                 zero the running sums: a full gather follows
//   add_full(pixel, cell)                   add the cell's full contribution at the source pixel
//   add_leaving(pixel, old_cell)            take away what old_cell contributed
//   add_change(pixel, new_cell, old_cell)   add the change from old_cell's weight to new_cell's
// where `pixel` is the index of a source pixel in the pass's light rows (light_rows.h).
// Kernels whose updates can be replayed from a record (update_plan.h) also offer
//   add_changes(changes, lit_change)        add a pixel's recorded change to the sums
//
// Besides the sums, a kernel counts the pixels that feed each sum (LitCount). Light that has
// passed leaves rounding residue in sums carried along a row; where nothing feeds a sum its
// exact value is 0, and the kernel sets it so. Only rows whose stamp reaches a light of 0 need
// the counts (counts_feeders in stamp_cells.h).
#ifndef QB_SCATTER_GATHER_WALK_H
#define QB_SCATTER_GATHER_WALK_H

#include <algorithm>
#include <cstddef>
#include <cstdint>

#include "scatter/block_sums.h"
#include "scatter/light_rows.h"
#include "scatter/pass_view.h"

namespace scatter {

// The output pixel a kernel gathers for.
struct Position {
    int32_t x;
    int32_t y;
};

// Where the stamp laid with its centre cell on the output pixel meets the frame: stamp rows
// [top, bottom) and columns [cut, keep) lie over frame pixels.
struct StampWindow {
    int32_t cut;
    int32_t keep;
    int32_t top;
    int32_t bottom;
};

inline StampWindow stamp_window(const PassView& e, Position at) {
    const int32_t rx = e.stamp.half_width;
    const int32_t ry = e.stamp.half_height;
    StampWindow w;
    w.cut = std::max(0, rx - at.x);
    w.keep = e.stamp.width - std::max(0, at.x + rx + 1 - e.width);
    w.top = std::max(0, ry - at.y);
    w.bottom = e.stamp.height - std::max(0, at.y + ry + 1 - e.height);
    return w;
}

// The light pixel under stamp cell (0, 0) for the output pixel `at`; it need not lie in the
// frame. Cells over the pad columns read no light, so a stamp row is walked whole wherever the
// frame's side edges cut it; rows above and below the frame are never read.
inline std::ptrdiff_t stamp_origin(const PassView& e, const LightView& light, Position at) {
    return light.pixel(at.x - e.stamp.half_width, at.y - e.stamp.half_height);
}

// One stamp row, incrementally: the sums hold the result for the pixel to the left, and one
// step right moves every source pixel one cell left, so only cells whose right neighbour weighs
// differently change anything. The run of full-weight cells is stepped over. `row_origin` is
// the light pixel under the row's column 0.
template <class Cells>
void update_row(const PassView& e, Cells& cells, int32_t i, std::ptrdiff_t row_origin) {
    const int32_t base = i * e.stamp.width;
    const int32_t first = e.stamp.span_first[i];
    const int32_t end = e.stamp.span_end[i];
    auto pixel_under = [&](int32_t c) { return row_origin + c; };

    cells.add_leaving(pixel_under(first - 1), base + first);
    const int32_t left_stop =
        e.stamp.full_first[i] < 0 ? end - 1 : std::min(e.stamp.full_first[i], end);
    for (int32_t c = first; c < left_stop; ++c) {
        cells.add_change(pixel_under(c), base + c, base + c + 1);
    }
    cells.add_full(pixel_under(end - 1), base + end - 1);
    const int32_t lower = e.stamp.full_end[i] > first ? e.stamp.full_end[i] - 1 : first;
    for (int32_t c = end - 2; c >= lower; --c) {
        cells.add_change(pixel_under(c), base + c, base + c + 1);
    }
}

// Gathers the stamp around `at` into `cells`: in full when `incremental` is false, otherwise as
// the change from the pixel to the left, replayed from `plan` when the plan has a record.
template <class Cells, class Plan>
void walk_stamp(const PassView& e, const LightView& light, Position at, Cells& cells,
                bool incremental, Plan& plan) {
    const StampWindow w = stamp_window(e, at);
    const std::ptrdiff_t origin = stamp_origin(e, light, at);
    const std::ptrdiff_t stride = light.stride();
    if (!incremental) {
        cells.reset();
        plan.discard();
    } else if (plan.covers(e, stride)) {
        plan.replay(e, light, at, w, origin, cells);
        return;
    }
    for (int32_t i = w.top; i < w.bottom; ++i) {
        if (e.stamp.span_first[i] < 0) {
            continue;
        }
        const std::ptrdiff_t row_origin = origin + i * stride;
        if (incremental) {
            update_row(e, cells, i, row_origin);
            continue;
        }
        const int32_t base = i * e.stamp.width;
        for (int32_t c = e.stamp.span_first[i]; c < e.stamp.span_end[i]; ++c) {
            cells.add_full(row_origin + c, base + c);
        }
    }
}

// A stamp with holes has no single run of full cells that the update could step over, so its
// every pixel is gathered in full. Sums gathered in full hold no residue of earlier pixels, and
// the kernels then need not count what feeds them.
inline bool updates_along_rows(const PassView& e) {
    return !e.stamp.has_holes;
}

// Column 0 has no pixel to its left.
inline bool gathers_incrementally(const PassView& e, Position at, int32_t restart) {
    return restart == 0 && at.x > 0 && updates_along_rows(e);
}

// One result value: the sum divided by the weight of the weighting plane's cells that lie in
// the frame, written as the sum times the plane's norm over the in-frame share of the plane.
// `inside` is that in-frame weight; when no cell of the plane lies in the frame the sum is only
// rounding residue, and the value is 0.
inline float normalised(double sum, float norm, int32_t off, int32_t inside) {
    if (inside <= 0) {
        return 0.0f;
    }
    if (off <= 0) {
        return static_cast<float>(sum * norm);
    }
    return static_cast<float>(sum * norm / (1.0 - norm * static_cast<double>(off)));
}

// How a pixel's step from a cell weighing `before` to one weighing `now` changes the number of
// pixels under non-zero cells: +1 as it comes under the stamp, -1 as it leaves it.
inline int32_t presence_change(int32_t now, int32_t before) {
    return static_cast<int32_t>(now != 0) - static_cast<int32_t>(before != 0);
}

}  // namespace scatter

#endif
