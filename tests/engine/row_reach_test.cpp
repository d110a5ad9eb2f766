#include "engine/row_reach.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <utility>
#include <vector>

namespace {

using Ranges = std::vector<std::pair<int32_t, int32_t>>;

Ranges ranges_of(const std::vector<int32_t>& row_mask, int32_t reach) {
    Ranges ranges;
    row_reach::for_each_range(row_mask.data(), static_cast<int32_t>(row_mask.size()), reach,
                              [&](int32_t first, int32_t end) { ranges.emplace_back(first, end); });
    return ranges;
}

// Neighbouring processed rows make one range however many rows they are, so that a caller can
// share it among threads; a gap wider than twice the reach splits them, and the frame's edges
// clip them.
TEST(RowReach, RangesAreTheLongestRunsWithinReachOfProcessedRows) {
    //                                  0  1  2  3  4  5  6  7  8  9 10 11 12 13 14 15
    const std::vector<int32_t> mask = {1, 0, 0, 0, 0, 0, 1, 1, 1, 1, 0, 0, 0, 0, 0, 1};
    EXPECT_EQ(ranges_of(mask, 0), (Ranges{{0, 1}, {6, 10}, {15, 16}}));
    EXPECT_EQ(ranges_of(mask, 2), (Ranges{{0, 3}, {4, 12}, {13, 16}}));
    // Reaches that meet across a gap join the ranges.
    EXPECT_EQ(ranges_of(mask, 3), (Ranges{{0, 16}}));
    EXPECT_EQ(ranges_of(std::vector<int32_t>(16, 0), 2), Ranges{});
    // Without a mask every row is processed.
    Ranges all;
    row_reach::for_each_range(nullptr, 16, 5,
                              [&](int32_t first, int32_t end) { all.emplace_back(first, end); });
    EXPECT_EQ(all, (Ranges{{0, 16}}));
}

TEST(RowReach, ProcessedRowsRunFromTheFirstProcessedRowToTheLast) {
    const std::vector<int32_t> mask = {0, 0, 1, 0, 1, 1, 0, 0};
    const row_reach::RowSpan rows = row_reach::processed_rows(mask.data(), 8);
    EXPECT_EQ(rows.first, 2);
    EXPECT_EQ(rows.end, 6);
    EXPECT_TRUE(row_reach::processed_rows(std::vector<int32_t>(8, 0).data(), 8).empty());
    const row_reach::RowSpan every = row_reach::processed_rows(nullptr, 8);
    EXPECT_EQ(every.first, 0);
    EXPECT_EQ(every.end, 8);
}

}  // namespace
