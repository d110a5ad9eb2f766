#include "platform/allocation.h"

#include <atomic>
#include <cstdlib>

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
