#include "platform/brief_wait.h"

#include <gtest/gtest.h>
#include <omp.h>

#include <atomic>
#include <chrono>
#include <cstdint>
#include <thread>

#include "platform/kept_threads.h"
#include "platform/parallel_rows.h"

namespace {

using std::chrono::microseconds;

// Changes `value` from another thread after `delay`, and answers whether the waiter saw it.
bool waiter_sees_change_after(microseconds delay) {
    std::atomic<int32_t> value{0};
    std::atomic<bool> returned{false};
    std::thread waiter([&] {
        platform::wait_for_change(value, int32_t{0}, std::memory_order_acquire);
        returned.store(value.load() == 1);
    });
    std::this_thread::sleep_for(delay);
    value.store(1, std::memory_order_release);
    // A waiter asleep by now is woken only by a notification.
    value.notify_all();
    waiter.join();
    return returned.load();
}

TEST(BriefWait, AWaiterSeesAChangeWhileItWatchesAndOnceItSleeps) {
    EXPECT_TRUE(waiter_sees_change_after(microseconds{0}));
    EXPECT_TRUE(waiter_sees_change_after(platform::kWatchBeforeSleeping / 4));
    EXPECT_TRUE(waiter_sees_change_after(platform::kWatchBeforeSleeping * 20));
}

TEST(BriefWait, AValueAlreadyChangedIsNotWaitedFor) {
    const std::atomic<int32_t> value{7};
    const auto start = std::chrono::steady_clock::now();
    platform::wait_for_change(value, int32_t{6}, std::memory_order_acquire);
    EXPECT_LT(std::chrono::steady_clock::now() - start, platform::kWatchBeforeSleeping);
}

// Kept threads that have gone to sleep between teams still join the next one, and a member
// asleep at a stage's end is woken for the next stage.
TEST(BriefWait, KeptThreadsAsleepBetweenTeamsAndStagesStillTakeTheirShare) {
    const int before = omp_get_max_threads();
    omp_set_num_threads(2);
    platform::TeamHelpers kept;
    for (int team_number = 0; team_number < 3; ++team_number) {
        std::this_thread::sleep_for(platform::kWatchBeforeSleeping * 10);
        std::atomic<int> items{0};
        platform::run_team(2, [&](platform::RowTeam& team) {
            ASSERT_EQ(team.members(), 2);
            // The helper waits out the caller's long first item asleep.
            team.for_each(0, 2, [&](int thread, int32_t) {
                if (thread == 0) {
                    std::this_thread::sleep_for(platform::kWatchBeforeSleeping * 10);
                }
                items.fetch_add(1);
            });
            team.for_each(0, 64, [&](int, int32_t) { items.fetch_add(1); });
        });
        EXPECT_EQ(items.load(), 66);
    }
    omp_set_num_threads(before);
}

}  // namespace
