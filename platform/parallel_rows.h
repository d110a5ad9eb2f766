// Rows (or any numbered items) spread over threads: the one way the engine, the scatter pass and
// the render driver run work in parallel.
//
// - As many threads as OpenMP would use (omp_set_num_threads, OMP_NUM_THREADS; per calling
//   thread), but started for the work and joined at its end, or kept asleep between teams for a
//   render (kept_threads.h): threads that wait for work by spinning, as OpenMP's do by default,
//   take the cores from the rest of the render, and from everything else, on a machine whose
//   cores are busy.
// - The calling thread is always member 0 of the team. A thread the system refuses to start
//   leaves its share to the others: items are taken from a shared counter, never assigned.
// - Nothing here fails or throws; work that needs memory per thread allocates it before the
//   team starts.
#ifndef QB_PLATFORM_PARALLEL_ROWS_H
#define QB_PLATFORM_PARALLEL_ROWS_H

#include <omp.h>

#include <algorithm>
#include <atomic>
#include <cstddef>
#include <cstdint>
#include <thread>
#include <vector>

#include "platform/brief_wait.h"
#include "platform/kept_threads.h"

namespace platform {

// The threads a team of the calling thread may have.
inline int row_threads() {
    return std::max(1, omp_get_max_threads());
}

// Below this many cells (pixels, iris cells) a piece of work stays on the calling thread: waking
// a thread costs about as much as its share would save.
inline constexpr int64_t kCellsWorthAThread = 1 << 16;

// The threads for work over `cells` cells: row_threads(), when the work is worth it.
inline int threads_for(int64_t cells) {
    return cells < kCellsWorthAThread ? 1 : row_threads();
}

// One member's view of a team that works through stages in turn, each stage needing what the
// whole team did in the one before. The stages of one distance step share one team: starting
// threads for each stage cost more than the small stages themselves. Members that wait for the
// others sleep.
class RowTeam {
  public:
    // What the members share.
    struct Shared {
        std::atomic<int32_t> arrived{0};
        std::atomic<int32_t> generation{0};
        // Stage k takes its items from next[k % 2]; the other one is reset meanwhile.
        std::atomic<int32_t> next[2] = {0, 0};
    };

    RowTeam(Shared& shared, int thread, int members)
        : shared_(shared), thread_(thread), members_(members) {}

    // Calls work(thread, i) for every i in first .. end - 1, the items shared with the rest of
    // the team, and returns once the whole team has finished them. Every member must call it
    // with the same range, stage for stage.
    template <class Work>
    void for_each(int32_t first, int32_t end, Work work) {
        std::atomic<int32_t>& next = shared_.next[stage_ % 2];
        const int32_t items = end - first;
        const int32_t least = shortest_run(items);
        for (Run run = take_run(next, items, least); run.first < run.end;
             run = take_run(next, items, least)) {
            for (int32_t i = first + run.first; i < first + run.end; ++i) {
                work(thread_, i);
            }
        }
        if (thread_ == 0) {
            // Nobody takes from it before the team has met below.
            shared_.next[(stage_ + 1) % 2].store(0, std::memory_order_relaxed);
        }
        ++stage_;
        wait_for_team();
    }

    // Returns once every member has called it: the end of a stage whose items the members share
    // out among themselves.
    void meet() { wait_for_team(); }

    // Below members().
    int thread() const { return thread_; }
    int members() const { return members_; }

  private:
    // Items go out a run of neighbours at a time. Handed out one by one, two threads took turns
    // at the shared counter and wrote neighbouring rows' results into the same cache lines, each
    // taking the other's lines across cores: a depth render's stages took a quarter longer on
    // two threads than their share. A run is a share of the items left, half a member's at
    // first, so that runs shorten as the stage ends: with runs of a fixed quarter, a member
    // the machine held back for a moment left the other waiting for the rest of its quarter.
    static constexpr int32_t kRunsPerMember = 2;
    // The shortest run is this share of the first.
    static constexpr int32_t kShortestRunShare = 8;

