// Rows or columns of a region.
#ifndef QB_RENDER_SPAN_H
#define QB_RENDER_SPAN_H

#include <algorithm>
#include <cstdint>

namespace render {

// Rows or columns [first, end) of the region.
struct Span {
    int32_t first = 0;
    int32_t end = 0;

    bool empty() const { return end <= first; }
    bool contains(int32_t i) const { return i >= first && i < end; }
    // The rows or columns in both; empty when there are none.
    Span within(Span other) const {
        return Span{std::max(first, other.first), std::min(end, other.end)};
    }
};

}  // namespace render

#endif
