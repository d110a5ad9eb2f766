#include "render/step_mask.h"

#include <algorithm>
#include <cstddef>
#include <cstring>

namespace render {
namespace {

bool opaque(const uint8_t* pixel, ChannelDepth depth) {
    // Alpha is the first channel; it is non-zero when any of its bytes is.
    return pixel[0] != 0 || (depth == ChannelDepth::k16 && pixel[1] != 0);
}

void fill_full(uint8_t* mask_row, int32_t from, int32_t to) {
    std::memset(mask_row + from, kMaskFull, static_cast<std::size_t>(to - from));
}

// A column's state while the rows go by.
struct ColumnRun {
    int32_t& inside;
    int32_t& countdown;
};

void mark_grown(StepWorkspace& workspace, int32_t width, int32_t row, int32_t column) {
    workspace.mask_scratch[static_cast<std::ptrdiff_t>(row) * width + column] = kMaskFull;
    ++workspace.row_work[row];
}

// Interior columns divide by a constant, which the compiler turns into a multiplication.
template <int32_t kRows>
void average_interior(const uint16_t* sums, int32_t width, uint8_t* out) {
    constexpr int32_t kCells = kRows * 3;
    for (int32_t c = 1; c + 1 < width; ++c) {
        out[c] = static_cast<uint8_t>((sums[c - 1] + sums[c] + sums[c + 1]) / kCells);
    }
}

uint8_t average_edge(const uint16_t* sums, int32_t width, int32_t rows, int32_t c) {
    const int32_t left = std::max(c - 1, 0);
    const int32_t right = std::min(c + 1, width - 1);
    int32_t sum = 0;
    for (int32_t k = left; k <= right; ++k) {
        sum += sums[k];
    }
    return static_cast<uint8_t>(sum / (rows * (right - left + 1)));
}

// One output row from the column sums of its `rows` (1 to 3) in-region rows.
void average_columns(const uint16_t* sums, int32_t width, int32_t rows, uint8_t* out) {
    switch (rows) {
        case 3:
            average_interior<3>(sums, width, out);
            break;
        case 2:
            average_interior<2>(sums, width, out);
            break;
        default:
            average_interior<1>(sums, width, out);
            break;
    }
    out[0] = average_edge(sums, width, rows, 0);
    out[width - 1] = average_edge(sums, width, rows, width - 1);
}

}  // namespace

void grow_mask_row(const uint8_t* pixels, ChannelDepth depth, int32_t width, int32_t half,
                   uint8_t* mask_row) {
    std::memset(mask_row, 0, static_cast<std::size_t>(width));
    const std::size_t step = pixel_bytes(depth);
    bool inside = false;
    int32_t countdown = 0;
    for (int32_t x = 0; x < width; ++x) {
        const bool occupied = opaque(pixels + static_cast<std::size_t>(x) * step, depth);
        if (occupied && inside) {
            mask_row[x] = kMaskFull;
        } else if (occupied) {
            inside = true;
            // Within the growth of the run before, the left growth is already full.
            if (countdown == 0) {
                fill_full(mask_row, std::max(0, x - half), x + 1);
            }
        } else if (inside) {
            inside = false;
            const int32_t end = std::min(x + half + 1, width);
            fill_full(mask_row, x, end);
            countdown = end - x;
        }
        if (countdown > 0) {
            --countdown;
        }
    }
}

void grow_mask_columns(uint8_t* mask, int32_t width, int32_t height, int32_t half,
                       int32_t first_row, int32_t end_row, StepWorkspace& workspace) {
    const std::size_t band_bytes = static_cast<std::size_t>(end_row - first_row) * width;
    uint8_t* const grown_band =
        workspace.mask_scratch + static_cast<std::ptrdiff_t>(first_row) * width;
    std::memset(grown_band, 0, band_bytes);
    int32_t* const inside = workspace.column_state;
    int32_t* const countdown = workspace.column_state + width;
    std::fill(inside, inside + width, 0);
    std::fill(countdown, countdown + width, 0);

    // Row by row with one state a column, so the mask is read along its rows; growth goes to
    // the scratch so that it never feeds back into the runs still being read.
    for (int32_t y = first_row; y < end_row; ++y) {
        const uint8_t* row = mask + static_cast<std::ptrdiff_t>(y) * width;
        for (int32_t c = 0; c < width; ++c) {
            const bool full = row[c] == kMaskFull;
            if (full && inside[c] == 0) {
                inside[c] = 1;
                if (countdown[c] == 0) {
                    for (int32_t i = y - 1; i >= std::max(0, y - half); --i) {
                        mark_grown(workspace, width, i, c);
                    }
                }
            } else if (!full && inside[c] != 0) {
                inside[c] = 0;
                const int32_t end = std::min(y + half, height);
                for (int32_t i = y; i < end; ++i) {
                    mark_grown(workspace, width, i, c);
                }
                countdown[c] = end - y;
            }
            if (countdown[c] > 0) {
                --countdown[c];
            }
        }
    }

    uint8_t* const mask_band = mask + static_cast<std::ptrdiff_t>(first_row) * width;
    for (std::size_t i = 0; i < band_bytes; ++i) {
        mask_band[i] |= grown_band[i];
    }
}

void smooth_mask(uint8_t* mask, int32_t width, int32_t height, int32_t stride, int32_t first_row,
                 int32_t end_row, StepWorkspace& workspace) {
    uint16_t* const sums = workspace.column_sums;
    for (int32_t y = first_row; y < end_row; ++y) {
        const int32_t top = std::max(y - 1, 0);
        const int32_t bottom = std::min(y + 1, height - 1);
        std::fill(sums, sums + width, 0);
        for (int32_t r = top; r <= bottom; ++r) {
            const uint8_t* row = mask + static_cast<std::ptrdiff_t>(r) * stride;
            for (int32_t c = 0; c < width; ++c) {
                sums[c] = static_cast<uint16_t>(sums[c] + row[c]);
            }
        }
        uint8_t* out = workspace.mask_scratch + static_cast<std::ptrdiff_t>(y - first_row) * width;
        average_columns(sums, width, bottom - top + 1, out);
    }
    for (int32_t y = first_row; y < end_row; ++y) {
        std::memcpy(mask + static_cast<std::ptrdiff_t>(y) * stride,
                    workspace.mask_scratch + static_cast<std::ptrdiff_t>(y - first_row) * width,
                    static_cast<std::size_t>(width));
    }
}

}  // namespace render
