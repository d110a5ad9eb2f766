#include "platform/allocation.h"

#include <gtest/gtest.h>

#include <cstddef>
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
