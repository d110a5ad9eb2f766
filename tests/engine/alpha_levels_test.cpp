#include "engine/alpha_levels.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <thread>
#include <vector>

namespace {

// A row of pixels of the given alpha levels, each with colour beside it that must not count.
std::vector<uint16_t> row_of(const std::vector<uint16_t>& alphas) {
    std::vector<uint16_t> row;
    for (const uint16_t alpha : alphas) {
        row.insert(row.end(), {alpha, 3, 2, 1});
    }
    return row;
}

int32_t level_of(const std::vector<std::vector<uint16_t>>& rows, bool* unlit = nullptr) {
    AlphaLevels levels;
    for (const std::vector<uint16_t>& alphas : rows) {
        const std::vector<uint16_t> row = row_of(alphas);
        levels.note_row(row.data(), static_cast<int32_t>(alphas.size()));
    }
    if (unlit != nullptr) {
        *unlit = levels.unlit();
    }
    return levels.level();
}

TEST(AlphaLevels, OneLitLevelIsFoundWithOrWithoutUnlitPixels) {
    bool unlit = true;
    EXPECT_EQ(level_of({{7, 7, 7}, {7}}, &unlit), 7);
    EXPECT_FALSE(unlit);
    EXPECT_EQ(level_of({{0, 7, 0}, {0, 0}, {7}}, &unlit), 7);
    EXPECT_TRUE(unlit);
    EXPECT_EQ(level_of({{0, 0}}, &unlit), AlphaLevels::kNone);
    EXPECT_TRUE(unlit);
    // Nothing noted, and rows of no pixels, hold no level and no unlit pixel.
    EXPECT_EQ(level_of({}, &unlit), AlphaLevels::kNone);
    EXPECT_FALSE(unlit);
    EXPECT_EQ(level_of({{}, {}}, &unlit), AlphaLevels::kNone);
    EXPECT_FALSE(unlit);
    // The levels at either end of the range, where a level less one wraps.
    EXPECT_EQ(level_of({{1, 0, 1}}), 1);
    EXPECT_EQ(level_of({{65535, 0}, {65535}}), 65535);
}

TEST(AlphaLevels, AnySecondLitLevelMixesThem) {
    EXPECT_EQ(level_of({{7, 8}}), AlphaLevels::kMixed);
    EXPECT_EQ(level_of({{7, 7}, {0, 8}}), AlphaLevels::kMixed);
    EXPECT_EQ(level_of({{1, 65535}}), AlphaLevels::kMixed);
    EXPECT_EQ(level_of({{8}, {7}, {8}}), AlphaLevels::kMixed);
    // A row longer than a vector of levels, with its odd pixel first, last and in the middle.
    for (const size_t odd : {size_t{0}, size_t{40}, size_t{99}}) {
        std::vector<uint16_t> alphas(100, 200);
        alphas[odd] = 201;
        EXPECT_EQ(level_of({alphas}), AlphaLevels::kMixed) << odd;
        alphas[odd] = 0;
        bool unlit = false;
        EXPECT_EQ(level_of({alphas}, &unlit), 200) << odd;
        EXPECT_TRUE(unlit) << odd;
    }
}

// Threads note their rows as they come; whichever notes first, the answer is the same.
TEST(AlphaLevels, ThreadsNotingRowsAtOnceAgree) {
    constexpr int kRows = 2000;
    for (const uint16_t other : {uint16_t{5}, uint16_t{6}}) {
        AlphaLevels levels;
        const std::vector<uint16_t> fives = row_of({5, 5, 0, 5});
        const std::vector<uint16_t> last = row_of({5, other});
        std::thread helper([&] {
            for (int i = 0; i < kRows; ++i) {
                levels.note_row(fives.data(), 4);
            }
        });
        for (int i = 0; i < kRows; ++i) {
            levels.note_row(i == kRows / 2 ? last.data() : fives.data(), i == kRows / 2 ? 2 : 4);
        }
        helper.join();
        EXPECT_EQ(levels.level(), other == 5 ? 5 : AlphaLevels::kMixed);
        EXPECT_TRUE(levels.unlit());
        const AlphaLevels copy = levels;
        EXPECT_EQ(copy.level(), levels.level());
        EXPECT_TRUE(copy.unlit());
    }
}

}  // namespace
