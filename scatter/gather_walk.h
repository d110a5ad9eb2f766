// The walk over the stamp cells around one output pixel, shared by the three gather kernels.
//
// The kernels differ only in how they read a cell's weight and add a photon table at a source
// pixel; they hand that to the walk as a "cells" object with these operations (a cell is
// addressed by its index inside a plane, row × stamp_width + column):
//   reset()                                 zero the running sums: a full gather follows
//   add_off(cell_from, cell_to)             count the bytes of cells [from, to) as off-frame
//   add_full(pixel, cell)                   add F(byte of cell) at the source pixel
//   add_leaving(pixel, old_cell)            add D(0, byte of old_cell)
//   add_change(pixel, new_cell, old_cell)   add D(byte of new_cell, byte of old_cell)
// where `pixel` is the index in Src_Data_sh of the first of one source pixel's four levels.
// Kernels whose updates can be replayed from a record (update_plan.h) also offer
//   add_changes(changes, weight_change, lit_change)   add a pixel's recorded change to the sums
//
// Besides the sums, a kernel counts the pixels that feed each sum (LitCount). A step's table is
// rounded on its own, not as the difference of the two whole contributions it stands for, so
// light that has passed leaves a residue in the sums; where nothing feeds a sum its exact value
// is 0, and the kernel sets it so.
#ifndef QB_SCATTER_GATHER_WALK_H
#define QB_SCATTER_GATHER_WALK_H

#include <algorithm>
#include <cstddef>
#include <cstdint>

#include "engine/bokeh_engine.h"

