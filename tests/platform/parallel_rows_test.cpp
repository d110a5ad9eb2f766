#include "platform/parallel_rows.h"

#include <gtest/gtest.h>
#include <omp.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdint>
#include <mutex>
#include <numeric>
#include <optional>
#include <set>
#include <thread>
#include <utility>
#include <vector>

#include "platform/kept_threads.h"
#include "tests/support/process_threads.h"

namespace {

// Sets the threads a team may have for the life of the object.
class TeamThreads {
  public:
    explicit TeamThreads(int threads) : before_(omp_get_max_threads()) {
        omp_set_num_threads(threads);
    }
    ~TeamThreads() { omp_set_num_threads(before_); }
    TeamThreads(const TeamThreads&) = delete;
    TeamThreads& operator=(const TeamThreads&) = delete;

  private:
    int before_;
};

void note_largest(std::atomic<int>& largest, int thread) {
    int seen = largest.load();
    while (thread > seen && !largest.compare_exchange_weak(seen, thread)) {
    }
}

// Each stage reads what every thread wrote in the stage before, from the far end, so a thread
// that ran ahead of the others, or an item handed out twice or never, shows in the sums.
void check_stages(int threads) {
    constexpr int32_t kItems = 2000;
    constexpr int kStages = 7;
    TeamThreads team_threads(threads);
    std::vector<std::vector<int64_t>> values(kStages + 1, std::vector<int64_t>(kItems, 0));
    std::iota(values[0].begin(), values[0].end(), 0);
    std::vector<std::atomic<int32_t>> visits(kStages * kItems);
    std::atomic<int> largest_thread{0};
    platform::run_team(platform::row_threads(), [&](platform::RowTeam& team) {
        for (int stage = 0; stage < kStages; ++stage) {
            team.for_each(0, kItems, [&](int thread, int32_t i) {
                values[stage + 1][i] = values[stage][kItems - 1 - i] + 1;
                visits[stage * kItems + i].fetch_add(1);
                note_largest(largest_thread, thread);
            });
        }
    });
    for (int32_t i = 0; i < kItems; ++i) {
        // Seven reversals end reversed; each stage adds one.
        ASSERT_EQ(values[kStages][i], (kItems - 1 - i) + kStages) << i;
    }
    for (const std::atomic<int32_t>& count : visits) {
        ASSERT_EQ(count.load(), 1);
    }
    EXPECT_LT(largest_thread.load(), threads);
}

// Ranges shorter than the team, or just longer, away from 0: members take runs of items, and
// the last run of a range ends at its end.
void check_short_ranges(int threads) {
    constexpr std::size_t kPastTheEnd = 8;
    TeamThreads team_threads(threads);
    const std::vector<std::pair<int32_t, int32_t>> ranges = {
        {5, 6}, {10, 13}, {4, 4}, {7, 7 + 2 * threads + 1}, {100, 100 + 4 * threads - 1}};
    std::vector<std::vector<std::atomic<int32_t>>> visits(ranges.size());
    for (std::size_t r = 0; r < ranges.size(); ++r) {
        // Room past the end, where nothing may be visited.
        visits[r] = std::vector<std::atomic<int32_t>>(static_cast<std::size_t>(ranges[r].second) +
                                                      kPastTheEnd);
    }
    platform::run_team(platform::row_threads(), [&](platform::RowTeam& team) {
        for (std::size_t r = 0; r < ranges.size(); ++r) {
            team.for_each(ranges[r].first, ranges[r].second,
                          [&](int, int32_t i) { visits[r][static_cast<std::size_t>(i)]++; });
        }
    });
    for (std::size_t r = 0; r < ranges.size(); ++r) {
        for (std::size_t i = 0; i < visits[r].size(); ++i) {
            const auto item = static_cast<int32_t>(i);
            const bool in_range = item >= ranges[r].first && item < ranges[r].second;
            ASSERT_EQ(visits[r][i].load(), in_range ? 1 : 0) << "range " << r << ", item " << i;
        }
    }
}

TEST(ParallelRows, EveryStageSeesTheWholeOfTheOneBeforeAndTakesEachItemOnce) {
    for (const bool keep : {false, true}) {
        // Kept threads serve the teams one after another, more of them as teams grow, and a
        // smaller team after a larger one leaves some asleep.
        std::optional<platform::TeamHelpers> kept;
        if (keep) {
            kept.emplace();
        }
        for (const int threads : {1, 2, 5, 3}) {
            SCOPED_TRACE(testing::Message() << threads << " threads, kept " << keep);
            check_stages(threads);
            check_short_ranges(threads);
        }
    }
}

// The threads that ran member 1 of each team, and those of a team started inside a member.
struct KeptLog {
    std::mutex mutex;
    std::set<std::thread::id> helpers;
    std::set<std::thread::id> nested_helpers;
    int nested_items = 0;
};

TEST(KeptThreads, TeamsReuseTheKeptThreadsAndATeamStartedInsideOneGetsItsOwn) {
    TeamThreads team_threads(2);
    const int threads_before = qb_test::process_threads();
    const std::thread::id caller = std::this_thread::get_id();
    KeptLog log;
    {
        platform::TeamHelpers kept;
        for (int team_number = 0; team_number < 3; ++team_number) {
            platform::run_team(2, [&](platform::RowTeam& team) {
                ASSERT_EQ(team.members(), 2);
                if (team.thread() == 1) {
                    std::lock_guard<std::mutex> lock(log.mutex);
                    log.helpers.insert(std::this_thread::get_id());
                    return;
                }
                // The kept threads are at work: this team cannot have them.
                platform::for_each_row(0, 2, 2, [&](int thread, int32_t) {
                    std::lock_guard<std::mutex> lock(log.mutex);
                    ++log.nested_items;
                    if (thread == 1) {
                        log.nested_helpers.insert(std::this_thread::get_id());
                    }
                });
            });
        }
        EXPECT_EQ(qb_test::process_threads(), threads_before + 1);
    }
    EXPECT_EQ(qb_test::process_threads(), threads_before);
    ASSERT_EQ(log.helpers.size(), 1u);
    EXPECT_NE(*log.helpers.begin(), caller);
    EXPECT_EQ(log.nested_items, 6);
    for (const std::thread::id nested : log.nested_helpers) {
        EXPECT_EQ(log.helpers.count(nested), 0u);
    }
}

TEST(ParallelRows, ATeamOfOneRunsOnTheCallingThreadAndEmptyStagesPass) {
    int members = 0;
    int32_t done = 0;
    const std::thread::id caller = std::this_thread::get_id();
    bool on_caller = true;
    platform::run_team(1, [&](platform::RowTeam& team) {
        members = team.members();
        team.for_each(5, 5, [&](int, int32_t) { ++done; });
        team.for_each(3, 1, [&](int, int32_t) { ++done; });
        team.for_each(0, 10, [&](int, int32_t) {
            ++done;
            on_caller = on_caller && std::this_thread::get_id() == caller;
        });
    });
    EXPECT_EQ(members, 1);
    EXPECT_EQ(done, 10);
    EXPECT_TRUE(on_caller);
}

TEST(ParallelRows, ForEachRowVisitsEveryRowOnceWithNoMoreThreadsThanRows) {
    TeamThreads team_threads(4);
    std::vector<std::atomic<int32_t>> visits(3);
    std::atomic<int> largest_thread{0};
    platform::for_each_row(10, 13, platform::row_threads(), [&](int thread, int32_t y) {
        visits[y - 10].fetch_add(1);
        note_largest(largest_thread, thread);
    });
    for (const std::atomic<int32_t>& count : visits) {
        EXPECT_EQ(count.load(), 1);
    }
    EXPECT_LT(largest_thread.load(), 3);
}

// A member the machine holds back at the start of a run taken once half a stage is done keeps
// the rest of the stage waiting only for the rest of that run: runs taken late are short.
TEST(ParallelRows, ARunTakenLateInAStageIsShort) {
    constexpr int32_t kItems = 4096;
    constexpr auto kQuiet = std::chrono::milliseconds(20);
    // Items long enough that both members take runs of them.
    constexpr auto kItemTime = std::chrono::microseconds(5);
    TeamThreads team_threads(2);
    std::atomic<int32_t> done{0};
    int32_t previous = -2;
    bool held = false;
    int32_t worked_after_hold = 0;
    platform::run_team(2, [&](platform::RowTeam& team) {
        team.for_each(0, kItems, [&](int thread, int32_t i) {
            if (thread == 1) {
                const bool starts_run = i != previous + 1;
                previous = i;
                if (!held && starts_run && done.load() >= kItems / 2) {
                    held = true;
                    // Until the other member has worked every item it could take.
                    for (int32_t seen = -1; seen != done.load();) {
                        seen = done.load();
                        std::this_thread::sleep_for(kQuiet);
                    }
                }
                worked_after_hold += held ? 1 : 0;
            }
            const auto until = std::chrono::steady_clock::now() + kItemTime;
            while (std::chrono::steady_clock::now() < until) {
            }
            done.fetch_add(1);
        });
    });
    EXPECT_EQ(done.load(), kItems);
    // Half the items at most were left; a run is a quarter of those left on a team of two. (A
    // member 1 that the machine kept from every late run is never held.)
    EXPECT_LE(worked_after_hold, kItems / 8);
}

// What for_each_reported_row did: the rows reported, in the order reported and from which
// thread, and the rows worked.
struct ReportLog {
    std::vector<int32_t> reported;
    bool reports_on_caller = true;
    std::vector<std::atomic<int32_t>> worked;
    std::vector<std::atomic<int32_t>> worked_before_report;
    std::atomic<int32_t> reported_end{0};

