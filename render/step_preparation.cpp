#include "render/step_preparation.h"

#include <algorithm>
#include <cstring>

#include "render/step_mask.h"

namespace render {
namespace {

// Region rows [first, end).
struct RowBand {
    int32_t first = 0;
    int32_t end = 0;

    bool empty() const { return end <= first; }
};

bool row_meets_step(const StepSource& source, const StepWorkspace& workspace, int32_t y,
                    const DistanceStep& step) {
    if (source.distances == nullptr) {
        return true;
    }
    const RowDistances& range = workspace.row_distances[y];
    return range.highest >= step.lo && range.lowest < step.hi;
}

// The rows that may hold pixels of the step.
RowBand candidate_rows(const StepSource& source, const StepWorkspace& workspace,
                       const DistanceStep& step) {
    RowBand band{0, 0};
    int32_t y = 0;
    while (y < source.height && !row_meets_step(source, workspace, y, step)) {
        ++y;
    }
    band.first = y;
    for (; y < source.height; ++y) {
        if (row_meets_step(source, workspace, y, step)) {
            band.end = y + 1;
        }
    }
    return band;
}

void clear_buffer_row(const PixelRows& buffer, int32_t width, StepWorkspace& workspace, int32_t y) {
    if (workspace.row_dirty[y] != 0) {
        std::memset(buffer.row(y), 0, static_cast<std::size_t>(width) * pixel_bytes(buffer.depth));
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

void extract_row(const StepSource& source, const DistanceStep& step, const PixelRows& buffer,
                 StepWorkspace& workspace, int32_t y) {
    const std::size_t bytes = pixel_bytes(buffer.depth);
    const uint8_t* distances =
        source.distances ? source.distances + y * source.distance_stride : nullptr;
    uint8_t* out = buffer.row(y);
    int32_t copied = 0;
    for (int32_t x = 0; x < source.width; ++x, out += bytes) {
        if (distances == nullptr || step.contains(distances[x])) {
            copy_pixel(source.input.pixel(x, y), out, buffer.depth);
            ++copied;
        } else {
            std::memset(out, 0, bytes);
        }
    }
    workspace.row_work[y] = copied;
    workspace.row_dirty[y] = copied > 0 ? 1 : 0;
}

void extract_rows(const StepSource& source, const DistanceStep& step, const PixelRows& buffer,
                  RowBand candidates, RowBand band, StepWorkspace& workspace) {
    for (int32_t y = band.first; y < band.end; ++y) {
        if (y >= candidates.first && y < candidates.end &&
            row_meets_step(source, workspace, y, step)) {
            extract_row(source, step, buffer, workspace, y);
        } else {
            clear_buffer_row(buffer, source.width, workspace, y);
        }
    }
}

void clear_mask_row(uint8_t* mask, int32_t width, int32_t height, int32_t y) {
    if (y >= 0 && y < height) {
        std::memset(mask + static_cast<std::ptrdiff_t>(y) * width, 0,
                    static_cast<std::size_t>(width));
    }
}

void build_mask(const StepSource& source, const PixelRows& buffer, int32_t half, RowBand candidates,
                RowBand band, uint8_t* mask, StepWorkspace& workspace) {
    const int32_t width = source.width;
    for (int32_t y = band.first; y < band.end; ++y) {
        uint8_t* mask_row = mask + static_cast<std::ptrdiff_t>(y) * width;
        if (y >= candidates.first && y < candidates.end && workspace.row_work[y] > 0) {
            grow_mask_row(buffer.row(y), buffer.depth, width, half, mask_row);
        } else {
            std::memset(mask_row, 0, static_cast<std::size_t>(width));
        }
    }
    grow_mask_columns(mask, width, source.height, half, band.first, band.end, workspace);
    // Smoothing reads one row beyond each end of the band; there the mask is empty.
    clear_mask_row(mask, width, source.height, band.first - 1);
    clear_mask_row(mask, width, source.height, band.end);
    smooth_mask(mask, width, source.height, width, band.first, band.end, workspace);
}

}  // namespace

void measure_step_source(const StepSource& source, StepWorkspace& workspace) {
    std::fill(workspace.row_dirty, workspace.row_dirty + source.height, 1);
    if (source.distances == nullptr || source.width <= 0) {
        return;
    }
    for (int32_t y = 0; y < source.height; ++y) {
        const uint8_t* row = source.distances + y * source.distance_stride;
        const auto [lowest, highest] = std::minmax_element(row, row + source.width);
        workspace.row_distances[y] = RowDistances{*lowest, *highest};
    }
}

void prepare_step(const StepSource& source, const DistanceStep& step, int32_t disc,
                  const PixelRows& buffer, uint8_t* mask, StepWorkspace& workspace) {
    std::fill(workspace.row_work, workspace.row_work + source.height, 0);
    const RowBand candidates = candidate_rows(source, workspace, step);
    if (candidates.empty()) {
        return;
    }
    // A single step reaches every pixel at full weight, and smoothing keeps it so.
    if (source.step_count == 1) {
        extract_rows(source, step, buffer, candidates, candidates, workspace);
        std::memset(
            mask, kMaskFull,
            static_cast<std::size_t>(source.width) * static_cast<std::size_t>(source.height));
        return;
    }
    const int32_t half = disc / 2;
    const RowBand band{std::max(candidates.first - half, 0),
                       std::min(candidates.end + half, source.height)};
    extract_rows(source, step, buffer, candidates, band, workspace);
    // The engine gathers from up to a disc's half beyond the rows it works on; there the buffer
    // holds no pixel of an earlier step.
    for (int32_t y = std::max(band.first - half, 0); y < band.first; ++y) {
        clear_buffer_row(buffer, source.width, workspace, y);
    }
    for (int32_t y = band.end; y < std::min(band.end + half, source.height); ++y) {
        clear_buffer_row(buffer, source.width, workspace, y);
    }
    build_mask(source, buffer, half, candidates, band, mask, workspace);
}

}  // namespace render
