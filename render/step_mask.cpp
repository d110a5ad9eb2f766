#include "render/step_mask.h"

#include <algorithm>
#include <cstddef>
#include <cstring>

namespace render {
namespace {

void fill_full(uint8_t* mask_row, int32_t from, int32_t to) {
    std::memset(mask_row + from, kMaskFull, static_cast<std::size_t>(to - from));
}

// Pixels a run's edge is looked for in at once: a run is crossed a batch at a time, without a
// branch a pixel.
constexpr int32_t kEdgeBatch = 32;

// Whether pixel x has alpha. Alpha is the first channel, read as an unsigned integer of its
// size: it is non-zero when any of its bytes is (a step's float alpha is never -0).
template <class Alpha>
bool opaque_at(const uint8_t* pixels, int32_t x) {
    Alpha alpha;
    std::memcpy(&alpha, pixels + static_cast<std::size_t>(x) * kChannels * sizeof(Alpha),
                sizeof alpha);
    return alpha != 0;
}

// The first of pixels from .. end - 1 that is `occupied` (has alpha) or not, or end.
template <class Alpha>
int32_t next_edge(const uint8_t* pixels, int32_t from, int32_t end, bool occupied) {
    int32_t x = from;
    for (; x + kEdgeBatch <= end; x += kEdgeBatch) {
        int32_t found = 0;
        for (int32_t i = 0; i < kEdgeBatch; ++i) {
            found |= static_cast<int32_t>(opaque_at<Alpha>(pixels, x + i) == occupied);
        }
        if (found != 0) {
            break;
        }
    }
    while (x < end && opaque_at<Alpha>(pixels, x) != occupied) {
        ++x;
    }
    return x;
}

// grow_mask_row for alpha of type Alpha: each run found a batch of pixels at a time, then filled
// with its growth at once.
template <class Alpha>
void grow_runs(const uint8_t* pixels, int32_t width, int32_t half, Span columns,
               uint8_t* mask_row) {
    for (int32_t x = columns.first;;) {
        const int32_t run_first = next_edge<Alpha>(pixels, x, columns.end, true);
        if (run_first == columns.end) {
            return;
        }
        const int32_t run_end = next_edge<Alpha>(pixels, run_first, columns.end, false);
        fill_full(mask_row, std::max(0, run_first - half), std::min(run_end + half + 1, width));
        x = run_end;
    }
}

// Where one thread grows the runs of its part of the box: the rows it reads, the rows it marks
// (its own), its state and its table of differences.
struct GrowthWork {
    Span scanned;
    Span marked;
    int32_t* inside;     // a column's run state: 1 inside a run
    int32_t* countdown;  // rows left of a column's growth below its last run
    int32_t* counts;
};

// Marks rows `from` .. `to` - 1 of column `column` grown, those of them the thread marks. Each
// thread counts the rows it reached in its own table of differences (one more at the first row,
// one less after the last), added to the rows' work once the stage is over.
void mark_grown(StepWorkspace& workspace, const GrowthWork& work, int32_t width, int32_t from,
                int32_t to, int32_t column) {
    from = std::max(from, work.marked.first);
    to = std::min(to, work.marked.end);
    if (from >= to) {
        return;
    }
    for (int32_t row = from; row < to; ++row) {
        workspace.mask_scratch[static_cast<std::ptrdiff_t>(row) * width + column] = kMaskFull;
    }
    ++work.counts[from];
    --work.counts[to];
}

// Whether any column of first .. end - 1 enters or leaves a run at this row (`inside` is 1 for
// columns in a run): most rows of a block do neither, and this check goes a vector at a time.
bool any_run_edge(const uint8_t* row, const int32_t* inside, int32_t first, int32_t end) {
    int32_t edges = 0;
    for (int32_t c = first; c < end; ++c) {
        edges |= static_cast<int32_t>(row[c] == kMaskFull) ^ inside[c];
    }
    return edges != 0;
}

// Grows the runs of columns `first` .. `end` - 1 downwards and upwards into the scratch; see
// grow_mask_columns. The scan starts half a disc above the marked rows: a run that ended
// earlier grows no further than the row it starts at.
void grow_into_scratch(const uint8_t* mask, int32_t width, int32_t height, int32_t half,
                       int32_t first, int32_t end, StepWorkspace& workspace,
                       const GrowthWork& work) {
    int32_t* const inside = work.inside;
    int32_t* const countdown = work.countdown;
    std::fill(inside + first, inside + end, 0);
    std::fill(countdown + first, countdown + end, 0);
    for (int32_t y = work.scanned.first; y < work.scanned.end; ++y) {
        const uint8_t* row = mask + static_cast<std::ptrdiff_t>(y) * width;
        if (any_run_edge(row, inside, first, end)) {
            for (int32_t c = first; c < end; ++c) {
                const bool full = row[c] == kMaskFull;
                if (full && inside[c] == 0) {
                    inside[c] = 1;
                    if (countdown[c] == 0) {
                        mark_grown(workspace, work, width, std::max(0, y - half), y, c);
                    }
                } else if (!full && inside[c] != 0) {
                    inside[c] = 0;
                    const int32_t grown_end = std::min(y + half, height);
                    mark_grown(workspace, work, width, y, grown_end, c);
                    countdown[c] = grown_end - y;
                }
            }
        }
        for (int32_t c = first; c < end; ++c) {
            countdown[c] -= countdown[c] > 0 ? 1 : 0;
        }
    }
}

// The growth of the thread's rows, a block of columns at a time, into the scratch: it must not
// feed back into the runs still being read, by this thread or the one whose rows meet its own.
void grow_rows(const uint8_t* mask, int32_t width, int32_t height, int32_t half, Span columns,
               StepWorkspace& workspace, const GrowthWork& work) {
    const auto span_bytes = static_cast<std::size_t>(columns.end - columns.first);
    for (int32_t y = work.marked.first; y < work.marked.end; ++y) {
        std::memset(workspace.mask_scratch + static_cast<std::ptrdiff_t>(y) * width + columns.first,
                    0, span_bytes);
    }
    for (int32_t first = columns.first; first < columns.end; first += kColumnBlock) {
        grow_into_scratch(mask, width, height, half, first,
                          std::min(first + kColumnBlock, columns.end), workspace, work);
    }
}

// Joins the grown rows `rows` of the scratch to the mask.
void join_growth(uint8_t* mask, int32_t width, Span rows, Span columns,
                 const StepWorkspace& workspace) {
    const auto span_bytes = static_cast<std::size_t>(columns.end - columns.first);
    for (int32_t y = rows.first; y < rows.end; ++y) {
        const std::ptrdiff_t start = static_cast<std::ptrdiff_t>(y) * width + columns.first;
        uint8_t* row = mask + start;
        const uint8_t* grown = workspace.mask_scratch + start;
        for (std::size_t i = 0; i < span_bytes; ++i) {
            row[i] |= grown[i];
        }
    }
}

// Adds every thread's table of differences to the rows' work.
void count_growth(int members, Span rows, StepWorkspace& workspace) {
    for (int thread = 0; thread < members; ++thread) {
        const int32_t* differences = workspace.growth_counts(thread);
        int32_t reached = 0;
        for (int32_t y = rows.first; y < rows.end; ++y) {
            reached += differences[y];
            workspace.row_work[y] += reached;
        }
    }
}

// The mean of column sums c - 1 .. c + 1 inside the region, each sum over `rows` rows.
uint8_t average_at(const uint16_t* sums, int32_t width, int32_t rows, int32_t c) {
    const int32_t left = std::max(c - 1, 0);
    const int32_t right = std::min(c + 1, width - 1);
    int32_t sum = 0;
    for (int32_t k = left; k <= right; ++k) {
        sum += sums[k];
    }
    return static_cast<uint8_t>(sum / (rows * (right - left + 1)));
}

// Columns with both neighbours inside the region divide by a constant, which the compiler turns
// into a multiplication. Nine bytes' sum fits 16 bits; divided as 16 bits, twice as many columns
// go through a vector at once.
template <int32_t kRows>
void average_interior(const uint16_t* sums, int32_t first, int32_t end, uint8_t* out) {
    constexpr auto kCells = static_cast<uint16_t>(kRows * 3);
    for (int32_t c = first; c < end; ++c) {
        const auto sum = static_cast<uint16_t>(sums[c - 1] + sums[c] + sums[c + 1]);
        out[c] = static_cast<uint8_t>(sum / kCells);
    }
}

// Output columns `columns` of one row from the column sums of its `rows` (1 to 3) rows.
void average_columns(const uint16_t* sums, int32_t width, int32_t rows, Span columns,
                     uint8_t* out) {
    const int32_t first = std::max(columns.first, 1);
    const int32_t end = std::min(columns.end, width - 1);
    switch (rows) {
        case 3:
            average_interior<3>(sums, first, end, out);
            break;
        case 2:
            average_interior<2>(sums, first, end, out);
            break;
        default:
            average_interior<1>(sums, first, end, out);
            break;
    }
    for (const int32_t edge : {0, width - 1}) {
        if (columns.contains(edge)) {
            out[edge] = average_at(sums, width, rows, edge);
        }
    }
}

}  // namespace

void grow_mask_row(const uint8_t* pixels, ChannelDepth depth, int32_t width, int32_t half,
                   Span columns, uint8_t* mask_row) {
    switch (depth) {
        case ChannelDepth::k8:
            grow_runs<uint8_t>(pixels, width, half, columns, mask_row);
            break;
        case ChannelDepth::k16:
            grow_runs<uint16_t>(pixels, width, half, columns, mask_row);
            break;
        case ChannelDepth::kFloat:
            grow_runs<uint32_t>(pixels, width, half, columns, mask_row);
            break;
    }
}

void grow_mask_columns(platform::RowTeam& team, const BandParts& parts, uint8_t* mask,
                       int32_t width, int32_t height, int32_t half, Span rows, Span columns,
                       StepWorkspace& workspace) {
    int32_t* const state = workspace.column_state(team.thread());
    GrowthWork work{Span{}, Span{}, state, state + width, workspace.growth_counts(team.thread())};
    // Growth stays inside the box's rows; the last difference lands one row below them.
    std::fill_n(work.counts + rows.first, rows.end - rows.first + 1, 0);
    parts.revisit(team, [&](Span part) {
        work.marked = part.within(rows);
        work.scanned = Span{work.marked.first - half, work.marked.end + half}.within(rows);
        grow_rows(mask, width, height, half, columns, workspace, work);
    });
    // Only once every thread has read the rows next to its own may they grow.
    parts.revisit(
        team, [&](Span part) { join_growth(mask, width, part.within(rows), columns, workspace); });
    if (team.thread() == 0) {
        count_growth(team.members(), rows, workspace);
    }
}

void smooth_mask(platform::RowTeam& team, const BandParts& parts, uint8_t* mask, int32_t width,
                 int32_t height, int32_t stride, Span rows, Span columns,
                 StepWorkspace& workspace) {
    // Column sums reach one column beyond the box on either side.
    const int32_t sum_first = std::max(columns.first - 1, 0);
    const int32_t sum_end = std::min(columns.end + 1, width);
    uint16_t* const sums =
        workspace.column_sums + static_cast<std::ptrdiff_t>(team.thread()) * width;
    parts.revisit(team, [&](Span part) {
        const Span own = part.within(rows);
        for (int32_t y = own.first; y < own.end; ++y) {
            const int32_t top = std::max(y - 1, 0);
            const int32_t bottom = std::min(y + 1, height - 1);
            std::fill(sums + sum_first, sums + sum_end, 0);
            for (int32_t r = top; r <= bottom; ++r) {
                const uint8_t* row = mask + static_cast<std::ptrdiff_t>(r) * stride;
                for (int32_t c = sum_first; c < sum_end; ++c) {
                    sums[c] = static_cast<uint16_t>(sums[c] + row[c]);
                }
            }
            uint8_t* out =
                workspace.mask_scratch + static_cast<std::ptrdiff_t>(y - rows.first) * width;
            average_columns(sums, width, bottom - top + 1, columns, out);
        }
    });
    // Only once every row has read its neighbours may they change.
    const auto span_bytes = static_cast<std::size_t>(columns.end - columns.first);
    parts.revisit(team, [&](Span part) {
        const Span own = part.within(rows);
        for (int32_t y = own.first; y < own.end; ++y) {
            std::memcpy(mask + static_cast<std::ptrdiff_t>(y) * stride + columns.first,
                        workspace.mask_scratch +
                            static_cast<std::ptrdiff_t>(y - rows.first) * width + columns.first,
                        span_bytes);
        }
    });
}

}  // namespace render
