// The pass's source as photon light. Every gathered cell adds a source pixel's light times the
// cell's weight (or weight change); reading that light from rows converted once per pass costs
// a third of looking each level up in the pair tables, and lets neighbouring pixels' lights be
// read as one vector.
//
// A view holds some rows of the columns a pass reads, each row with pad pixels of no light on
// either side, so that a stamp cut by the frame's side edges is still read whole. The scatter
// loop gives each thread a view of the rows its current chunk of output rows reaches, or its
// threads one view they share of all the rows a narrow band of output rows reaches; the
// gather operations called one pixel at a time use a view of the whole frame.
#ifndef QB_SCATTER_LIGHT_ROWS_H
#define QB_SCATTER_LIGHT_ROWS_H

#include <cstddef>
#include <cstdint>

#include "scatter/pass_view.h"

namespace scatter {

struct LightView {
    float* channel = nullptr;  // four lights a pixel
    float* weight = nullptr;   // one light a pixel, after every pixel's channel lights
    int32_t first_row = 0;     // frame row of the view's row 0
    int32_t rows = 0;
    int32_t first_column = 0;  // frame column of the first pixel past the left pad
    int32_t columns = 0;
    int32_t pad = 0;
    // Per view row, whether some pixel of it may have a channel light of 0; null when any row
    // may. Where no row a stamp reaches has one, every sum is fed wherever its plane weighs
    // anything in the frame, and the kernels need not count what feeds it (gather_walk.h).
    uint8_t* unlit_rows = nullptr;

    std::ptrdiff_t stride() const {
        return static_cast<std::ptrdiff_t>(columns) + 2 * static_cast<std::ptrdiff_t>(pad);
    }
    // The view's pixel of frame pixel (x, y); x may lie up to `pad` pixels beyond the columns.
    std::ptrdiff_t pixel(int32_t x, int32_t y) const {
        return static_cast<std::ptrdiff_t>(y - first_row) * stride() + (x - first_column) + pad;
    }

    // Whether some pixel of frame rows [first, end), which the view holds, may have a channel
    // light of 0.
    bool some_unlit(int32_t first, int32_t end) const {
        if (unlit_rows == nullptr) {
            return true;
        }
        for (int32_t y = first; y < end; ++y) {
            if (unlit_rows[y - first_row] != 0) {
                return true;
            }
        }
        return false;
    }

    // Floats of a view of `rows` rows.
    static std::size_t floats(int32_t rows, int32_t columns, int32_t pad) {
        return (static_cast<std::size_t>(columns) + 2 * static_cast<std::size_t>(pad)) *
               static_cast<std::size_t>(rows) * 5;
    }
    // A view of `rows` rows laid over `block` of floats(rows, columns, pad) floats.
    static LightView over(float* block, int32_t rows, int32_t first_column, int32_t columns,
                          int32_t pad);
};

// Converts frame rows [first, end), which must lie in the view, from Src_Data_sh. A channel's
// light is the photon light of its level; the weight's is that of level_map of the alpha
// level, so that it is 0 where alpha is 0. A float frame's rows come from the frame itself,
// each value's light as LinearLight gives it. Marks the rows with a channel light of 0 in the
// view's unlit_rows, where it has them.
void convert_light_rows(const PassView& e, const LightView& view, int32_t first, int32_t end);

// One light of each pixel of frame row y from column `first` on, as convert_light_rows gives
// it: the channel `slot` (0 to 3), or the weight (slot 4). Answers the largest.
float convert_light_slot(const PassView& e, int slot, int32_t y, int32_t first, int32_t columns,
                         double* out);

}  // namespace scatter

#endif