namespace scatter {

inline constexpr int32_t kLevelsPerPixel = 4;

// Where the stamp laid with its centre cell on (cur_x, cur_y) meets the frame.
struct StampWindow {
    int32_t cut;           // stamp columns left of the frame
    int32_t first_column;  // source column under stamp column `cut`
    int32_t end_column;    // one past the last source column the stamp reaches
    int32_t keep;          // leading stamp columns that can lie inside the frame
    int32_t top;           // first stamp row inside the frame
    int32_t bottom;        // one past the last stamp row inside the frame
    int32_t first_row;     // source row under stamp row `top`
};

inline StampWindow stamp_window(const BokehEngine& e) {
    const int32_t x = e.cur_x;
    const int32_t y = e.cur_y;
    const int32_t rx = e.stamp_half_width;
    const int32_t ry = e.stamp_half_height;
    StampWindow w;
    w.cut = std::max(0, rx - x);
    w.first_column = std::max(0, x - rx);
    w.end_column = std::min(e.width, x + rx + 1);
    w.keep = e.stamp_width - std::max(0, x + rx + 1 - e.width);
    w.top = std::max(0, ry - y);
    w.bottom = e.stamp_height - std::max(0, y + ry + 1 - e.height);
    w.first_row = std::max(0, y - ry);
    return w;
}

// The cells c0 .. c1 - 1 of one stamp row that lie in the frame; c0 lies over source column a.
struct RowCells {
    int32_t c0;
    int32_t c1;
    int32_t a;
};

enum class RowPlace {
    kInside,
    // The span starts right of the frame. When it starts at the column just past the frame,
    // the stamp one pixel to the left still had its first cell over the last column.
    kRightOfFrame,
    kLeftOfFrame,
};

inline RowPlace clip_row(const StampWindow& w, int32_t span_first, int32_t span_end,
                         int32_t frame_width, int32_t stamp_width, RowCells& row) {
    if (span_first <= w.cut) {
        row.c0 = w.cut;
        row.a = w.first_column;
    } else {
        row.c0 = span_first;
        row.a = w.first_column + span_first - w.cut;
        if (row.a >= frame_width || span_first >= stamp_width) {
            return RowPlace::kRightOfFrame;
        }
    }
    if (span_end >= w.keep) {
        row.c1 = w.keep;
    } else {
        row.c1 = span_end;
        const int32_t end_column = w.end_column - (w.keep - span_end);
        if (end_column < 1 || span_end <= 0) {
            return RowPlace::kLeftOfFrame;
        }
    }
    return RowPlace::kInside;
}

// One stamp row inside the frame, incrementally: the sums hold the result for cur_x - 1, and one
// step right moves every source pixel one cell left, so only cells whose right neighbour weighs
// differently change anything. The run of full-weight cells is stepped over.
// `row_origin` is the source index under the row's column 0, which need not lie in the frame.
template <class Cells>
void update_row(const BokehEngine& e, Cells& cells, int32_t i, const RowCells& row,
                std::ptrdiff_t row_origin) {
    const int32_t base = i * e.stamp_width;
    const int32_t span_end = e.span_end[i];
    auto pixel_under = [&](int32_t c) { return row_origin + c * kLevelsPerPixel; };

    if (row.a > 0) {
        cells.add_leaving(pixel_under(row.c0 - 1), base + row.c0);
    }
    int32_t left_stop = e.full_first[i];
    if (left_stop < 0) {
        left_stop = row.c1 < span_end ? row.c1 : row.c1 - 1;
    }
    left_stop = std::min(left_stop, row.c1);
    for (int32_t c = row.c0; c < left_stop; ++c) {
        cells.add_change(pixel_under(c), base + c, base + c + 1);
    }
    int32_t right_start = row.c1 - 1;
    if (row.c1 == span_end) {
        cells.add_full(pixel_under(row.c1 - 1), base + row.c1 - 1);
        right_start = row.c1 - 2;
    }
    const int32_t lower = e.full_end[i] > row.c0 ? e.full_end[i] - 1 : row.c0;
    for (int32_t c = right_start; c >= lower; --c) {
        cells.add_change(pixel_under(c), base + c, base + c + 1);
    }
}

// The source index under stamp cell (0, 0), which need not lie in the frame.
inline std::ptrdiff_t stamp_origin(const BokehEngine& e, const StampWindow& w) {
    return static_cast<std::ptrdiff_t>(w.first_row - w.top) * e.src16_stride +
           static_cast<std::ptrdiff_t>(e.cur_x - e.stamp_half_width) * kLevelsPerPixel;
}

// Gathers the stamp around (cur_x, cur_y) into `cells`: in full when `incremental` is false,
// otherwise as the change from the pixel to the left, replayed from `plan` when the plan
// covers the pixel.
template <class Cells, class Plan>
void walk_stamp(const BokehEngine& e, Cells& cells, bool incremental, Plan& plan) {
    const StampWindow w = stamp_window(e);
    const std::ptrdiff_t origin = stamp_origin(e, w);
    const int32_t stamp_width = e.stamp_width;
    if (!incremental) {
        cells.reset();
    }
    auto add_off_row = [&](int32_t i) {
        if (e.span_first[i] >= 0) {
            cells.add_off(i * stamp_width + e.span_first[i], i * stamp_width + e.span_end[i]);
        }
    };
    for (int32_t i = 0; i < w.top; ++i) {
        add_off_row(i);
    }
    for (int32_t i = w.bottom; i < e.stamp_height; ++i) {
        add_off_row(i);
    }
    if (!incremental) {
        plan.discard();
    } else if (plan.covers(e, w)) {
        plan.replay(e, w, origin, cells);
        return;
    }

    for (int32_t i = w.top; i < w.bottom; ++i) {
        const int32_t span_first = e.span_first[i];
        if (span_first < 0) {
            continue;
        }
        const int32_t span_end = e.span_end[i];
        const int32_t base = i * stamp_width;
        const std::ptrdiff_t row_origin = origin + static_cast<std::ptrdiff_t>(i) * e.src16_stride;
        RowCells row;
        const RowPlace place = clip_row(w, span_first, span_end, e.width, stamp_width, row);
        if (place != RowPlace::kInside) {
            // The whole row lies off the frame: its weight must leave the divisor too.
            add_off_row(i);
            if (incremental && place == RowPlace::kRightOfFrame && row.a == e.width) {
                cells.add_leaving(row_origin + (row.c0 - 1) * kLevelsPerPixel, base + row.c0);
            }
            continue;
        }
        cells.add_off(base + span_first, base + row.c0);
        cells.add_off(base + row.c1, base + span_end);
        if (incremental) {
            update_row(e, cells, i, row, row_origin);
            continue;
        }
        for (int32_t c = row.c0; c < row.c1; ++c) {
            cells.add_full(row_origin + c * kLevelsPerPixel, base + c);
        }
    }
}

// A stamp with holes has no single run of full cells that the update could step over, so its
// every pixel is gathered in full. Sums gathered in full hold no residue of earlier pixels, and
// the kernels then need not count what feeds them.
inline bool updates_along_rows(const BokehEngine& e) {
    return e.has_holes == 0;
}

// Column 0 has no pixel to its left.
inline bool gathers_incrementally(const BokehEngine& e, int32_t restart) {
    return restart == 0 && e.cur_x > 0 && updates_along_rows(e);
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
inline int32_t presence_change(uint8_t now, uint8_t before) {
    return static_cast<int32_t>(now != 0) - static_cast<int32_t>(before != 0);
}

// Per channel, the pixels under non-zero cells whose level in that channel is above 0. Level 0
// has no light in any table, so only these pixels feed the channel's sum; the weight sum reads
// level 0 for an alpha of 0, so it is fed by the pixels of channel 0. Alpha alone does not
// tell: an alpha scaled down to 0 keeps the pixel's colour levels.
struct LitCount {
    int32_t channel[kLevelsPerPixel] = {};

    // Without a branch: in a full gather this runs for every cell.
    void add(int k, uint16_t level, int32_t presence) {
        channel[k] += presence & -static_cast<int32_t>(level != 0);
    }
    void add(const uint16_t* levels, int32_t presence) {
        for (int k = 0; k < kLevelsPerPixel; ++k) {
            add(k, levels[k], presence);
        }
    }
    void merge(const LitCount& other) {
        for (int k = 0; k < kLevelsPerPixel; ++k) {
            channel[k] += other.channel[k];
        }
    }
    // Whether result j (the four channels, then the weight) has anything under the stamp.
    bool feeds(int j) const { return channel[j < kLevelsPerPixel ? j : 0] != 0; }
    // The usual case inside lit areas, tested without a branch for each channel.
    bool feeds_every_sum() const {
        return (channel[0] != 0) & (channel[1] != 0) & (channel[2] != 0) & (channel[3] != 0);
    }
};

// The byte-weighted photon table D(u, v) of two stamp values.
inline const float* photon_table(const BokehEngine& e, uint8_t u, uint8_t v) {
    return e.photon_rows[e.value_index[u] * BokehEngine::kStampValues + e.value_index[v]];
}

}  // namespace scatter

#endif
