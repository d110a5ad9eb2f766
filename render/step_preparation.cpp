#include "render/step_preparation.h"

#include <algorithm>
#include <cstring>
#include <type_traits>

#include "engine/linear_light.h"
#include "platform/parallel_rows.h"
#include "render/step_mask.h"
#include "sdk/pf_world.h"

namespace render {

using platform::threads_for;

namespace {

static_assert(PF_FLOAT_LIGHT_MAX == LinearLight::kLargestLight,
              "hosts clean float worlds to the light the engine carries");

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

// Zeros pixels first .. end - 1 of row y of the buffer.
void clear_pixels(const PixelRows& buffer, int32_t y, int32_t first, int32_t end) {
    if (first < end) {
        const std::size_t bytes = pixel_bytes(buffer.depth);
        std::memset(buffer.row(y) + static_cast<std::size_t>(first) * bytes, 0,
                    static_cast<std::size_t>(end - first) * bytes);
    }
}

void clear_buffer_row(const PixelRows& buffer, StepWorkspace& workspace, int32_t y) {
    DirtyColumns& dirty = workspace.row_dirty[y];
    clear_pixels(buffer, y, dirty.first, dirty.end);
    dirty = DirtyColumns{};
}

// A channel as the engine may read it. 16-bit channels above white would index past the
// engine's tables; they count as white. Float ones are cleaned of what is not light.
template <class Channel>
Channel engine_channel(Channel channel) {
    if constexpr (std::is_floating_point_v<Channel>) {
        return LinearLight::cleaned(channel);
    } else {
        constexpr Channel kWhite = sizeof(Channel) == 1 ? 255 : kMaxChannel16;
        return std::min(channel, kWhite);
    }
}

// Copies `count` pixels of channels of type Channel where take(i) holds and zeros elsewhere;
// answers how many it copied. Without a branch a pixel, so that the loop runs a vector at a time.
template <class Channel, class Take>
int32_t copy_taken_pixels(const uint8_t* in, int32_t count, Take take, uint8_t* out) {
    int32_t copied = 0;
    for (int32_t i = 0; i < count; ++i) {
        const bool taken = take(i);
        Channel pixel[kChannels];
        std::memcpy(pixel, in + static_cast<std::size_t>(i) * sizeof pixel, sizeof pixel);
        for (Channel& channel : pixel) {
            channel = taken ? engine_channel(channel) : Channel{0};
        }
        if constexpr (std::is_floating_point_v<Channel>) {
            if (taken) {
                LinearLight::mark_in_step(pixel);
            }
        }
        std::memcpy(out + static_cast<std::size_t>(i) * sizeof pixel, pixel, sizeof pixel);
        copied += taken ? 1 : 0;
    }
    return copied;
}

template <class Channel>
int32_t copy_step_pixels(const uint8_t* in, const uint8_t* distances, const DistanceStep& step,
                         int32_t count, uint8_t* out) {
    if (distances == nullptr) {
        return copy_taken_pixels<Channel>(
            in, count, [](int32_t) { return true; }, out);
    }
    // The step by value, so that its bounds stay in registers.
    return copy_taken_pixels<Channel>(
        in, count, [distances, step](int32_t i) { return step.contains(distances[i]); }, out);
}

// Row y of the buffer: the step's pixels, which lie in `columns`, and zeros everywhere else.
// Only what an earlier step left outside `columns` is cleared: a step of a few columns, in a
// map whose distances run across the frame, cleared whole rows before.
void extract_row(const StepSource& source, const DistanceStep& step, Span columns,
                 const PixelRows& buffer, StepWorkspace& workspace, int32_t y) {
    const std::size_t bytes = pixel_bytes(buffer.depth);
    uint8_t* row = buffer.row(y);
    DirtyColumns& dirty = workspace.row_dirty[y];
    clear_pixels(buffer, y, dirty.first, std::min(dirty.end, columns.first));
    clear_pixels(buffer, y, std::max(dirty.first, columns.end), dirty.end);
    const uint8_t* distances =
        source.distances ? source.distances + y * source.distance_stride + columns.first : nullptr;
    const uint8_t* in = source.input.pixel(columns.first, y);
    uint8_t* out = row + static_cast<std::size_t>(columns.first) * bytes;
    const int32_t count = columns.end - columns.first;
    int32_t copied = 0;
    switch (buffer.depth) {
        case ChannelDepth::k8:
            copied = copy_step_pixels<uint8_t>(in, distances, step, count, out);
            break;
        case ChannelDepth::k16:
            copied = copy_step_pixels<uint16_t>(in, distances, step, count, out);
            break;
        case ChannelDepth::kFloat:
            copied = copy_step_pixels<float>(in, distances, step, count, out);
            break;
    }
    workspace.row_work[y] = copied;
    dirty = copied > 0 ? DirtyColumns{columns.first, columns.end} : DirtyColumns{};
}

bool row_may_hold_step(const StepSource& source, const StepWorkspace& workspace, Span rows,
                       int32_t y, const DistanceStep& step) {
    return rows.contains(y) &&
           (source.distances == nullptr || range_meets_step(workspace.row_distances[y], step));
}

void extract_rows(const StepSource& source, const DistanceStep& step, Span rows, Span columns,
                  const PixelRows& buffer, StepWorkspace& workspace) {
    platform::for_each_row(rows.first, rows.end,
                           threads_for(int64_t{rows.end - rows.first} * source.width),
                           [&](int, int32_t y) {
                               if (row_may_hold_step(source, workspace, rows, y, step)) {
                                   extract_row(source, step, columns, buffer, workspace, y);
                               } else {
                                   clear_buffer_row(buffer, workspace, y);
                               }
                           });
}

void clear_mask_row(uint8_t* mask, int32_t width, int32_t height, int32_t y) {
    if (y >= 0 && y < height) {
        std::memset(mask + static_cast<std::ptrdiff_t>(y) * width, 0,
                    static_cast<std::size_t>(width));
    }
}

// Where one step of several works.
struct StepBox {
    Span rows;     // the rows that may hold the step's pixels
    Span columns;  // the columns that may
    Span band;     // the rows its mask covers: `rows` and half a disc beyond
    int32_t half = 0;

