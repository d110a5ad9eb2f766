// Waiting for another member of a team. A thread the system has put to sleep takes tens of
// microseconds to wake, more on a virtual machine: as long as many a stage of a depth render's
// narrow steps, each of which starts teams of its own. The next stage or team usually comes
// within a few microseconds to a few hundred, so a waiter first watches for it for a while, a
// bounded spend of a core, and only then sleeps.
#ifndef QB_PLATFORM_BRIEF_WAIT_H
#define QB_PLATFORM_BRIEF_WAIT_H

#include <atomic>
#include <chrono>

namespace platform {

// How long a waiter watches before it sleeps: longer than most of a step's serial work between
// two teams, short beside a render.
inline constexpr std::chrono::microseconds kWatchBeforeSleeping{200};

// Returns once `value` no longer holds `old`, read with `order`.
template <class T>
void wait_for_change(const std::atomic<T>& value, T old, std::memory_order order) {
    // Looks at the value between looks at the clock, which cost more.
    constexpr int kLooksPerClock = 64;
    const auto give_up = std::chrono::steady_clock::now() + kWatchBeforeSleeping;
    do {
        for (int look = 0; look < kLooksPerClock; ++look) {
            if (value.load(order) != old) {
                return;
            }
#if defined(__x86_64__) || defined(__i386__)
            __builtin_ia32_pause();
#endif
        }
    } while (std::chrono::steady_clock::now() < give_up);
    value.wait(old, order);
}

}  // namespace platform

#endif
