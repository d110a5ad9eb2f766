// The cells of a grey stamp as the plain and the vector kernel read them: one plane weights all
// four channels and the weight sum. The two kernels differ only in their running sums.
//
// A Sums type holds the kernel's five light sums and `inside`, the weight of the stamp cells
// that lie in the frame, and offers reset(), add(table, pixel, level_map), merge(other sums)
// and value(j) for j = 0..4 (the weight sum last). The kernel keeps them module-wide between calls;
// during a call they are worked on in a local copy, so that the additions need not go through
// memory.
#ifndef QB_SCATTER_GREY_CELLS_H
#define QB_SCATTER_GREY_CELLS_H

#include <cstddef>
#include <cstdint>

#include "engine/bokeh_engine.h"
#include "scatter/gather_walk.h"
#include "scatter/update_plan.h"

namespace scatter {

template <class Sums>
class GreyCells {
  public:
    GreyCells(const BokehEngine& e, const Sums& kept) : e_(e), plane_(e.newPattern), sums_(kept) {}

    void reset() { sums_.reset(); }
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
    void add_changes(const Sums& changes, int32_t weight_change) {
        sums_.merge(changes);
        sums_.inside += weight_change;
    }

    // Fills `result` and hands the sums back for the next call.
    void finish(KernelResult* result, Sums& kept) const {
        kept = sums_;
        constexpr int kWeight = 4;
        for (int j = 0; j < kWeight; ++j) {
            result->value[j] = normalised(sums_.value(j), e_.channel_norm[j], off_, sums_.inside);
        }
        result->value[kWeight] =
            normalised(sums_.value(kWeight), e_.channel_norm[3], off_, sums_.inside);
    }

  private:
    void add(std::ptrdiff_t pixel, uint8_t now, uint8_t before) {
        // Equal weights make a table of zeros.
        if (now == before) {
            return;
        }
        sums_.add(photon_table(e_, now, before), e_.Src_Data_sh + pixel, e_.level_map);
        sums_.inside += now - before;
    }

    const BokehEngine& e_;
    const uint8_t* plane_;
    Sums sums_;
    int32_t off_ = 0;
};

// One grey kernel call: the sums kept between calls in `kept`, the row's record in `plan`.
template <class Sums>
void gather_grey(const BokehEngine& e, KernelResult* result, int32_t restart, Sums& kept,
                 UpdatePlan<Sums>& plan) {
    GreyCells<Sums> cells(e, kept);
    walk_stamp(e, cells, gathers_incrementally(e, restart), plan);
    cells.finish(result, kept);
}

}  // namespace scatter

#endif
