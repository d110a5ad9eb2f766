#include "render/row_threads.h"

#include <gtest/gtest.h>
#include <omp.h>

#include <atomic>
#include <cstdint>
#include <numeric>
#include <vector>

namespace {

// Sets the threads a pass may use for the life of the object.
class PassThreads {
  public:
    explicit PassThreads(int threads) : before_(omp_get_max_threads()) {
        omp_set_num_threads(threads);
    }
    ~PassThreads() { omp_set_num_threads(before_); }
    PassThreads(const PassThreads&) = delete;
    PassThreads& operator=(const PassThreads&) = delete;

  private:
    int before_;
};

// Each stage reads what every thread wrote in the stage before, from the far end, so a thread
// that ran ahead of the others, or an item handed out twice or never, shows in the sums.
TEST(RowThreads, EveryStageSeesTheWholeOfTheOneBeforeAndTakesEachItemOnce) {
    constexpr int32_t kItems = 2000;
    constexpr int kStages = 7;
    for (const int threads : {1, 2, 5}) {
        SCOPED_TRACE(threads);
        PassThreads pass(threads);
        std::vector<std::vector<int64_t>> values(kStages + 1, std::vector<int64_t>(kItems, 0));
        std::iota(values[0].begin(), values[0].end(), 0);
        std::vector<std::atomic<int32_t>> visits(kStages * kItems);
        std::atomic<int> largest_thread{0};
        render::run_stages(render::kCellsWorthAThread, [&](render::Stages& team) {
            for (int stage = 0; stage < kStages; ++stage) {
                team.for_each(0, kItems, [&](int thread, int32_t i) {
                    values[stage + 1][i] = values[stage][kItems - 1 - i] + 1;
                    visits[stage * kItems + i].fetch_add(1);
                    int seen = largest_thread.load();
                    while (thread > seen && !largest_thread.compare_exchange_weak(seen, thread)) {
                    }
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
}

TEST(RowThreads, SmallWorkStaysOnTheCallingThreadAndEmptyStagesPass) {
    PassThreads pass(4);
    int members = 0;
    int32_t done = 0;
    render::run_stages(render::kCellsWorthAThread - 1, [&](render::Stages& team) {
        members = team.members();
        team.for_each(5, 5, [&](int, int32_t) { ++done; });
        team.for_each(3, 1, [&](int, int32_t) { ++done; });
        team.for_each(0, 10, [&](int, int32_t) { ++done; });
    });
    EXPECT_EQ(members, 1);
    EXPECT_EQ(done, 10);
}

}  // namespace