    // The rows the first stage of the step touches: the engine gathers from up to half a disc
    // beyond the band, where the buffer may hold no pixel of an earlier step, and smoothing
    // reads one row beyond it, where the mask must be empty.
    Span reach(int32_t height) const {
        const int32_t beyond = std::max(half, 1);
        return Span{std::max(band.first - beyond, 0), std::min(band.end + beyond, height)};
    }
};

// Row y of the first stage: the buffer row and the mask row's horizontal growth.
void prepare_row(const StepSource& source, const DistanceStep& step, const StepBox& box,
                 const PixelRows& buffer, uint8_t* mask, StepWorkspace& workspace, int32_t y) {
    const int32_t width = source.width;
    if (!box.band.contains(y)) {
        if (y >= box.band.first - box.half && y < box.band.end + box.half) {
            clear_buffer_row(buffer, workspace, y);
        }
        if (y == box.band.first - 1 || y == box.band.end) {
            clear_mask_row(mask, width, source.height, y);
        }
        return;
    }
    if (row_may_hold_step(source, workspace, box.rows, y, step)) {
        extract_row(source, step, box.columns, buffer, workspace, y);
    } else {
        clear_buffer_row(buffer, workspace, y);
    }
    clear_mask_row(mask, width, source.height, y);
    if (box.rows.contains(y) && workspace.row_work[y] > 0) {
        grow_mask_row(buffer.row(y), buffer.depth, width, box.half, box.columns,
                      mask + static_cast<std::ptrdiff_t>(y) * width);
    }
}

// The step's three stages, each needing the whole of the one before, on one team.
void prepare_band(const StepSource& source, const DistanceStep& step, const StepBox& box,
                  const PixelRows& buffer, uint8_t* mask, StepWorkspace& workspace) {
    const int32_t width = source.width;
    const int32_t height = source.height;
    // A run grows by half to the left and half and one to the right.
    const Span grown{std::max(box.columns.first - box.half, 0),
                     std::min(box.columns.end + box.half + 1, width)};
    // Smoothing reads one column beyond the grown box; there the mask is empty.
    const Span smoothed{std::max(grown.first - 1, 0), std::min(grown.end + 1, width)};
    const Span reach = box.reach(height);
    // Extraction, growth along the rows, growth down the columns and smoothing each pass over
    // the band's cells, so a band is worth a team at a quarter of the cells one pass is. Bands
    // of a few rows, seventeen of a depth ramp's twenty-seven steps, were prepared on the
    // calling thread alone while the team's helpers waited.
    constexpr int64_t kPassesOverTheBand = 4;
    const int64_t band_cells = int64_t{box.band.end - box.band.first} * width;
    const int threads = static_cast<int>(std::clamp<int64_t>(
        reach.end - reach.first, 1, threads_for(kPassesOverTheBand * band_cells)));
    platform::run_team(threads, [&](platform::RowTeam& team) {
        const BandParts parts(reach, team.members(), workspace.part_owners());
        parts.take(team, [&](Span part) {
            for (int32_t y = part.first; y < part.end; ++y) {
                prepare_row(source, step, box, buffer, mask, workspace, y);
            }
        });
        grow_mask_columns(team, parts, mask, width, height, box.half, box.band, grown, workspace);
        smooth_mask(team, parts, mask, width, height, width, box.band, smoothed, workspace);
    });
}

RowDistances distance_range(const uint8_t* row, int32_t width) {
    uint8_t lowest = 255;
    uint8_t highest = 0;
    for (int32_t x = 0; x < width; ++x) {
        const uint8_t distance = row[x];
        lowest = std::min(lowest, distance);
        highest = std::max(highest, distance);
    }
    return RowDistances{lowest, highest};
}

// The distance ranges of columns first .. end - 1 (at most a block). Lows and highs apart, so
// that whole rows of them compare at once.
void measure_columns(const StepSource& source, int32_t first, int32_t end, RowDistances* columns) {
    uint8_t lowest[kColumnBlock];
    uint8_t highest[kColumnBlock];
    const int32_t count = end - first;
    std::fill(lowest, lowest + count, 255);
    std::fill(highest, highest + count, 0);
    for (int32_t y = 0; y < source.height; ++y) {
        const uint8_t* row = source.distances + y * source.distance_stride + first;
        for (int32_t i = 0; i < count; ++i) {
            const uint8_t distance = row[i];
            lowest[i] = std::min(lowest[i], distance);
            highest[i] = std::max(highest[i], distance);
        }
    }
    for (int32_t i = 0; i < count; ++i) {
        columns[first + i] = RowDistances{lowest[i], highest[i]};
    }
}

}  // namespace

void measure_step_source(const StepSource& source, StepWorkspace& workspace) {
    std::fill(workspace.row_dirty, workspace.row_dirty + source.height,
              DirtyColumns{0, source.width});
    if (source.distances == nullptr || source.width <= 0) {
        return;
    }
    platform::for_each_row(
        0, source.height, threads_for(int64_t{source.height} * source.width), [&](int, int32_t y) {
            workspace.row_distances[y] =
                distance_range(source.distances + y * source.distance_stride, source.width);
        });
    // Each thread owns a block of columns and walks every row along it.
    const int32_t blocks = (source.width + kColumnBlock - 1) / kColumnBlock;
    const int64_t block_cells = int64_t{kColumnBlock} * source.height;
    platform::for_each_row(0, blocks, threads_for(blocks * block_cells), [&](int, int32_t block) {
        const int32_t first = block * kColumnBlock;
        measure_columns(source, first, std::min(first + kColumnBlock, source.width),
                        workspace.column_distances);
    });
}

void prepare_layer_as_step(const StepSource& source, uint8_t* mask, StepWorkspace& workspace) {
    std::fill(workspace.row_work, workspace.row_work + source.height, source.width);
    std::memset(mask, kMaskFull,
                static_cast<std::size_t>(source.width) * static_cast<std::size_t>(source.height));
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
        extract_rows(source, step, rows, columns, buffer, workspace);
        std::memset(
            mask, kMaskFull,
            static_cast<std::size_t>(source.width) * static_cast<std::size_t>(source.height));
        return;
    }
    StepBox box{rows, columns, Span{}, disc / 2};
    box.band =
        Span{std::max(rows.first - box.half, 0), std::min(rows.end + box.half, source.height)};
    prepare_band(source, step, box, buffer, mask, workspace);
}

}  // namespace render
