// The incremental update of a grey stamp, written out once per run of pixels.
//
// Away from the frame's left and right edges every pixel of a row updates its sums with the
// same changes: the same photon tables at the same offsets from the stamp's corner. Walking the
// stamp row by row to find them again at every pixel costs more than the additions themselves
// at large diameters, so the first update after a full gather records them, in the walk's
// order. The record is then replayed for a block of pixels at once: each table and each source
// line is fetched once for the block instead of once a pixel, which keeps a large stamp's work
// inside the first-level cache. A pixel's change is summed on its own and then added to the
// running sums; only the order of the float64 additions differs from the walk's. The steps that
// bring a pixel under the stamp or take it away are kept apart as well, so that the counts of
// pixels feeding each sum stay exact.
#ifndef QB_SCATTER_UPDATE_PLAN_H
#define QB_SCATTER_UPDATE_PLAN_H

#include <algorithm>
#include <climits>
#include <cstddef>
#include <cstdint>

#include "engine/bokeh_engine.h"
#include "scatter/gather_walk.h"

namespace scatter {

template <class Sums>
class UpdatePlan {
  public:
    // Pixels whose changes are worked out together.
    static constexpr int32_t kBlock = 32;

    // Room for the changes of a disc far larger than any pass blurs by; a stamp with more
    // changes is walked instead.
    static constexpr int32_t kCapacity = 8192;

    // Sixteen bytes, to keep a large stamp's record small in the cache.
    struct Step {
        const float* table;
        int32_t offset;  // source index relative to the pixel under stamp cell (0, 0)
        int32_t weight_change;
    };

    // A step that brings a pixel under a non-zero cell (+1) or takes it away (-1).
    struct Edge {
        int32_t offset;  // as in Step
        int32_t presence_change;
    };

    // A full gather may start a new pass or a new stamp; the record is made again when needed.
    void discard() {
        state_ = State::kStale;
        block_length_ = 0;
    }

    // Whether the update of the pixel at `w` can be replayed: every stamp row lies inside the
    // frame horizontally with a source pixel left of it.
    bool covers(const BokehEngine& e, const StampWindow& w) {
        if (e.cur_x <= e.stamp_half_width || w.keep != e.stamp_width) {
            return false;
        }
        if (state_ == State::kStale) {
            record(e);
        }
        return state_ == State::kReady;
    }

    // Adds the change from the pixel to the left to `cells`; `origin` is the source index under
    // stamp cell (0, 0).
    template <class Cells>
    void replay(const BokehEngine& e, const StampWindow& w, std::ptrdiff_t origin, Cells& cells) {
        const int32_t j = e.cur_x - block_x_;
        if (e.cur_y != block_y_ || j < 0 || j >= block_length_) {
            work_out_block(e, w, origin);
            cells.add_changes(changes_[0], weight_change_, lit_changes_[0]);
            return;
        }
        cells.add_changes(changes_[j], weight_change_, lit_changes_[j]);
    }

  private:
    enum class State { kStale, kReady, kTooLarge };

    // The changes of the pixels from cur_x on, as far as the record covers them.
    void work_out_block(const BokehEngine& e, const StampWindow& w, std::ptrdiff_t origin) {
        const int32_t last_covered = e.width - e.stamp_half_width - 1;
        block_length_ = std::min(kBlock, last_covered - e.cur_x + 1);
        block_x_ = e.cur_x;
        block_y_ = e.cur_y;
        const Step* first = steps_ + row_begin_[w.top];
        const Step* last = steps_ + row_begin_[w.bottom];
        const Edge* first_edge = edges_ + edge_row_begin_[w.top];
        const Edge* last_edge = edges_ + edge_row_begin_[w.bottom];
        if (block_length_ == kBlock) {
            sum_changes<kBlock>(e, first, last, origin, changes_);
            count_lit_changes<kBlock>(e, first_edge, last_edge, origin, lit_changes_);
        } else {
            // Near the frame's right edge, a pixel at a time.
            for (int32_t j = 0; j < block_length_; ++j) {
                const std::ptrdiff_t pixel_origin = origin + j * kLevelsPerPixel;
                sum_changes<1>(e, first, last, pixel_origin, changes_ + j);
                count_lit_changes<1>(e, first_edge, last_edge, pixel_origin, lit_changes_ + j);
            }
        }
        weight_change_ = 0;
        for (const Step* step = first; step != last; ++step) {
            weight_change_ += step->weight_change;
        }
    }

    // The changes of `count` neighbouring pixels, summed side by side so that each step's table
    // and source lines serve all of them.
    template <int count>
    static void sum_changes(const BokehEngine& e, const Step* first, const Step* last,
                            std::ptrdiff_t origin, Sums* changes) {
        Sums lane[count];
        for (Sums& sums : lane) {
            sums.reset();
        }
        for (const Step* step = first; step != last; ++step) {
            const uint16_t* pixel = e.Src_Data_sh + origin + step->offset;
            for (int j = 0; j < count; ++j) {
                lane[j].add(step->table, pixel + j * kLevelsPerPixel, e.level_map);
            }
        }
        for (int j = 0; j < count; ++j) {
            changes[j] = lane[j];
        }
    }

