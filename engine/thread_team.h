// The threads a pass spreads its rows over. As many as OpenMP would use (OMP_NUM_THREADS,
// omp_set_num_threads), but started for the pass and joined at its end: threads that wait for
// work by spinning, as OpenMP's do by default, take the cores from the rest of the pass, and
// from everything else, on a machine whose cores are busy.
#ifndef QB_ENGINE_THREAD_TEAM_H
#define QB_ENGINE_THREAD_TEAM_H

#include <omp.h>

#include <algorithm>
#include <atomic>
#include <cstdint>
#include <thread>
#include <vector>

namespace thread_team {

// The threads a pass may use.
inline int pass_threads() {
    return std::max(1, omp_get_max_threads());
}

// Runs work(thread) on `threads` threads, the calling thread being thread 0, and returns when
// all have returned. A thread that cannot be started leaves its share to the others, so `work`
// must take its share from something shared, such as a RowCounter.
template <class Work>
void run(int threads, Work work) {
    std::vector<std::thread> started;
    try {
        started.reserve(static_cast<std::size_t>(threads - 1));
        for (int t = 1; t < threads; ++t) {
            started.emplace_back(work, t);
        }
    } catch (...) {
        // Fewer threads, the same work.
    }
    work(0);
    for (std::thread& thread : started) {
        thread.join();
    }
}

// Hands out rows first .. end - 1, each once, to whichever thread asks first.
class RowCounter {
  public:
    RowCounter(int32_t first, int32_t end) : next_(first), end_(end) {}
    // The next row, or -1 when none is left.
    int32_t take() {
        const int32_t y = next_.fetch_add(1, std::memory_order_relaxed);
        return y < end_ ? y : -1;
    }

  private:
    std::atomic<int32_t> next_;
    const int32_t end_;
};

// Runs row_work(y) for rows first .. end - 1 on `threads` threads.
template <class RowWork>
void for_rows(int32_t first, int32_t end, int threads, RowWork row_work) {
    RowCounter rows(first, end);
    run(std::min<int64_t>(threads, std::max(1, end - first)), [&](int) {
        for (int32_t y = rows.take(); y >= 0; y = rows.take()) {
            row_work(y);
        }
    });
}

}  // namespace thread_team

#endif