    explicit ReportLog(int32_t rows) : worked(rows), worked_before_report(rows) {}
};

int32_t run_reported(ReportLog& log, int32_t rows, platform::ChunkRows sizes, int32_t stop_row) {
    const std::thread::id caller = std::this_thread::get_id();
    return platform::for_each_reported_row(
        rows, sizes, platform::row_threads(),
        [&](int32_t y) {
            log.reports_on_caller = log.reports_on_caller && std::this_thread::get_id() == caller;
            if (y == stop_row) {
                return true;
            }
            log.reported.push_back(y);
            log.reported_end.store(y + 1);
            return false;
        },
        [](platform::RowTeam&) {}, [](int32_t, int32_t, int) {},
        [&](int32_t y, int) {
            if (y >= log.reported_end.load()) {
                log.worked_before_report[y].fetch_add(1);
            }
            log.worked[y].fetch_add(1);
        });
}

// Chunks of one size, and chunks that shrink with the rows left.
constexpr platform::ChunkRows kChunkSizes[] = {{7, 7}, {1, 1000}};

TEST(ParallelRows, ReportedRowsAreReportedInOrderOnTheCallerAndWorkedOnceAfterTheirReport) {
    constexpr int32_t kRows = 1000;
    for (const int threads : {1, 3}) {
        for (const platform::ChunkRows sizes : kChunkSizes) {
            SCOPED_TRACE(testing::Message() << threads << " threads, chunks of " << sizes.least);
            TeamThreads team_threads(threads);
            ReportLog log(kRows);
            EXPECT_EQ(run_reported(log, kRows, sizes, -1), kRows);
            std::vector<int32_t> in_order(kRows);
            std::iota(in_order.begin(), in_order.end(), 0);
            EXPECT_EQ(log.reported, in_order);
            EXPECT_TRUE(log.reports_on_caller);
            for (int32_t y = 0; y < kRows; ++y) {
                ASSERT_EQ(log.worked[y].load(), 1) << y;
                ASSERT_EQ(log.worked_before_report[y].load(), 0) << y;
            }
        }
    }
}

TEST(ParallelRows, AStopLeavesItsRowAndEveryLaterOneUnworked) {
    constexpr int32_t kRows = 1000;
    constexpr int32_t kStopRow = 333;
    for (const int threads : {1, 3}) {
        for (const platform::ChunkRows sizes : kChunkSizes) {
            SCOPED_TRACE(testing::Message() << threads << " threads, chunks of " << sizes.least);
            TeamThreads team_threads(threads);
            ReportLog log(kRows);
            EXPECT_EQ(run_reported(log, kRows, sizes, kStopRow), kStopRow);
            for (int32_t y = 0; y < kRows; ++y) {
                ASSERT_EQ(log.worked[y].load(), y < kStopRow ? 1 : 0) << y;
            }
        }
    }
}

// What the team starts with, shared out among its members, is done before any row is worked;
// chunks keep within their sizes, and shrink as the rows run out, down to the least.
TEST(ParallelRows, TheTeamStartsTogetherAndChunksShrinkToTheLeast) {
    constexpr int32_t kRows = 500;
    constexpr int32_t kItems = 64;
    constexpr platform::ChunkRows kSizes{3, 100};
    for (const int threads : {1, 3}) {
        SCOPED_TRACE(threads);
        TeamThreads team_threads(threads);
        std::atomic<int32_t> started{0};
        std::atomic<int32_t> worked_early{0};
        std::mutex chunks_taken;
        std::vector<std::pair<int32_t, int32_t>> chunks;
        const int32_t reported = platform::for_each_reported_row(
            kRows, kSizes, threads, [](int32_t) { return false; },
            [&](platform::RowTeam& team) {
                team.for_each(0, kItems, [&](int, int32_t) { started.fetch_add(1); });
            },
            [&](int32_t first, int32_t end, int) {
                const std::lock_guard<std::mutex> lock(chunks_taken);
                chunks.emplace_back(first, end);
            },
            [&](int32_t, int) { worked_early.fetch_add(started.load() == kItems ? 0 : 1); });
        EXPECT_EQ(reported, kRows);
        EXPECT_EQ(worked_early.load(), 0);
        std::sort(chunks.begin(), chunks.end());
        int32_t next = 0;
        int32_t previous_size = kSizes.most;
        for (const auto& [first, end] : chunks) {
            ASSERT_EQ(first, next);
            ASSERT_LE(end - first, previous_size) << first;
            ASSERT_TRUE(end - first >= kSizes.least || end == kRows) << first;
            next = end;
            previous_size = end - first;
        }
        EXPECT_EQ(next, kRows);
        ASSERT_GE(chunks.size(), 2u);
        EXPECT_GT(chunks.front().second - chunks.front().first, kSizes.least);
        EXPECT_EQ(chunks[chunks.size() - 2].second - chunks[chunks.size() - 2].first, kSizes.least);
    }
}

}  // namespace

// Slices cover every item once, whether the count divides evenly, leaves a short last slice or
// is smaller than the slices.
TEST(ParallelRows, SlicesCoverEveryItemOnce) {
    for (const std::size_t count :
         {std::size_t{0}, std::size_t{5}, std::size_t{64}, std::size_t{1000}, std::size_t{1001}}) {
        SCOPED_TRACE(count);
        std::vector<std::atomic<int>> seen(count);
        platform::for_each_slice(count, 16, 2, [&](int32_t, std::size_t first, std::size_t end) {
            for (std::size_t i = first; i < end; ++i) {
                seen[i].fetch_add(1);
            }
        });
        for (const std::atomic<int>& times : seen) {
            EXPECT_EQ(times.load(), 1);
        }
    }
}
