#include "platform/allocation.h"

#include <cstdlib>

namespace platform {
namespace {

int refuse_countdown = -1;
int requests_since_reset = 0;

}  // namespace

void* allocate_bytes(std::size_t size) noexcept {
    ++requests_since_reset;
    if (refuse_countdown >= 0 && refuse_countdown-- == 0) {
        return nullptr;
    }
    // malloc(0) may answer null; a zero-sized buffer is still a buffer held by its owner.
    return std::malloc(size == 0 ? 1 : size);
}

void release_bytes(void* block) noexcept {
    std::free(block);
}

int refuse_allocation_after(int countdown) noexcept {
    const int requests = requests_since_reset;
    refuse_countdown = countdown;
    requests_since_reset = 0;
    return requests;
}

}  // namespace platform
