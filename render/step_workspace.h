// Per-row tables and mask scratch that every distance step of a render reuses, sized by the
// render's region.
#ifndef QB_RENDER_STEP_WORKSPACE_H
#define QB_RENDER_STEP_WORKSPACE_H

#include <cstddef>
#include <cstdint>

namespace render {

// The lowest and highest distance value of one region row or column: a step whose range misses
// it has no pixel there.
struct RowDistances {
    uint8_t lowest = 0;
    uint8_t highest = 0;
};

// Columns first .. end - 1 of a row; none when end <= first.
struct DirtyColumns {
    int32_t first = 0;
    int32_t end = 0;
};

class StepWorkspace {
  public:
    StepWorkspace() = default;
    StepWorkspace(const StepWorkspace&) = delete;
    StepWorkspace& operator=(const StepWorkspace&) = delete;
    ~StepWorkspace();

    // Allocates every table for a region of `width` x `height`; on failure answers the text
    // naming what could not be had, holds nothing, and returns false.
    bool allocate(int32_t width, int32_t height, const char** failure_text);

    // Per region row: the engine's work count of the step (0: nothing to do in that row).
    int32_t* row_work = nullptr;
    RowDistances* row_distances = nullptr;
    RowDistances* column_distances = nullptr;
    // Per region row: the columns of the step buffer's row that may hold pixels of an earlier
    // step; zeros lie everywhere else.
    DirtyColumns* row_dirty = nullptr;
    // Vertical growth of the mask, and the smoothing's output rows (width x height bytes).
    uint8_t* mask_scratch = nullptr;
    // Per region column: the vertical growth's state, followed by the rows each of `sum_rows`
    // threads reached with it (see growth_counts); and the smoothing's column sums, one row of
    // them for each thread.
    int32_t* column_state = nullptr;
    uint16_t* column_sums = nullptr;
    int32_t sum_rows = 0;

    // The table of `thread` in which the vertical growth counts the rows it reached, one entry
    // a region row and one more; inside column_state's allocation.
    int32_t* growth_counts(int thread, int32_t height) const {
        return column_state + static_cast<std::ptrdiff_t>(kColumnStateEntries) * width_ +
               static_cast<std::ptrdiff_t>(thread) * (height + 1);
    }

    // Two entries a column: whether the column is inside a run, and the countdown of its growth.
    static constexpr int32_t kColumnStateEntries = 2;

  private:
    void release();

    int32_t width_ = 0;
};

}  // namespace render

#endif
