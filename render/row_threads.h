// The driver's stages spread rows (or blocks of columns) over the threads the engine's pass uses,
// with threads started for the work and joined at its end like the pass's own: pooled threads
// that spin while waiting would take the cores from the pass that follows. The stages of one
// distance step share a team, whose threads sleep while they wait for each other.
#ifndef QB_RENDER_ROW_THREADS_H
#define QB_RENDER_ROW_THREADS_H

#include <atomic>
#include <cstdint>

#include "engine/thread_team.h"

namespace render {

// Below this many cells a box stays on the calling thread: starting a thread costs about as much
// as a thread's share of the work would save.
inline constexpr int64_t kCellsWorthAThread = 1 << 16;

inline int threads_for(int64_t cells) {
    return cells < kCellsWorthAThread ? 1 : thread_team::pass_threads();
}

// Calls work(thread, i) once for every i in first .. end - 1, each item `cells_per_item` cells of
// work; `thread` is below thread_team::pass_threads().
template <class Work>
void for_each_row(int32_t first, int32_t end, int64_t cells_per_item, Work work) {
    const int64_t cells = static_cast<int64_t>(end - first) * cells_per_item;
    thread_team::RowCounter items(first, end);
    thread_team::run(threads_for(cells), [&](int thread) {
        for (int32_t i = items.take(); i >= 0; i = items.take()) {
            work(thread, i);
        }
    });
}

// One thread's view of a team that works through several stages in turn, each stage needing
// what the whole team did in the one before. One team for all of them: starting threads for
// each stage cost more than the small stages of a distance step themselves.
class Stages {
  public:
    // What the team's threads share.
    struct Shared {
        std::atomic<int32_t> arrived{0};
        std::atomic<int32_t> generation{0};
        // Stage k takes its items from next[k % 2]; the other one is reset meanwhile.
        std::atomic<int32_t> next[2] = {0, 0};
    };

    Stages(Shared& shared, int thread, int members)
        : shared_(shared), thread_(thread), members_(members) {}

    // Calls work(thread, i) for every i in first .. end - 1, the items shared with the rest of
    // the team, and returns once the whole team has finished them. Every thread of the team
    // must call it with the same range, stage for stage.
    template <class Work>
    void for_each(int32_t first, int32_t end, Work work) {
        std::atomic<int32_t>& next = shared_.next[stage_ % 2];
        for (int32_t i = first + next.fetch_add(1, std::memory_order_relaxed); i < end;
             i = first + next.fetch_add(1, std::memory_order_relaxed)) {
            work(thread_, i);
        }
        if (thread_ == 0) {
            // Nobody takes from it before the team has met below.
            shared_.next[(stage_ + 1) % 2].store(0, std::memory_order_relaxed);
        }
        ++stage_;
        wait_for_team();
    }

    int thread() const { return thread_; }
    int members() const { return members_; }

  private:
    void wait_for_team() {
        if (members_ == 1) {
            return;
        }
        const int32_t generation = shared_.generation.load(std::memory_order_acquire);
        if (shared_.arrived.fetch_add(1, std::memory_order_acq_rel) + 1 == members_) {
            shared_.arrived.store(0, std::memory_order_relaxed);
            shared_.generation.fetch_add(1, std::memory_order_release);
            shared_.generation.notify_all();
            return;
        }
        for (int32_t now = generation; now == generation;
             now = shared_.generation.load(std::memory_order_acquire)) {
            shared_.generation.wait(generation, std::memory_order_acquire);
        }
    }

    Shared& shared_;
    const int thread_;
    const int members_;
    int32_t stage_ = 0;
};

// Runs plan(stages) on one team of threads, as many as `cells` of work are worth; each thread
// calls the same stages in the same order.
template <class Plan>
void run_stages(int64_t cells, Plan plan) {
    Stages::Shared shared;
    thread_team::run_gathered(threads_for(cells), [&](int thread, int members) {
        Stages stages(shared, thread, members);
        plan(stages);
    });
}

}  // namespace render

#endif
