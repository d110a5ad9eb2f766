#include "platform/allocation.h"

#include <atomic>
#include <cstdint>
#include <cstdlib>

#if defined(__linux__)
#include <sys/mman.h>
#include <unistd.h>
#endif

namespace platform {
namespace {

// Atomic, as a pass may allocate from several threads at once.
std::atomic<int> refuse_countdown = -1;
std::atomic<int> requests_since_reset = 0;
std::atomic<int> live_blocks = 0;

}  // namespace

void* allocate_bytes(std::size_t size) noexcept {
    ++requests_since_reset;
    if (refuse_countdown >= 0 && refuse_countdown-- == 0) {
        return nullptr;
    }
    // malloc(0) may answer null; a zero-sized buffer is still a buffer held by its owner.
    void* block = std::malloc(size == 0 ? 1 : size);
    if (block) {
        ++live_blocks;
    }
    return block;
}

void release_bytes(void* block) noexcept {
    if (block) {
        --live_blocks;
    }
    std::free(block);
}

void prefer_large_pages(void* block, std::size_t size) noexcept {
#if defined(MADV_HUGEPAGE)
    // Only whole pages inside the block may be advised.
    const auto page = static_cast<std::uintptr_t>(sysconf(_SC_PAGESIZE));
    const auto start = reinterpret_cast<std::uintptr_t>(block);
    const std::uintptr_t first = (start + page - 1) / page * page;
    const std::uintptr_t end = (start + size) / page * page;
    if (block != nullptr && end > first) {
        madvise(reinterpret_cast<void*>(first), end - first, MADV_HUGEPAGE);
    }
#else
    (void)block;
    (void)size;
#endif
}

int refuse_allocation_after(int countdown) noexcept {
    const int requests = requests_since_reset;
    refuse_countdown = countdown;
    requests_since_reset = 0;
    return requests;
}

int live_allocations() noexcept {
    return live_blocks;
}

}  // namespace platform