    // Items [first, end) of a stage's, counted from its first.
    struct Run {
        int32_t first;
        int32_t end;
    };

    int32_t shortest_run(int32_t items) const {
        return std::max(1, items / (members_ * kRunsPerMember * kShortestRunShare));
    }

    // The next run of a stage of `items` items, empty when none is left.
    Run take_run(std::atomic<int32_t>& next, int32_t items, int32_t least) const {
        int32_t taken = next.load(std::memory_order_relaxed);
        int32_t end = taken;
        do {
            if (taken >= items) {
                return Run{items, items};
            }
            const int32_t share = (items - taken) / (members_ * kRunsPerMember);
            end = std::min(items, taken + std::max(least, share));
        } while (!next.compare_exchange_weak(taken, end, std::memory_order_relaxed));
        return Run{taken, end};
    }

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
        wait_for_change(shared_.generation, generation, std::memory_order_acquire);
    }

    Shared& shared_;
    const int thread_;
    const int members_;
    int32_t stage_ = 0;
};

// Runs plan(team) on a team of up to `threads` threads, the calling thread first among them,
// and returns when every member has returned. A member begins only once every thread that could
// be started has been, so that it knows whom stages wait for.
template <class Plan>
void run_team(int threads, Plan plan) {
    RowTeam::Shared shared;
    if (KeptThreads* kept = threads > 1 ? KeptThreads::available() : nullptr) {
        const int members = kept->ready(threads - 1) + 1;
        auto kept_member = [&](int thread) {
            RowTeam team(shared, thread, members);
            plan(team);
        };
        kept->run(members, kept_member);
        return;
    }
    std::atomic<int> members{0};
    auto member = [&](int thread) {
        members.wait(0, std::memory_order_acquire);
        RowTeam team(shared, thread, members.load(std::memory_order_acquire));
        plan(team);
    };
    std::vector<std::thread> started;
    try {
        started.reserve(static_cast<std::size_t>(std::max(threads - 1, 0)));
        for (int t = 1; t < threads; ++t) {
            started.emplace_back(member, t);
        }
    } catch (...) {
        // Fewer threads, the same work.
    }
    members.store(static_cast<int>(started.size()) + 1, std::memory_order_release);
    members.notify_all();
    member(0);
    for (std::thread& thread : started) {
        thread.join();
    }
}

// Calls work(thread, i) once for every i in first .. end - 1 on up to `threads` threads, no more
// than there are items.
template <class Work>
void for_each_row(int32_t first, int32_t end, int threads, Work work) {
    const int64_t items = std::max<int64_t>(1, int64_t{end} - first);
    run_team(static_cast<int>(std::min<int64_t>(threads, items)),
             [&](RowTeam& team) { team.for_each(first, end, work); });
}

// Calls work(slice, first, end) once for each of `slices` equal slices [first, end) of items
// 0 .. count - 1 (the last may be short or empty) on up to `threads` threads: for work over a
// buffer with no rows of its own.
template <class Work>
void for_each_slice(std::size_t count, int32_t slices, int threads, Work work) {
    const std::size_t slice =
        (count + static_cast<std::size_t>(slices) - 1) / static_cast<std::size_t>(slices);
    for_each_row(0, slices, threads, [&](int, int32_t s) {
        const std::size_t first = std::min(count, static_cast<std::size_t>(s) * slice);
        work(s, first, std::min(count, first + slice));
    });
}

// The rows of a chunk: least <= most, both at least 1.
struct ChunkRows {
    int32_t least;
    int32_t most;
};

// Rows 0 .. rows - 1 handed out in chunks to whichever member asks first, while the calling
// thread reports them, in row order, ahead of the chunks taken; a row is worked only once it
// has been reported. A report may stop the work: the row it stopped at and every later one are
// then never worked, whichever thread holds them.
template <class StopAt>
class ReportedRows {
  public:
    // How far the reports run ahead of the chunks taken: enough that no member waits for one.
    static constexpr int32_t kRowsReportedAhead = 64;
    // A chunk is this many members' share of the rows left.
    static constexpr int32_t kChunksAMember = 2;

