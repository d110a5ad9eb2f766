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

// Starts work(t) for t = 1 .. threads - 1, each on a thread of its own; fewer when the system
// refuses one.
template <class Work>
std::vector<std::thread> start_helpers(int threads, Work& work) {
    std::vector<std::thread> started;
    try {
        started.reserve(static_cast<std::size_t>(std::max(threads - 1, 0)));
        for (int t = 1; t < threads; ++t) {
            started.emplace_back(work, t);
        }
    } catch (...) {
        // Fewer threads, the same work.
    }
    return started;
}

inline void join(std::vector<std::thread>& started) {
    for (std::thread& thread : started) {
        thread.join();
    }
}

// Runs work(thread) on `threads` threads, the calling thread being thread 0, and returns when
// all have returned. A thread that cannot be started leaves its share to the others, so `work`
// must take its share from something shared, such as a RowCounter.
template <class Work>
void run(int threads, Work work) {
    std::vector<std::thread> started = start_helpers(threads, work);
    work(0);
    join(started);
}

// Like run(), but work(thread, members) begins only once every thread that could be started has
// been, and learns how many run: work that waits for the others must know whom to wait for.
template <class Work>
void run_gathered(int threads, Work work) {
    std::atomic<int> members{0};
    auto member = [&](int thread) {
        members.wait(0, std::memory_order_acquire);
        work(thread, members.load(std::memory_order_acquire));
    };
    std::vector<std::thread> started = start_helpers(threads, member);
    members.store(static_cast<int>(started.size()) + 1, std::memory_order_release);
    members.notify_all();
    member(0);
    join(started);
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
