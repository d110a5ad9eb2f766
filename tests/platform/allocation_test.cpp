#include "platform/allocation.h"

#include <gtest/gtest.h>

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
