// Which source pixels a pass reads. A pass computes the output pixels of the rows whose row_mask
// entry is not 0 (all rows without a mask) whose blur map byte is not 0 (all without a map), and
// an output pixel reads the source pixels its stamp covers, plus the one just left of it when
// the kernel steps along the row; no other source pixel is read, so none other need be
// prepared. Work is bounded by rows, and within them by one span of columns.
#ifndef QB_ENGINE_ROW_REACH_H
#define QB_ENGINE_ROW_REACH_H

#include <algorithm>
#include <cstddef>
#include <cstdint>

namespace row_reach {

inline bool row_processed(const int32_t* row_mask, int32_t y) {
    return row_mask == nullptr || row_mask[y] != 0;
}

// Calls visit(first, end) for the rows within `reach` of a processed row, as increasing,
// disjoint ranges, each as long as it can be: callers spread a range over threads, and a range a
// row would leave nothing to share.
template <class Visit>
void for_each_range(const int32_t* row_mask, int32_t height, int32_t reach, Visit visit) {
    int32_t first = 0;
    int32_t end = 0;  // the range being gathered, empty before the first processed row
    for (int32_t y = 0; y < height; ++y) {
        if (!row_processed(row_mask, y)) {
            continue;
        }
        const int32_t from = std::max(y - reach, 0);
        if (from > end) {
            if (first < end) {
                visit(first, end);
            }
            first = from;
        }
        end = std::min(height, y + reach + 1);
    }
    if (first < end) {
        visit(first, end);
    }
}

// Columns [first, end).
struct ColumnSpan {
    int32_t first;
    int32_t end;
    bool empty() const { return end <= first; }
};

// Rows [first, end), in the same shape.
using RowSpan = ColumnSpan;

// The rows from the first processed one to the last: all rows without a mask, none when no row
// is processed.
inline RowSpan processed_rows(const int32_t* row_mask, int32_t height) {
    int32_t first = 0;
    while (first < height && !row_processed(row_mask, first)) {
        ++first;
    }
    int32_t end = height;
    while (end > first && !row_processed(row_mask, end - 1)) {
        --end;
    }
    return RowSpan{first, end};
}

// The columns of the output pixels a pass computes, as one span.
inline ColumnSpan worked_columns(const uint8_t* blur_map, int32_t blur_map_rowbytes,
                                 const int32_t* row_mask, int32_t width, int32_t height) {
    if (blur_map == nullptr) {
        return ColumnSpan{0, width};
    }
    int32_t first = width;
    int32_t last = -1;
    for (int32_t y = 0; y < height; ++y) {
        if (!row_processed(row_mask, y)) {
            continue;
        }
        const uint8_t* row = blur_map + static_cast<std::ptrdiff_t>(y) * blur_map_rowbytes;
        // Only columns outside the span found so far can widen it.
        for (int32_t x = 0; x < first; ++x) {
            if (row[x] != 0) {
                first = x;
                break;
            }
        }
        for (int32_t x = width - 1; x > last; --x) {
            if (row[x] != 0) {
                last = x;
                break;
            }
        }
    }
    return ColumnSpan{first, last + 1};
}

// `worked` widened by `reach` columns to either side, within the frame.
inline ColumnSpan columns_in_reach(ColumnSpan worked, int32_t reach, int32_t width) {
    if (worked.empty()) {
        return worked;
    }
    return ColumnSpan{std::max(0, worked.first - reach), std::min(width, worked.end + reach)};
}

}  // namespace row_reach

#endif
