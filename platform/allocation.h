// The one allocation path of the module's buffers. It answers null instead of throwing, and a
// test can make it refuse a chosen allocation so that every "not enough memory" path is reached.
#ifndef QB_PLATFORM_ALLOCATION_H
#define QB_PLATFORM_ALLOCATION_H

#include <array>
#include <cstddef>
#include <cstdint>
#include <limits>

namespace platform {

// Null when the request is refused or the system has no memory for it. Blocks of a few megabytes
// and more come from the system, on large pages where it has them.
void* allocate_bytes(std::size_t size) noexcept;
// The same, with every byte 0; large blocks come so from the system, with nothing to clear.
void* allocate_zeroed_bytes(std::size_t size) noexcept;
void release_bytes(void* block) noexcept;

// Large blocks given back and asked for again, kept for the next request of their size instead
// of going back to the system: a fresh block costs a page fault on every page it touches, and a
// block given back makes every core drop its mappings, which in a virtual machine took a quarter
// of a depth render. The system has them back when the KeptBlocks goes. Not for two threads at
// once: a BlockRecycling lends it to one thread at a time.
class KeptBlocks {
  public:
    KeptBlocks() = default;
    ~KeptBlocks() { release_all(); }
    KeptBlocks(const KeptBlocks&) = delete;
    KeptBlocks& operator=(const KeptBlocks&) = delete;

    // For the allocation path: a kept block of `length` mapped bytes or more, or null.
    void* take(std::size_t length) noexcept;
    // For the allocation path: false when the block is not kept (it is larger than all the room
    // there is). Room is made by giving the longest-kept blocks back to the system.
    bool keep(void* block, std::size_t length) noexcept;

    // Gives every kept block back to the system.
    void release_all() noexcept;

    // The mapped bytes kept now.
    std::size_t bytes() const { return bytes_; }

  private:
    // Enough for the large blocks of a pass; the bytes bound what a render holds beyond its
    // live buffers.
    static constexpr std::size_t kBlocks = 8;
    static constexpr std::size_t kBytes = std::size_t{128} << 20;

    struct Kept {
        void* block;
        std::size_t length;
    };
    // Drops kept block `i`, keeping the others in the order they came.
    void forget(std::size_t i) noexcept;

    std::array<Kept, kBlocks> kept_{};
    std::size_t count_ = 0;
    std::size_t bytes_ = 0;
};

// While it lives, the large blocks the calling thread gives back go to a KeptBlocks, and its
// large requests are served from there first: its own, whose blocks go back to the system with
// it, or one the caller lends so that blocks outlive a render for the next one. Blocks given back
// on other threads go straight to the system.
class BlockRecycling {
  public:
    BlockRecycling() noexcept : BlockRecycling(nullptr) {}
    // Null `lent`: blocks are kept in the recycling's own KeptBlocks.
    explicit BlockRecycling(KeptBlocks* lent) noexcept;
    ~BlockRecycling();
    BlockRecycling(const BlockRecycling&) = delete;
    BlockRecycling& operator=(const BlockRecycling&) = delete;

  private:
    KeptBlocks own_;
    KeptBlocks* outer_;  // the blocks this recycling stands in for on its thread
};

// Test hook: refuse the allocation `countdown` requests from now (0 refuses the next one).
// A negative countdown stops refusing. Returns the number of requests made since the last call.
int refuse_allocation_after(int countdown) noexcept;

// Test hook: blocks allocated and not yet released.
int live_allocations() noexcept;

// Test hook: bytes of large blocks the system has mapped and not yet been given back, whether
// allocated or kept.
std::size_t mapped_bytes() noexcept;

// `count` elements of T, uninitialised; null on refusal or when the size would overflow.
template <class T>
T* allocate_array(std::size_t count) noexcept {
    if (count > std::numeric_limits<std::size_t>::max() / sizeof(T)) {
        return nullptr;
    }
    return static_cast<T*>(allocate_bytes(count * sizeof(T)));
}

// `count` elements of T, every byte 0; null as allocate_array.
template <class T>
T* allocate_zeroed_array(std::size_t count) noexcept {
    if (count > std::numeric_limits<std::size_t>::max() / sizeof(T)) {
        return nullptr;
    }
    return static_cast<T*>(allocate_zeroed_bytes(count * sizeof(T)));
}

// Releases `block` (null is allowed) and clears the pointer that held it.
template <class T>
void release_array(T*& block) noexcept {
    release_bytes(block);
    block = nullptr;
}

// `count` elements of T from allocate_array, released when the owner goes; empty (null) when the
// request was refused, which the owner checks before use.
template <class T>
class OwnedArray {
  public:
    OwnedArray() = default;
    explicit OwnedArray(std::size_t count) : data_(allocate_array<T>(count)) {}
    OwnedArray(OwnedArray&& other) noexcept : data_(other.data_) { other.data_ = nullptr; }
    OwnedArray& operator=(OwnedArray&& other) noexcept {
        if (this != &other) {
            release_array(data_);
            data_ = other.data_;
            other.data_ = nullptr;
        }
        return *this;
    }
    OwnedArray(const OwnedArray&) = delete;
    OwnedArray& operator=(const OwnedArray&) = delete;
    ~OwnedArray() { release_array(data_); }

    // `count` elements with every byte 0.
    static OwnedArray zeroed(std::size_t count) noexcept {
        return adopt(allocate_zeroed_array<T>(count));
    }

    // Takes over a block that allocate_array gave out (null: none).
    static OwnedArray adopt(T* block) noexcept {
        OwnedArray owned;
        owned.data_ = block;
        return owned;
    }

    explicit operator bool() const { return data_ != nullptr; }
    T* get() const { return data_; }
    T& operator[](std::size_t i) const { return data_[i]; }
    void reset() { release_array(data_); }

  private:
    T* data_ = nullptr;
};

}  // namespace platform

#endif