    // How the counts of pixels feeding each sum change at `count` neighbouring pixels. Their
    // levels lie side by side, so one pass over them serves every pixel and channel.
    template <int count>
    static void count_lit_changes(const BokehEngine& e, const Edge* first, const Edge* last,
                                  std::ptrdiff_t origin, LitCount* lit_changes) {
        constexpr int kLevels = count * kLevelsPerPixel;
        // Sixteen bits hold a pixel's change: each recorded edge moves it by one at most.
        static_assert(kCapacity <= INT16_MAX);
        int16_t lane[kLevels] = {};
        for (const Edge* edge = first; edge != last; ++edge) {
            const uint16_t* levels = e.Src_Data_sh + origin + edge->offset;
            const auto presence = static_cast<int16_t>(edge->presence_change);
            // Without a branch, so that the loop runs on whole vectors.
            for (int i = 0; i < kLevels; ++i) {
                lane[i] = static_cast<int16_t>(lane[i] + (presence & -(levels[i] != 0)));
            }
        }
        for (int j = 0; j < count; ++j) {
            std::copy(lane + j * kLevelsPerPixel, lane + (j + 1) * kLevelsPerPixel,
                      lit_changes[j].channel);
        }
    }

    // Collects the changes the walk would add, as update_row finds them.
    class Recorder {
      public:
        Recorder(const BokehEngine& e, UpdatePlan& plan) : e_(e), plan_(plan) {}
        void add_full(std::ptrdiff_t pixel, int32_t cell) { add(pixel, e_.newPattern[cell], 0); }
        void add_leaving(std::ptrdiff_t pixel, int32_t old_cell) {
            add(pixel, 0, e_.newPattern[old_cell]);
        }
        void add_change(std::ptrdiff_t pixel, int32_t new_cell, int32_t old_cell) {
            add(pixel, e_.newPattern[new_cell], e_.newPattern[old_cell]);
        }

      private:
        void add(std::ptrdiff_t pixel, uint8_t now, uint8_t before) {
            if (now == before) {
                return;
            }
            if (plan_.count_ == kCapacity) {
                plan_.state_ = State::kTooLarge;
                return;
            }
            const int32_t offset = static_cast<int32_t>(pixel);
            plan_.steps_[plan_.count_++] = {photon_table(e_, now, before), offset, now - before};
            // At most one edge a step, so the edges always have room.
            const int32_t presence = presence_change(now, before);
            if (presence != 0) {
                plan_.edges_[plan_.edge_count_++] = {offset, presence};
            }
        }

        const BokehEngine& e_;
        UpdatePlan& plan_;
    };

    void record(const BokehEngine& e) {
        // Offsets are kept in 32 bits.
        if (static_cast<int64_t>(e.stamp_height) * e.src16_stride > INT32_MAX) {
            state_ = State::kTooLarge;
            return;
        }
        state_ = State::kReady;
        count_ = 0;
        edge_count_ = 0;
        Recorder recorder(e, *this);
        for (int32_t i = 0; i < e.stamp_height; ++i) {
            row_begin_[i] = count_;
            edge_row_begin_[i] = edge_count_;
            if (e.span_first[i] < 0) {
                continue;
            }
            // Inside the frame the row keeps its whole span and has a pixel to its left.
            const RowCells whole{e.span_first[i], e.span_end[i], 1};
            update_row(e, recorder, i, whole, static_cast<std::ptrdiff_t>(i) * e.src16_stride);
        }
        row_begin_[e.stamp_height] = count_;
        edge_row_begin_[e.stamp_height] = edge_count_;
    }

    State state_ = State::kStale;
    int32_t count_ = 0;
    int32_t edge_count_ = 0;
    int32_t block_x_ = 0;
    int32_t block_y_ = 0;
    int32_t block_length_ = 0;
    int32_t weight_change_ = 0;
    Sums changes_[kBlock] = {};
    LitCount lit_changes_[kBlock] = {};
    int32_t row_begin_[BokehEngine::kMaxStampRows + 1] = {};
    int32_t edge_row_begin_[BokehEngine::kMaxStampRows + 1] = {};
    Step steps_[kCapacity] = {};
    Edge edges_[kCapacity] = {};
};

// For kernels that always walk the stamp.
struct NoPlan {
    void discard() {}
    bool covers(const BokehEngine&, const StampWindow&) { return false; }
    template <class Cells>
    void replay(const BokehEngine&, const StampWindow&, std::ptrdiff_t, Cells&) {}
};

}  // namespace scatter

#endif
