#include "platform/allocation.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <limits>

namespace {

TEST(Allocation, RefusesExactlyTheChosenRequest) {
    platform::refuse_allocation_after(1);
    int* first = platform::allocate_array<int>(4);
    int* second = platform::allocate_array<int>(4);
    int* third = platform::allocate_array<int>(4);
    EXPECT_NE(first, nullptr);
    EXPECT_EQ(second, nullptr);
    EXPECT_NE(third, nullptr);
    EXPECT_EQ(platform::refuse_allocation_after(-1), 3);
    platform::release_array(first);
    platform::release_array(third);
    EXPECT_EQ(first, nullptr);
}

TEST(Allocation, OverflowingCountIsRefusedNotWrapped) {
    constexpr std::size_t huge = std::numeric_limits<std::size_t>::max() / 2;
    EXPECT_EQ(platform::allocate_array<double>(huge), nullptr);
}

TEST(Allocation, ZeroSizedRequestIsStillABuffer) {
    char* block = platform::allocate_array<char>(0);
    EXPECT_NE(block, nullptr);
    platform::release_array(block);
}

}  // namespace

// Small blocks come from the C library and large ones from the system: both kinds must be
// zeroed when asked, writable to their last byte, and released by the one release call.
TEST(Allocation, ZeroedBlocksOfEverySizeAreZeroAndReleased) {
    const int live_before = platform::live_allocations();
    for (const std::size_t size :
         {std::size_t{1}, std::size_t{4096}, std::size_t{3} << 20, (std::size_t{16} << 20) + 5}) {
        auto* block = static_cast<unsigned char*>(platform::allocate_zeroed_bytes(size));
        ASSERT_NE(block, nullptr) << size;
        EXPECT_EQ(reinterpret_cast<std::uintptr_t>(block) % alignof(std::max_align_t), 0u);
        std::size_t nonzero = 0;
        for (std::size_t i = 0; i < size; ++i) {
            nonzero += block[i] != 0;
        }
        EXPECT_EQ(nonzero, 0u) << size;
        block[size - 1] = 1;
        platform::release_bytes(block);
    }
    EXPECT_EQ(platform::live_allocations(), live_before);
}

TEST(Allocation, RefusalReachesLargeAndZeroedRequestsToo) {
    platform::refuse_allocation_after(0);
    EXPECT_FALSE(platform::OwnedArray<float>::zeroed(std::size_t{1} << 24));
    platform::refuse_allocation_after(-1);
    const platform::OwnedArray<float> kept = platform::OwnedArray<float>::zeroed(1 << 24);
    ASSERT_TRUE(kept);
    EXPECT_EQ(kept[(1 << 24) - 1], 0.0f);
}

namespace {

constexpr std::size_t kFrameBytes = std::size_t{8} << 20;

bool all_zero(const unsigned char* block, std::size_t size) {
    for (std::size_t i = 0; i < size; ++i) {
        if (block[i] != 0) {
            return false;
        }
    }
    return true;
}

}  // namespace

// While a render's recycling lives, a large block given back returns for the next request of its
// size, cleared when a zeroed block is asked for; other sizes, small blocks and requests after
// the recycling has gone get blocks of their own, and nothing stays behind.
TEST(BlockRecycling, KeepsLargeBlocksForTheNextRequestOfTheirSize) {
    const int live_before = platform::live_allocations();
    {
        platform::BlockRecycling recycling;
        auto* first = static_cast<unsigned char*>(platform::allocate_bytes(kFrameBytes));
        ASSERT_NE(first, nullptr);
        std::fill(first, first + kFrameBytes, 0xAB);
        platform::release_bytes(first);
        EXPECT_EQ(platform::live_allocations(), live_before);

        auto* again = static_cast<unsigned char*>(platform::allocate_zeroed_bytes(kFrameBytes));
        EXPECT_EQ(again, first);
        EXPECT_TRUE(all_zero(again, kFrameBytes));
        platform::release_bytes(again);

        void* larger = platform::allocate_bytes(kFrameBytes + 1);
        EXPECT_NE(larger, first);
        platform::release_bytes(larger);
        // A refusal is a refusal even with a block of the size at hand.
        platform::refuse_allocation_after(0);
        EXPECT_EQ(platform::allocate_bytes(kFrameBytes), nullptr);
        platform::refuse_allocation_after(-1);
    }
    EXPECT_EQ(platform::live_allocations(), live_before);
    // Without a recycling every large block is the system's again.
    void* block = platform::allocate_bytes(kFrameBytes);
    ASSERT_NE(block, nullptr);
    platform::release_bytes(block);
    EXPECT_EQ(platform::live_allocations(), live_before);
}

// Steps of a depth render ask for light rows of slightly different sizes, and a full HD frame's
// one-byte buffers are just under 2 MB: blocks that round to the same large pages are one kept
// block.
TEST(BlockRecycling, ServesRequestsThatRoundToTheSameLargePages) {
    constexpr std::size_t kHdPixels = std::size_t{1920} * 1080;
    const int live_before = platform::live_allocations();
    {
        platform::BlockRecycling recycling;
        for (const std::size_t size : {kFrameBytes, kHdPixels}) {
            void* first = platform::allocate_bytes(size - 4096);
            ASSERT_NE(first, nullptr);
            platform::release_bytes(first);
            void* again = platform::allocate_bytes(size);
            EXPECT_EQ(again, first) << size;
            platform::release_bytes(again);
        }
    }
    EXPECT_EQ(platform::live_allocations(), live_before);
}

