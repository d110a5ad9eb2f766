#include "platform/kept_threads.h"

#include <algorithm>

#include "platform/brief_wait.h"

namespace platform {
namespace {

thread_local KeptThreads* kept = nullptr;

}  // namespace

KeptThreads::~KeptThreads() {
    ending_ = true;
    generation_.fetch_add(1, std::memory_order_release);
    generation_.notify_all();
    for (std::thread& thread : threads_) {
        thread.join();
    }
}

KeptThreads* KeptThreads::available() noexcept {
    return kept != nullptr && !kept->busy_ ? kept : nullptr;
}

int KeptThreads::ready(int helpers) noexcept {
    try {
        threads_.reserve(static_cast<std::size_t>(std::max(helpers, 0)));
        // Between jobs the generation stands still, so a new thread starts from it.
        const uint32_t now = generation_.load(std::memory_order_relaxed);
        for (int thread = static_cast<int>(threads_.size()) + 1; thread <= helpers; ++thread) {
            threads_.emplace_back(&KeptThreads::serve, this, thread, now);
        }
    } catch (...) {
        // Fewer threads, the same work.
    }
    return std::min(helpers, static_cast<int>(threads_.size()));
}

void KeptThreads::run_job(Job job, int members) {
    busy_ = true;
    job_ = job;
    members_ = members;
    // Every kept thread arrives, called or not, so none is still looking at this job when the
    // next one is set.
    unfinished_.store(static_cast<int>(threads_.size()), std::memory_order_relaxed);
    generation_.fetch_add(1, std::memory_order_release);
    generation_.notify_all();
    job.call(job.member, 0);
    for (int left = unfinished_.load(std::memory_order_acquire); left != 0;
         left = unfinished_.load(std::memory_order_acquire)) {
        wait_for_change(unfinished_, left, std::memory_order_acquire);
    }
    busy_ = false;
}

void KeptThreads::serve(int thread, uint32_t generation) {
    for (;;) {
        wait_for_change(generation_, generation, std::memory_order_acquire);
        generation = generation_.load(std::memory_order_acquire);
        if (ending_) {
            return;
        }
        if (thread < members_) {
            job_.call(job_.member, thread);
        }
        if (unfinished_.fetch_sub(1, std::memory_order_acq_rel) == 1) {
            unfinished_.notify_one();
        }
    }
}

TeamHelpers::TeamHelpers(KeptThreads* lent) noexcept
    : threads_(lent != nullptr ? lent : &own_), outer_(kept) {
    kept = threads_;
}

TeamHelpers::~TeamHelpers() {
    kept = outer_;
}

}  // namespace platform
