#include "render/step_preparation.h"

#include <algorithm>
#include <cstring>

#include "render/row_threads.h"
#include "render/step_mask.h"

namespace render {
namespace {

bool range_meets_step(const RowDistances& range, const DistanceStep& step) {
    return range.highest >= step.lo && range.lowest < step.hi;
}

// The rows (or columns) of `count` whose distance range meets the step: the step's pixels lie
// only in them. Without distances every one holds the step's pixels.
Span candidates(const StepSource& source, const RowDistances* ranges, int32_t count,
                const DistanceStep& step) {
    if (source.distances == nullptr) {
        return Span{0, count};
    }
    Span span{0, 0};
    int32_t i = 0;
    while (i < count && !range_meets_step(ranges[i], step)) {
        ++i;
    }
    span.first = i;
    for (; i < count; ++i) {
        if (range_meets_step(ranges[i], step)) {
            span.end = i + 1;
        }
    }
    return span;
}

std::size_t row_bytes(const StepSource& source, const PixelRows& buffer) {
    return static_cast<std::size_t>(source.width) * pixel_bytes(buffer.depth);
}

void clear_buffer_row(const StepSource& source, const PixelRows& buffer, StepWorkspace& workspace,
                      int32_t y) {
    if (workspace.row_dirty[y] != 0) {
        std::memset(buffer.row(y), 0, row_bytes(source, buffer));
        workspace.row_dirty[y] = 0;
    }
}

// 16-bit channels above white would index past the engine's tables; they count as white.
void copy_pixel(const uint8_t* from, uint8_t* to, ChannelDepth depth) {
    if (depth == ChannelDepth::k8) {
        std::memcpy(to, from, kChannels);
        return;
    }
    uint16_t channels[kChannels];
    std::memcpy(channels, from, sizeof channels);
    for (uint16_t& channel : channels) {
        channel = std::min(channel, static_cast<uint16_t>(kMaxChannel16));
    }
    std::memcpy(to, channels, sizeof channels);
}

// Row y of the buffer: the step's pixels, which lie in `columns`, and zeros everywhere else.
void extract_row(const StepSource& source, const DistanceStep& step, Span columns,
                 const PixelRows& buffer, StepWorkspace& workspace, int32_t y) {
    const std::size_t bytes = pixel_bytes(buffer.depth);
    std::memset(buffer.row(y), 0, row_bytes(source, buffer));
    const uint8_t* distances =
        source.distances ? source.distances + y * source.distance_stride : nullptr;
    uint8_t* out = buffer.row(y);
    int32_t copied = 0;
    for (int32_t x = columns.first; x < columns.end; ++x) {
        if (distances == nullptr || step.contains(distances[x])) {
            copy_pixel(source.input.pixel(x, y), out + static_cast<std::size_t>(x) * bytes,
                       buffer.depth);
            ++copied;
        }
    }
    workspace.row_work[y] = copied;
    workspace.row_dirty[y] = copied > 0 ? 1 : 0;
}

bool row_may_hold_step(const StepSource& source, const StepWorkspace& workspace, Span rows,
                       int32_t y, const DistanceStep& step) {
    return rows.contains(y) &&
           (source.distances == nullptr || range_meets_step(workspace.row_distances[y], step));
}

void extract_rows(const StepSource& source, const DistanceStep& step, Span rows, Span columns,
                  Span band, const PixelRows& buffer, StepWorkspace& workspace) {
    for_each_row(band.first, band.end, source.width, [&](int, int32_t y) {
        if (row_may_hold_step(source, workspace, rows, y, step)) {
            extract_row(source, step, columns, buffer, workspace, y);
        } else {
            clear_buffer_row(source, buffer, workspace, y);
        }
    });
}

void clear_mask_row(uint8_t* mask, int32_t width, int32_t height, int32_t y) {
    if (y >= 0 && y < height) {
        std::memset(mask + static_cast<std::ptrdiff_t>(y) * width, 0,
                    static_cast<std::size_t>(width));
    }
}

void build_mask(const StepSource& source, const PixelRows& buffer, int32_t half, Span rows,
                Span columns, Span band, uint8_t* mask, StepWorkspace& workspace) {
    const int32_t width = source.width;
    for_each_row(band.first, band.end, width, [&](int, int32_t y) {
        clear_mask_row(mask, width, source.height, y);
        if (rows.contains(y) && workspace.row_work[y] > 0) {
            grow_mask_row(buffer.row(y), buffer.depth, width, half, columns,
                          mask + static_cast<std::ptrdiff_t>(y) * width);
        }
    });
    // A run grows by half to the left and half and one to the right.
    const Span grown{std::max(columns.first - half, 0), std::min(columns.end + half + 1, width)};
    grow_mask_columns(mask, width, source.height, half, band, grown, workspace);
    // Smoothing reads one row and one column beyond the grown box; there the mask is empty.
    clear_mask_row(mask, width, source.height, band.first - 1);
    clear_mask_row(mask, width, source.height, band.end);
    const Span smoothed{std::max(grown.first - 1, 0), std::min(grown.end + 1, width)};
    smooth_mask(mask, width, source.height, width, band, smoothed, workspace);
}

}  // namespace

void measure_step_source(const StepSource& source, StepWorkspace& workspace) {
    std::fill(workspace.row_dirty, workspace.row_dirty + source.height, 1);
    if (source.distances == nullptr || source.width <= 0) {
        return;
    }
    for_each_row(0, source.height, source.width, [&](int, int32_t y) {
        const uint8_t* row = source.distances + y * source.distance_stride;
        const auto [lowest, highest] = std::minmax_element(row, row + source.width);
        workspace.row_distances[y] = RowDistances{*lowest, *highest};
    });
    // Each thread owns a block of columns and walks every row along it.
    RowDistances* const columns = workspace.column_distances;
    const int32_t blocks = (source.width + kColumnBlock - 1) / kColumnBlock;
    const int64_t block_cells = int64_t{kColumnBlock} * source.height;
    for_each_row(0, blocks, block_cells, [&](int, int32_t block) {
        const int32_t first = block * kColumnBlock;
        const int32_t end = std::min(first + kColumnBlock, source.width);
        std::fill(columns + first, columns + end, RowDistances{255, 0});
        for (int32_t y = 0; y < source.height; ++y) {
            const uint8_t* row = source.distances + y * source.distance_stride;
            for (int32_t x = first; x < end; ++x) {
                columns[x].lowest = std::min(columns[x].lowest, row[x]);
                columns[x].highest = std::max(columns[x].highest, row[x]);
            }
        }
    });
}

void prepare_step(const StepSource& source, const DistanceStep& step, int32_t disc,
                  const PixelRows& buffer, uint8_t* mask, StepWorkspace& workspace) {
    std::fill(workspace.row_work, workspace.row_work + source.height, 0);
    const Span rows = candidates(source, workspace.row_distances, source.height, step);
    const Span columns = candidates(source, workspace.column_distances, source.width, step);
    if (rows.empty() || columns.empty()) {
        return;
    }
    // A single step reaches every pixel at full weight, and smoothing keeps it so.
    if (source.step_count == 1) {
        extract_rows(source, step, rows, columns, rows, buffer, workspace);
        std::memset(
            mask, kMaskFull,
            static_cast<std::size_t>(source.width) * static_cast<std::size_t>(source.height));
        return;
    }
    const int32_t half = disc / 2;
    const Span band{std::max(rows.first - half, 0), std::min(rows.end + half, source.height)};
    extract_rows(source, step, rows, columns, band, buffer, workspace);
    // The engine gathers from up to a disc's half beyond the rows it works on; there the buffer
    // holds no pixel of an earlier step.
    for (int32_t y = std::max(band.first - half, 0); y < band.first; ++y) {
        clear_buffer_row(source, buffer, workspace, y);
    }
    for (int32_t y = band.end; y < std::min(band.end + half, source.height); ++y) {
        clear_buffer_row(source, buffer, workspace, y);
    }
    build_mask(source, buffer, half, rows, columns, band, mask, workspace);
}

}  // namespace render
