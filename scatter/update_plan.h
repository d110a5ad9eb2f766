// The incremental update of the stamp, written out once per run of pixels.
//
// Every pixel of a row updates its sums with the same changes: the same cell weight changes at
// the same offsets from the stamp's corner (the light rows hold no light beyond the frame's side
// edges, so the frame cutting the stamp changes nothing).
// Walking the stamp row by row to find them again at every pixel costs more than the additions
// themselves at large diameters, so the first update after a full gather records them, in the
// walk's order. The record is then replayed for a block of pixels at once (block_sums.h): each
// step and each source line is fetched once for the block instead of once a pixel, which keeps
// a large stamp's work inside the first-level cache. A pixel's change is summed on its own and
// then added to the running sums; only the order of the float64 additions differs from the
// walk's. The steps that bring a pixel under the stamp or take it away are kept apart as well,
// so that the counts of pixels feeding each sum stay exact.
#ifndef QB_SCATTER_UPDATE_PLAN_H
#define QB_SCATTER_UPDATE_PLAN_H

#include <algorithm>
#include <climits>
#include <cstddef>
#include <cstdint>

#include "scatter/block_sums.h"
#include "scatter/gather_walk.h"
#include "scatter/light_rows.h"
#include "scatter/pass_view.h"

namespace scatter {

class UpdatePlan {
  public:
    // Pixels whose changes are worked out together.
    static constexpr int32_t kBlock = 32;

    // Room for the changes of a disc far larger than any pass blurs by; a stamp with more
    // changes is walked instead.
    static constexpr int32_t kCapacity = 8192;

    // A full gather may start a new pass or a new stamp; the record is made again when needed.
    void discard() {
        state_ = State::kStale;
        block_length_ = 0;
    }

    // Whether updates can be replayed; `planes` are the channels' planes, `stride` the pixels
    // of a light row.
    bool covers(const PassView& e, const uint8_t* const* planes, std::ptrdiff_t stride) {
        if (state_ == State::kStale) {
            record(e, planes, stride);
        }
        return state_ == State::kReady;
    }

    // Adds the change from the pixel to the left to `cells`; `origin` is the source pixel under
    // stamp cell (0, 0), and the pixels being gathered end before `run_end`. Without
    // `counting`, the lit counts' changes are left 0.
    template <class Cells>
    void replay(const PassView& e, BlockSummer sum_block, const LightView& light, Position at,
                int32_t run_end, const StampWindow& w, std::ptrdiff_t origin, bool counting,
                Cells& cells) {
        int32_t j = at.x - block_x_;
        if (at.y != block_y_ || j < 0 || j >= block_length_) {
            work_out_block(e, sum_block, light, at, run_end, w, origin, counting);
            j = 0;
        }
        cells.add_changes(changes_[j], lit_changes_[j]);
    }

    // Adds the change of the pixel at `at` when the block worked out last holds it; false
    // otherwise, and nothing is added.
    template <class Cells>
    bool replay_worked_out(Position at, Cells& cells) const {
        const int32_t j = at.x - block_x_;
        if (state_ != State::kReady || at.y != block_y_ || j < 0 || j >= block_length_) {
            return false;
        }
        cells.add_changes(changes_[j], lit_changes_[j]);
        return true;
    }

  private:
    enum class State { kStale, kReady, kTooLarge };

    // The changes of the pixels from at.x on, to the end of the block or of the run of pixels
    // being gathered, which ends before `run_end`.
    void work_out_block(const PassView& e, BlockSummer sum_block, const LightView& light,
                        Position at, int32_t run_end, const StampWindow& w, std::ptrdiff_t origin,
                        bool counting) {
        block_length_ = std::min(kBlock, std::min(e.width, run_end) - at.x);
        block_x_ = at.x;
        block_y_ = at.y;
        const UpdateStep* first = steps_ + row_begin_[w.top];
        const UpdateStep* last = steps_ + row_begin_[w.bottom];
        const PresenceStep* first_edge = edges_ + edge_row_begin_[w.top];
        const PresenceStep* last_edge = counting ? edges_ + edge_row_begin_[w.bottom] : first_edge;
        sum_block(BlockTask{first, last, first_edge, last_edge, light.channel, light.weight, origin,
                            block_length_},
                  changes_, lit_changes_);
    }

    // Collects the changes the walk would add, as update_row finds them.
    class Recorder {
      public:
        Recorder(const uint8_t* const* planes, UpdatePlan& plan) : planes_(planes), plan_(plan) {}
        void add_full(std::ptrdiff_t pixel, int32_t cell) { add(pixel, cell, -1); }
        void add_leaving(std::ptrdiff_t pixel, int32_t old_cell) { add(pixel, -1, old_cell); }
        void add_change(std::ptrdiff_t pixel, int32_t new_cell, int32_t old_cell) {
            add(pixel, new_cell, old_cell);
        }

      private:
        // A cell of -1 is a place outside the stamp, of weight 0.
        int32_t weight(int k, int32_t cell) const { return cell < 0 ? 0 : planes_[k][cell]; }

        void add(std::ptrdiff_t pixel, int32_t new_cell, int32_t old_cell) {
            UpdateStep step{{}, static_cast<int32_t>(pixel)};
            PresenceStep edge{{}, step.offset};
            bool changes = false;
            bool moves = false;
            for (int k = 0; k < kLevelsPerPixel; ++k) {
                const int32_t now = weight(k, new_cell);
                const int32_t before = weight(k, old_cell);
                step.change[k] = static_cast<float>(now - before);
                edge.presence[k] = presence_change(now, before);
                changes = changes || now != before;
                moves = moves || edge.presence[k] != 0;
            }
            if (!changes) {
                return;
            }
            if (plan_.count_ == kCapacity) {
                plan_.state_ = State::kTooLarge;
                return;
            }
            plan_.steps_[plan_.count_++] = step;
            // At most one edge a step, so the edges always have room.
            if (moves) {
                plan_.edges_[plan_.edge_count_++] = edge;
            }
        }

        const uint8_t* const* planes_;
        UpdatePlan& plan_;
    };

    void record(const PassView& e, const uint8_t* const* planes, std::ptrdiff_t stride) {
        // Offsets are kept in 32 bits.
        if (static_cast<int64_t>(e.stamp.height) * stride > INT32_MAX) {
            state_ = State::kTooLarge;
            return;
        }
        state_ = State::kReady;
        count_ = 0;
        edge_count_ = 0;
        Recorder recorder(planes, *this);
        for (int32_t i = 0; i < e.stamp.height; ++i) {
            row_begin_[i] = count_;
            edge_row_begin_[i] = edge_count_;
            if (e.stamp.span_first[i] < 0) {
                continue;
            }
            update_row(e, recorder, i, i * stride);
        }
        row_begin_[e.stamp.height] = count_;
        edge_row_begin_[e.stamp.height] = edge_count_;
    }

    State state_ = State::kStale;
    int32_t count_ = 0;
    int32_t edge_count_ = 0;
    int32_t block_x_ = 0;
    int32_t block_y_ = 0;
    int32_t block_length_ = 0;
    LightSums changes_[kBlock] = {};
    LitCount lit_changes_[kBlock] = {};
    // The record: read only as far as record() wrote it. Left unset until then, since clearing
    // its 330 KB for each thread of each pass took a depth render half a millisecond.
    int32_t row_begin_[Stamp::kMaxStampRows + 1];
    int32_t edge_row_begin_[Stamp::kMaxStampRows + 1];
    UpdateStep steps_[kCapacity];
    PresenceStep edges_[kCapacity];
};

}  // namespace scatter

#endif