// A depth render's steps give back blocks of sizes no later step asks for again. They must not
// take the room of the block every pass asks for: the longest-kept go back to the system first,
// whether the room runs out by count or by bytes. A kept block still holds what was written to it;
// a fresh one from the system (even at the same address) is zero.
TEST(BlockRecycling, BlocksNoPassTakesAgainMakeRoomForNewerOnes) {
    constexpr std::size_t kLargePage = std::size_t{2} << 20;
    constexpr unsigned char kMark = 0xAB;
    const auto release_marked = [](void* block) {
        *static_cast<unsigned char*>(block) = kMark;
        platform::release_bytes(block);
    };
    const auto kept_again = [](std::size_t size) {
        auto* block = static_cast<unsigned char*>(platform::allocate_bytes(size));
        const bool kept = block != nullptr && *block == kMark;
        platform::release_bytes(block);
        return kept;
    };
    const int live_before = platform::live_allocations();
    {
        platform::BlockRecycling recycling;
        // Eight stale blocks, none of the frame's large pages.
        for (const std::size_t pages : {1, 2, 3, 5, 6, 7, 8, 9}) {
            platform::release_bytes(platform::allocate_bytes(pages * kLargePage));
        }
        release_marked(platform::allocate_bytes(kFrameBytes));
        EXPECT_TRUE(kept_again(kFrameBytes));

        constexpr std::size_t kMost = std::size_t{100} << 20;
        constexpr std::size_t kSource = std::size_t{66} << 20;
        platform::release_bytes(platform::allocate_bytes(kMost));
        release_marked(platform::allocate_bytes(kSource));
        EXPECT_TRUE(kept_again(kSource));
        // A block beyond all the room is never kept, and takes none of it.
        platform::release_bytes(platform::allocate_bytes(std::size_t{200} << 20));
        EXPECT_TRUE(kept_again(kSource));
    }
    EXPECT_EQ(platform::live_allocations(), live_before);
}

// The bands of rows a depth render's steps ask for grow and shrink from pass to pass: a request
// takes the smallest kept block that holds it, but none more than twice its size, which the next
// pass's larger request needs.
TEST(BlockRecycling, ServesARequestFromTheSmallestKeptBlockThatHoldsIt) {
    constexpr std::size_t kMegabyte = std::size_t{1} << 20;
    const auto marked = [](std::size_t size, unsigned char mark) {
        auto* block = static_cast<unsigned char*>(platform::allocate_bytes(size));
        if (block != nullptr) {
            *block = mark;
        }
        return block;
    };
    const auto mark_of_next = [](std::size_t size) {
        auto* block = static_cast<unsigned char*>(platform::allocate_bytes(size));
        const unsigned char mark = block != nullptr ? *block : 0;
        platform::release_bytes(block);
        return mark;
    };
    const int live_before = platform::live_allocations();
    {
        platform::BlockRecycling recycling;
        unsigned char* larger = marked(40 * kMegabyte, 1);
        unsigned char* smaller = marked(24 * kMegabyte, 2);
        ASSERT_TRUE(larger != nullptr && smaller != nullptr);
        platform::release_bytes(larger);
        platform::release_bytes(smaller);
        EXPECT_EQ(mark_of_next(20 * kMegabyte), 2);
        EXPECT_EQ(mark_of_next(8 * kMegabyte), 0);
        EXPECT_EQ(mark_of_next(30 * kMegabyte), 1);
        EXPECT_EQ(mark_of_next(41 * kMegabyte), 0);
    }
    EXPECT_EQ(platform::live_allocations(), live_before);
}

// A render inside another's (a host rendering a layer from within a render) keeps its own blocks
// and hands the thread back to the outer one.
TEST(BlockRecycling, AnInnerRecyclingHandsTheThreadBackToTheOuterOne) {
    platform::BlockRecycling outer;
    void* outer_block = platform::allocate_bytes(kFrameBytes);
    {
        platform::BlockRecycling inner;
        void* inner_block = platform::allocate_bytes(kFrameBytes);
        platform::release_bytes(inner_block);
    }
    platform::release_bytes(outer_block);
    EXPECT_EQ(platform::allocate_bytes(kFrameBytes), outer_block);
    platform::release_bytes(outer_block);
}

// Blocks lent by a caller outlive the recycling that kept them: the next one that borrows the
// same store is served them, and the system has them back only when the caller says so.
TEST(BlockRecycling, LentBlocksServeTheNextRecyclingUntilTheCallerGivesThemBack) {
    constexpr unsigned char kMark = 0x5A;
    const std::size_t mapped_before = platform::mapped_bytes();
    platform::KeptBlocks lent;
    void* first = nullptr;
    {
        platform::BlockRecycling recycling(&lent);
        first = platform::allocate_bytes(kFrameBytes);
        ASSERT_NE(first, nullptr);
        *static_cast<unsigned char*>(first) = kMark;
        platform::release_bytes(first);
    }
    EXPECT_GE(lent.bytes(), kFrameBytes);
    EXPECT_EQ(platform::mapped_bytes(), mapped_before + lent.bytes());
    {
        platform::BlockRecycling recycling(&lent);
        auto* again = static_cast<unsigned char*>(platform::allocate_bytes(kFrameBytes));
        EXPECT_EQ(again, first);
        EXPECT_EQ(*again, kMark);
        platform::release_bytes(again);
    }
    lent.release_all();
    EXPECT_EQ(lent.bytes(), 0U);
    EXPECT_EQ(platform::mapped_bytes(), mapped_before);
    // A recycling's own blocks go back with it.
    {
        platform::BlockRecycling recycling;
        platform::release_bytes(platform::allocate_bytes(kFrameBytes));
        EXPECT_GT(platform::mapped_bytes(), mapped_before);
    }
    EXPECT_EQ(platform::mapped_bytes(), mapped_before);
}
