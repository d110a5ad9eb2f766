#include "scatter/light_rows.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <memory>
#include <random>
#include <vector>

#include "tests/scatter/hand_pass.h"

namespace {

using scatter_test::Light;

// A window reused from an earlier pass holds its light: what the conversion does not write
// must not be read as light. NaN shows any such value in every sum it reaches.
constexpr float kLeftover = std::numeric_limits<float>::quiet_NaN();

TEST(LightRows, ConvertedRowsHoldTheirLevelsLightAndTheirPadsNone) {
    constexpr int kWidth = 23;
    constexpr int kHeight = 6;
    constexpr int kPad = 4;
    // A window of the middle columns and rows, as a pass reading part of the frame keeps.
    constexpr int kFirstColumn = 2;
    constexpr int kColumns = 17;
    constexpr int kFirstRow = 1;
    constexpr int kRows = 4;
    std::mt19937 rng(11);
    const Light light;
    auto pass = std::make_unique<scatter_test::HandPass>();
    const scatter_test::Frame frame =
        scatter_test::random_frame(rng, kWidth, kHeight, light.levels);
    scatter_test::install_pass(*pass, scatter_test::disc_iris(5, 2), frame, light);
    const scatter::PassView view = pass->view();

    std::vector<float> block(scatter::LightView::floats(kRows, kColumns, kPad), kLeftover);
    std::vector<uint8_t> unlit(kRows, 7);
    scatter::LightView window =
        scatter::LightView::over(block.data(), kRows, kFirstColumn, kColumns, kPad);
    window.first_row = kFirstRow;
    window.unlit_rows = unlit.data();
    scatter::convert_light_rows(view, window, kFirstRow, kFirstRow + kRows);

    const PhotonLight& photons = pass->photons;
    for (int y = kFirstRow; y < kFirstRow + kRows; ++y) {
        bool row_unlit = false;
        for (int x = kFirstColumn - kPad; x < kFirstColumn + kColumns + kPad; ++x) {
            const std::ptrdiff_t at = window.pixel(x, y);
            const bool in_pad = x < kFirstColumn || x >= kFirstColumn + kColumns;
            for (int k = 0; k < 4; ++k) {
                const float expected =
                    in_pad ? 0.0f : photons.level_light[frame.levels[4 * (y * kWidth + x) + k]];
                EXPECT_EQ(window.channel[4 * at + k], expected) << x << "," << y << " " << k;
                row_unlit |= !in_pad && expected == 0.0f;
            }
            const float weight =
                in_pad ? 0.0f
                       : photons.level_light[photons.level_map[frame.levels[4 * (y * kWidth + x)]]];
            EXPECT_EQ(window.weight[at], weight) << x << "," << y;
        }
        // Random levels leave some pixel of every row unlit; the mark must say so.
        EXPECT_EQ(unlit[y - kFirstRow] != 0, row_unlit) << y;
    }
}

}  // namespace