    ReportedRows(int32_t rows, ChunkRows sizes, StopAt& stop_at)
        : rows_(rows), sizes_(sizes), stop_at_(stop_at) {}

    // The next chunk [first, end) for a member of a team of `members`; empty when no row is
    // left. A chunk is a share of the rows left within the sizes given: long runs of
    // neighbouring rows while many are left, short ones at the end, so that the members end
    // together.
    struct Chunk {
        int32_t first;
        int32_t end;
    };
    Chunk take_chunk(bool reporter, int members) {
        int32_t first = next_.load(std::memory_order_relaxed);
        int32_t end = first;
        do {
            if (first >= rows_) {
                // Others may still wait for the rows of the chunks taken last.
                if (reporter) {
                    report_ahead();
                }
                return {first, first};
            }
            const int32_t share = (rows_ - first) / (kChunksAMember * members);
            end = std::min(rows_, first + std::clamp(share, sizes_.least, sizes_.most));
        } while (!next_.compare_exchange_weak(first, end, std::memory_order_relaxed));
        return {first, end};
    }

    // Returns once row y has been reported, true, or a report has stopped before it, false.
    // The reporter reports rows itself instead of waiting for them.
    bool wait_for(int32_t y, bool reporter) {
        while (y >= reported_.load(std::memory_order_acquire)) {
            if (stopped_.load(std::memory_order_acquire)) {
                return false;
            }
            if (reporter) {
                report_ahead();
            } else {
                std::this_thread::yield();
            }
        }
        return true;
    }

    // Reports rows, in order, until the reports run kRowsReportedAhead rows past the chunks
    // taken, or until one stops the work.
    void report_ahead() {
        const int32_t target =
            std::min(rows_, next_.load(std::memory_order_relaxed) + kRowsReportedAhead);
        for (int32_t y = reported_.load(std::memory_order_relaxed); y < target; ++y) {
            if (stopped_.load(std::memory_order_relaxed)) {
                return;
            }
            if (stop_at_(y)) {
                stopped_.store(true, std::memory_order_release);
                return;
            }
            reported_.store(y + 1, std::memory_order_release);
        }
    }

    // The first row not reported: the row the work stopped at, or `rows`.
    int32_t reported() const { return reported_.load(std::memory_order_acquire); }

  private:
    const int32_t rows_;
    const ChunkRows sizes_;
    StopAt& stop_at_;
    std::atomic<int32_t> next_{0};
    std::atomic<int32_t> reported_{0};
    std::atomic<bool> stopped_{false};
};

// Works rows 0 .. rows - 1 as ReportedRows hands them out in chunks of `sizes`, on up to
// `threads` threads: start_team(team) on every member first, whose work the members may share
// with team.for_each; then start_chunk(first, end, thread) once a member has taken the chunk
// [first, end), and work_row(y, thread) for each of its rows once reported. stop_at(y), called
// on the calling thread alone and in row order, returns true to stop at row y. Returns the first
// row not reported: `rows` when the work was not stopped.
template <class StopAt, class StartTeam, class StartChunk, class WorkRow>
int32_t for_each_reported_row(int32_t rows, ChunkRows sizes, int threads, StopAt stop_at,
                              StartTeam start_team, StartChunk start_chunk, WorkRow work_row) {
    ReportedRows<StopAt> order(rows, sizes, stop_at);
    run_team(threads, [&](RowTeam& team) {
        start_team(team);
        const bool reporter = team.thread() == 0;
        for (auto chunk = order.take_chunk(reporter, team.members()); chunk.first < chunk.end;
             chunk = order.take_chunk(reporter, team.members())) {
            start_chunk(chunk.first, chunk.end, team.thread());
            for (int32_t y = chunk.first; y < chunk.end; ++y) {
                if (!order.wait_for(y, reporter)) {
                    return;
                }
                work_row(y, team.thread());
                if (reporter) {
                    order.report_ahead();
                }
            }
        }
    });
    return order.reported();
}

}  // namespace platform

#endif
