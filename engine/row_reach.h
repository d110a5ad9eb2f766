// Which source rows a pass reads. A pass processes the output rows whose row_mask entry is not
// 0 (all rows without a mask), and an output row reads the source rows up to the stamp's half
// height above and below it; no other source row is read, so none other need be prepared.
#ifndef QB_ENGINE_ROW_REACH_H
#define QB_ENGINE_ROW_REACH_H

#include <algorithm>
#include <cstdint>

namespace row_reach {

inline bool row_processed(const int32_t* row_mask, int32_t y) {
    return row_mask == nullptr || row_mask[y] != 0;
}

// Calls visit(first, end) for the rows within `reach` of a processed row, as increasing,
// disjoint ranges.
template <class Visit>
void for_each_range(const int32_t* row_mask, int32_t height, int32_t reach, Visit visit) {
    int32_t covered_end = 0;
    for (int32_t y = 0; y < height; ++y) {
        if (!row_processed(row_mask, y)) {
            continue;
        }
        const int32_t first = std::max(y - reach, covered_end);
        const int32_t end = std::min(height, y + reach + 1);
        if (first < end) {
            visit(first, end);
            covered_end = end;
        }
    }
}

}  // namespace row_reach

#endif
