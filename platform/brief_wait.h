// Waiting for another member of a team. A thread the system has put to sleep takes tens of
// microseconds to wake, more on a virtual machine, and now and then milliseconds: as long as
// many a stage of a depth render's narrow steps, each of which starts teams of its own. The next
// stage or team usually comes within a few microseconds to a few hundred, and a member that
// fell behind, say while the machine lent its core elsewhere, catches up within a millisecond or
// two; so a waiter first watches for a while, a bounded spend of a core, and only then sleeps.
#ifndef QB_PLATFORM_BRIEF_WAIT_H
#define QB_PLATFORM_BRIEF_WAIT_H

#include <atomic>
#include <chrono>
#include <thread>

namespace platform {

// How long a waiter watches before it sleeps: longer than a step's serial work between two teams
// and than most of a late member's lag, short beside a render. At a fifth of a millisecond, a
// two-thread depth render's members slept some twenty times a render on a virtual machine, each
// time waking late; at three milliseconds they hardly sleep.
inline constexpr std::chrono::microseconds kWatchBeforeSleeping{3000};
// After this long, a waiter offers its core to any other thread ready to run between looks, so
// that watching does not hold back the host's own threads, or another process's.
inline constexpr std::chrono::microseconds kWatchBeforeYielding{200};

// Returns once `value` no longer holds `old`, read with `order`.
template <class T>
void wait_for_change(const std::atomic<T>& value, T old, std::memory_order order) {
    // Looks at the value between looks at the clock, which cost more.
    constexpr int kLooksPerClock = 64;
    const auto start = std::chrono::steady_clock::now();
    const auto yield_from = start + kWatchBeforeYielding;
    const auto give_up = start + kWatchBeforeSleeping;
    for (auto now = start; now < give_up; now = std::chrono::steady_clock::now()) {
        for (int look = 0; look < kLooksPerClock; ++look) {
            if (value.load(order) != old) {
                return;
            }
#if defined(__x86_64__) || defined(__i386__)
            __builtin_ia32_pause();
#endif
        }
        if (now >= yield_from) {
            std::this_thread::yield();
        }
    }
    value.wait(old, order);
}

}  // namespace platform

#endif
