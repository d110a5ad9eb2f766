// The gather kernels as the scatter loop drives them: one pass's setup, and one call per output
// pixel with the state the calling thread keeps for its row.
#ifndef QB_SCATTER_GATHER_KERNELS_H
#define QB_SCATTER_GATHER_KERNELS_H

#include <cstdint>

#include "platform/allocation.h"
#include "scatter/gather_walk.h"
#include "scatter/kernel_result.h"
#include "scatter/pass_view.h"
#include "scatter/stamp_cells.h"

namespace scatter {

// Whether the processor runs the vector kernels, and their eight-lane form.
bool has_vector_kernels();
bool has_wide_vectors();

StampKind stamp_kind(const PassView& e);

// The plan of a kernel's state, with what this pass's kernel sums it with and where the run of
// pixels being gathered ends.
class BoundPlan {
  public:
    BoundPlan(UpdatePlan& plan, const KernelSetup& setup, int32_t run_end, bool counting)
        : plan_(plan), setup_(setup), run_end_(run_end), counting_(counting) {}
    void discard() { plan_.discard(); }
    bool covers(const PassView& e, std::ptrdiff_t stride) {
        return plan_.covers(e, setup_.plane, stride);
    }
    template <class Cells>
    void replay(const PassView& e, const LightView& light, Position at, const StampWindow& w,
                std::ptrdiff_t origin, Cells& cells) {
        plan_.replay(e, setup_.sum_block, light, at, run_end_, w, origin, counting_, cells);
    }

  private:
    UpdatePlan& plan_;
    const KernelSetup& setup_;
    const int32_t run_end_;
    const bool counting_;
};

// The stamp-weighted light around the pixels first .. end - 1 of row y, handed to
// emit(x, result) in increasing x. With `restart` 0, `state` was last used for the pixel left of
// `first` in this pass. Reads the light of state.light.
template <class Emit>
void gather_run(const PassView& e, const KernelSetup& setup, KernelState& state, int32_t y,
                int32_t first, int32_t end, int32_t restart, Emit emit) {
    const bool counting = counts_feeders(e, setup, state.light, y);
    StampCells cells(setup, state, counting);
    BoundPlan plan(state.plan, setup, end, counting);
    // Most pixels take their change from the block worked out already, and have the whole
    // stamp in the frame; they skip the walk and the window.
    const bool row_inside = y >= e.stamp.half_height && y + e.stamp.half_height < e.height;
    const int32_t inside_first = e.stamp.half_width;
    const int32_t inside_end = e.width - e.stamp.half_width;
    for (int32_t x = first; x < end; ++x) {
        const Position at{x, y};
        const bool incremental = gathers_incrementally(e, at, x == first ? restart : 0);
        if (!incremental || !state.plan.replay_worked_out(at, cells)) {
            walk_stamp(e, state.light, at, cells, incremental, plan);
        }
        KernelResult result;
        if (row_inside && x >= inside_first && x < inside_end) {
            cells.result_inside(&result);
        } else {
            cells.result(stamp_window(e, at), &result);
        }
        emit(x, result);
    }
    cells.keep(state);
}

// One pixel of gather_run.
void gather(const PassView& e, const KernelSetup& setup, KernelState& state, Position at,
            int32_t restart, KernelResult* result);

// The gather kernels called one output pixel at a time, for checking them pixel by pixel. With
// `restart` 0 the previous call of the same kernel on this object was for the pixel left of `at`
// in this pass; each kernel keeps its sums here between calls. They read the source as light
// rows of the whole frame, converted from Src_Data_sh on first use; false when those or the
// stamp weights cannot be allocated, and the result is then 0.
class PixelKernels {
  public:
    explicit PixelKernels(const PassView& e) : e_(e) {}
    bool gather_plain(Position at, KernelResult* result, int32_t restart);
    bool gather_vector(Position at, KernelResult* result, int32_t restart);
    bool gather_colour(Position at, KernelResult* result, int32_t restart);

  private:
    bool gather_one(Position at, KernelResult* result, int32_t restart, bool colour, bool vector);

    const PassView& e_;
    platform::OwnedArray<float> light_rows_;
    platform::OwnedArray<uint8_t> unlit_rows_;
    LightView frame_light_;
    KernelState plain_;
    KernelState vector_;
    KernelState colour_;
};

}  // namespace scatter

#endif
