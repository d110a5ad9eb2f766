// The cells of a grey stamp as the plain and the vector kernel read them: one plane weights all
// four channels and the weight sum. The two kernels differ only in their running sums.
//
// A Sums type holds the kernel's five light sums and offers reset(), add(table, pixel,
// level_map), merge(other sums), value(j) and clear(j) for j = 0..4 (the weight sum last). The
// kernel keeps them module-wide between calls, in a GreyState; during a call they are worked on in
// a local copy, so that the additions need not go through memory.
#ifndef QB_SCATTER_GREY_CELLS_H
#define QB_SCATTER_GREY_CELLS_H

#include <cstddef>
#include <cstdint>

#include "engine/bokeh_engine.h"
#include "scatter/gather_walk.h"
#include "scatter/update_plan.h"

namespace scatter {

// What a grey kernel keeps from one call to the next.
template <class Sums>
struct GreyState {
    Sums sums;
    int32_t inside = 0;  // the weight of the stamp cells that lie in the frame
    LitCount lit;
};

template <class Sums>
class GreyCells {
  public:
    GreyCells(const BokehEngine& e, const GreyState<Sums>& kept)
        : e_(e), plane_(e.newPattern), counting_(updates_along_rows(e)), state_(kept) {}

    void reset() {
        state_.sums.reset();
        state_.inside = 0;
        state_.lit = LitCount{};
    }
    void add_off(int32_t from, int32_t to) {
        for (int32_t c = from; c < to; ++c) {
            off_ += plane_[c];
        }
    }
    void add_full(std::ptrdiff_t pixel, int32_t cell) { add(pixel, plane_[cell], 0); }
    void add_leaving(std::ptrdiff_t pixel, int32_t old_cell) { add(pixel, 0, plane_[old_cell]); }
    void add_change(std::ptrdiff_t pixel, int32_t new_cell, int32_t old_cell) {
        add(pixel, plane_[new_cell], plane_[old_cell]);
    }
    void add_changes(const Sums& changes, int32_t weight_change, const LitCount& lit_change) {
        state_.sums.merge(changes);
        state_.inside += weight_change;
        state_.lit.merge(lit_change);
    }

    // Fills `result` and hands the state back for the next call.
    void finish(KernelResult* result, GreyState<Sums>& kept) {
        constexpr int kWeight = 4;
        if (counting_ && !state_.lit.feeds_every_sum()) {
            for (int j = 0; j <= kWeight; ++j) {
                if (!state_.lit.feeds(j)) {
                    state_.sums.clear(j);
                }
            }
        }
        kept = state_;
        const Sums& sums = state_.sums;
        for (int j = 0; j < kWeight; ++j) {
            result->value[j] = normalised(sums.value(j), e_.channel_norm[j], off_, state_.inside);
        }
        result->value[kWeight] =
            normalised(sums.value(kWeight), e_.channel_norm[3], off_, state_.inside);
    }

  private:
    void add(std::ptrdiff_t pixel, uint8_t now, uint8_t before) {
        // Equal weights make a table of zeros.
        if (now == before) {
            return;
        }
        const uint16_t* levels = e_.Src_Data_sh + pixel;
        state_.sums.add(photon_table(e_, now, before), levels, e_.level_map);
        state_.inside += now - before;
        if (counting_) {
            state_.lit.add(levels, presence_change(now, before));
        }
    }

    const BokehEngine& e_;
    const uint8_t* plane_;
    const bool counting_;
    GreyState<Sums> state_;
    int32_t off_ = 0;
};

// One grey kernel call: the state kept between calls in `kept`, the row's record in `plan`.
template <class Sums>
void gather_grey(const BokehEngine& e, KernelResult* result, int32_t restart, GreyState<Sums>& kept,
                 UpdatePlan<Sums>& plan) {
    GreyCells<Sums> cells(e, kept);
    walk_stamp(e, cells, gathers_incrementally(e, restart), plan);
    cells.finish(result, kept);
}

}  // namespace scatter

#endif
