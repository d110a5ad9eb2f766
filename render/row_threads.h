// The driver's stages spread rows (or blocks of columns) over the threads the engine's pass uses,
// with threads started for the stage and joined at its end like the pass's own: pooled threads
// that spin while waiting would take the cores from the pass that follows.
#ifndef QB_RENDER_ROW_THREADS_H
#define QB_RENDER_ROW_THREADS_H

#include <cstdint>

#include "engine/thread_team.h"

namespace render {

// Below this many cells a box stays on the calling thread: starting a thread costs about as much
// as a thread's share of the work would save.
inline constexpr int64_t kCellsWorthAThread = 1 << 16;

// Calls work(thread, i) once for every i in first .. end - 1, each item `cells_per_item` cells of
// work; `thread` is below thread_team::pass_threads().
template <class Work>
void for_each_row(int32_t first, int32_t end, int64_t cells_per_item, Work work) {
    const int64_t cells = static_cast<int64_t>(end - first) * cells_per_item;
    const int threads = cells < kCellsWorthAThread ? 1 : thread_team::pass_threads();
    thread_team::RowCounter items(first, end);
    thread_team::run(threads, [&](int thread) {
        for (int32_t i = items.take(); i >= 0; i = items.take()) {
            work(thread, i);
        }
    });
}

}  // namespace render

#endif
