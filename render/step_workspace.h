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
    // The smoothing's column sums, one row of them for each of `sum_rows` threads.
    uint16_t* column_sums = nullptr;
    int32_t sum_rows = 0;

    // The vertical growth's state on `thread`: two entries a region column, whether the column
    // is inside a run and the countdown of its growth.
    int32_t* column_state(int thread) const {
        return column_scratch_ + static_cast<std::ptrdiff_t>(thread) * thread_entries();
    }
    // The table of `thread` in which the vertical growth counts the rows it reached, one entry
    // a region row and one more.
    int32_t* growth_counts(int thread) const {
        return column_state(thread) + static_cast<std::ptrdiff_t>(kColumnStateEntries) * width_;
    }
    // Which thread took each part of a step's band (BandParts), one entry a thread.
    int32_t* part_owners() const {
        return column_scratch_ + static_cast<std::ptrdiff_t>(sum_rows) * thread_entries();
    }

    static constexpr int32_t kColumnStateEntries = 2;

  private:
    void release();

    // Each thread's entries start a cache line of their own, so that no two threads write to one.
    std::ptrdiff_t thread_entries() const {
        constexpr std::ptrdiff_t kEntriesALine = 16;
        const std::ptrdiff_t entries =
            static_cast<std::ptrdiff_t>(kColumnStateEntries) * width_ + height_ + 1;
        return (entries + kEntriesALine - 1) / kEntriesALine * kEntriesALine;
    }

    int32_t* column_scratch_ = nullptr;
    int32_t width_ = 0;
    int32_t height_ = 0;
};

}  // namespace render

#endif
