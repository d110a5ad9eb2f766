#include "platform/allocation.h"

#include <algorithm>
#include <atomic>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <new>

#if defined(__linux__)
#include <sys/mman.h>
#endif

namespace platform {
namespace {

// Atomic, as a pass may allocate from several threads at once.
std::atomic<int> refuse_countdown = -1;
std::atomic<int> requests_since_reset = 0;
std::atomic<int> live_blocks = 0;
std::atomic<std::size_t> mapped_now = 0;

// Every block starts with this record, so that release knows how it was obtained. Its size keeps
// the caller's part as aligned as the C library's allocations are.
struct alignas(std::max_align_t) BlockRecord {
    void* base;          // what the C library or the system gave
    std::size_t length;  // the system mapping's length; 0 for a C library block
};

#if defined(__linux__) && defined(MADV_HUGEPAGE)
// Frame-sized buffers are touched once per render. Taken from the C library in 4 KB pages they
// cost one page fault every 4 KB, which in a virtual machine took longer than the blur itself;
// large pages cut that five hundred times. (Leaving blocks below 32 MB to the C library, whose
// heap keeps them from render to render, measured twice as slow: it gives them back between
// renders and faults them in again.) Blocks this large come straight from the system, so they
// are zero already and can start on a large-page boundary. Half a large page is the bound so
// that a full HD frame's one-byte buffers (just under 2 MB) are among them.
constexpr std::size_t kLargePage = std::size_t{2} << 20;
constexpr std::size_t kLargeBlock = kLargePage / 2;

// A large block's pages: whole large pages, so that its last part is not left to 4 KB pages (a
// frame buffer's last rows, which a depth render's last steps touched a page fault at a time).
std::size_t large_pages_of(std::size_t size) {
    return (size + kLargePage - 1) / kLargePage * kLargePage;
}

// The system mapping that holds a large block of `size` bytes, with room to start it on a
// large-page boundary. Blocks whose sizes round to the same large pages share a length, so a
// kept block serves the next pass's request of a slightly different size.
std::size_t mapped_length(std::size_t size) {
    return large_pages_of(size) + kLargePage;
}

void unmap(const BlockRecord& record) {
    munmap(record.base, record.length);
    mapped_now -= record.length;
}

void* map_large(std::size_t size) {
    // The record sits just before the first large-page boundary that leaves room for it.
    const std::size_t length = mapped_length(size);
    void* base = mmap(nullptr, length, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    if (base == MAP_FAILED) {
        return nullptr;
    }
    mapped_now += length;
    const auto start = reinterpret_cast<std::uintptr_t>(base) + sizeof(BlockRecord);
    const std::uintptr_t block = (start + kLargePage - 1) / kLargePage * kLargePage;
    madvise(reinterpret_cast<void*>(block), large_pages_of(size), MADV_HUGEPAGE);
    auto* record = reinterpret_cast<BlockRecord*>(block) - 1;
    *record = BlockRecord{base, length};
    return reinterpret_cast<void*>(block);
}
#else
constexpr std::size_t kLargeBlock = SIZE_MAX;

std::size_t mapped_length(std::size_t) {
    return 0;
}

void unmap(const BlockRecord&) {}

void* map_large(std::size_t) {
    return nullptr;
}
#endif

thread_local KeptBlocks* recycling = nullptr;

BlockRecord record_of(void* block) {
    return *(static_cast<BlockRecord*>(block) - 1);
}

void* large_block(std::size_t size, bool zeroed) {
    if (recycling != nullptr) {
        if (void* block = recycling->take(mapped_length(size))) {
            if (zeroed) {
                std::memset(block, 0, size);
            }
            return block;
        }
    }
    return map_large(size);
}

void* from_the_library(std::size_t size, bool zeroed) {
    const std::size_t bytes = sizeof(BlockRecord) + size;
    void* base = zeroed ? std::calloc(1, bytes) : std::malloc(bytes);
    if (base == nullptr) {
        return nullptr;
    }
    auto* record = static_cast<BlockRecord*>(base);
    *record = BlockRecord{base, 0};
    return record + 1;
}

void* allocate(std::size_t size, bool zeroed) noexcept {
    ++requests_since_reset;
    if (refuse_countdown >= 0 && refuse_countdown-- == 0) {
        return nullptr;
    }
    if (size > SIZE_MAX - sizeof(BlockRecord) - kLargeBlock) {
        return nullptr;
    }
    void* block = size >= kLargeBlock ? large_block(size, zeroed) : from_the_library(size, zeroed);
    if (block) {
        ++live_blocks;
    }
    return block;
}

}  // namespace

void* allocate_bytes(std::size_t size) noexcept {
    return allocate(size, false);
}

void* allocate_zeroed_bytes(std::size_t size) noexcept {
    return allocate(size, true);
}

void release_bytes(void* block) noexcept {
    if (block == nullptr) {
        return;
    }
    --live_blocks;
    const BlockRecord record = record_of(block);
    if (record.length == 0) {
        std::free(record.base);
        return;
    }
    if (recycling == nullptr || !recycling->keep(block, record.length)) {
        unmap(record);
    }
}

BlockRecycling::BlockRecycling(KeptBlocks* lent) noexcept : outer_(recycling) {
    recycling = lent != nullptr ? lent : &own_;
}

BlockRecycling::~BlockRecycling() {
    recycling = outer_;
}

void KeptBlocks::release_all() noexcept {
    for (std::size_t i = 0; i < count_; ++i) {
        unmap(record_of(kept_[i].block));
    }
    count_ = 0;
    bytes_ = 0;
}

void* KeptBlocks::take(std::size_t length) noexcept {
    // The smallest block that holds the request: the steps of a depth render ask for bands of
    // rows that grow and shrink from pass to pass. Not one more than twice the request's size, so
    // that a small request does not take the block the next pass's large one needs.
    std::size_t best = count_;
    for (std::size_t i = 0; i < count_; ++i) {
        const std::size_t kept = kept_[i].length;
        if (kept >= length && kept / 2 <= length && (best == count_ || kept < kept_[best].length)) {
            best = i;
        }
    }
    if (best == count_) {
        return nullptr;
    }
    void* block = kept_[best].block;
    forget(best);
    return block;
}

bool KeptBlocks::keep(void* block, std::size_t length) noexcept {
    if (length > kBytes) {
        return false;
    }
    // The oldest go first: a depth render's steps ask for sizes that change from pass to pass,
    // and blocks no pass took again would otherwise fill the room for good, leaving the block
    // every pass wants (a 4K frame's source) to go back to the system pass after pass.
    while (count_ == kBlocks || length > kBytes - bytes_) {
        unmap(record_of(kept_[0].block));
        forget(0);
    }
    kept_[count_++] = Kept{block, length};
    bytes_ += length;
    return true;
}

void KeptBlocks::forget(std::size_t i) noexcept {
    bytes_ -= kept_[i].length;
    std::copy(kept_.begin() + static_cast<std::ptrdiff_t>(i) + 1,
              kept_.begin() + static_cast<std::ptrdiff_t>(count_),
              kept_.begin() + static_cast<std::ptrdiff_t>(i));
    --count_;
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

std::size_t mapped_bytes() noexcept {
    return mapped_now;
}

}  // namespace platform
