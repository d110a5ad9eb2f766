// How many threads the driver's stages spread their rows (or blocks of columns) over
// (platform/parallel_rows.h): the pass's own count, but only when the work is worth it.
#ifndef QB_RENDER_ROW_THREADS_H
#define QB_RENDER_ROW_THREADS_H

#include <cstdint>

#include "platform/parallel_rows.h"

namespace render {

// Below this many cells a box stays on the calling thread: starting a thread costs about as much
// as a thread's share of the work would save.
inline constexpr int64_t kCellsWorthAThread = 1 << 16;

inline int threads_for(int64_t cells) {
    return cells < kCellsWorthAThread ? 1 : platform::row_threads();
}

}  // namespace render

#endif
