#include "scatter/stamp_weights.h"

namespace scatter {

namespace {

// Entry (i, c) of `table` (row stride width + 1): the weight of cells in rows < i, columns < c.
void sum_plane(const uint8_t* plane, int32_t width, int32_t height, int32_t* table) {
    const std::ptrdiff_t stride = width + 1;
    for (int32_t c = 0; c <= width; ++c) {
        table[c] = 0;
    }
    for (int32_t i = 0; i < height; ++i) {
        int32_t row_weight = 0;
        int32_t* above = table + i * stride;
        int32_t* here = above + stride;
        here[0] = 0;
        for (int32_t c = 0; c < width; ++c) {
            row_weight += plane[static_cast<std::ptrdiff_t>(i) * width + c];
            here[c + 1] = above[c + 1] + row_weight;
        }
    }
}

}  // namespace

bool StampWeights::build(const PassView& e, const uint8_t* const* planes) {
    width_ = e.stamp.width;
    height_ = e.stamp.height;
    stride_ = static_cast<std::ptrdiff_t>(width_) + 1;
    const std::size_t table_size = static_cast<std::size_t>(stride_) * (height_ + 1);
    tables_ = platform::OwnedArray<int32_t>(table_size * kLevelsPerPixel);
    if (!tables_) {
        return false;
    }
    for (int k = 0; k < kLevelsPerPixel; ++k) {
        table_of_[k] = nullptr;
        for (int earlier = 0; earlier < k; ++earlier) {
            if (planes[earlier] == planes[k]) {
                table_of_[k] = table_of_[earlier];
            }
        }
        if (table_of_[k] == nullptr) {
            int32_t* table = tables_.get() + k * table_size;
            sum_plane(planes[k], width_, height_, table);
            table_of_[k] = table;
        }
    }
    return true;
}

}  // namespace scatter
