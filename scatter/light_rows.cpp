#include "scatter/light_rows.h"

#include <algorithm>

namespace scatter {

LightView LightView::over(float* block, int32_t rows, int32_t first_column, int32_t columns,
                          int32_t pad) {
    LightView view;
    view.rows = rows;
    view.first_column = first_column;
    view.columns = columns;
    view.pad = pad;
    view.channel = block;
    view.weight = block + 4 * view.stride() * rows;
    return view;
}

namespace {

void convert_row(const PassView& e, const LightView& view, int32_t y) {
    const uint16_t* levels = e.source.Src_Data_sh.get() +
                             static_cast<std::ptrdiff_t>(y) * e.source.src16_stride +
                             static_cast<std::ptrdiff_t>(view.first_column) * 4;
    const std::ptrdiff_t row_start = view.pixel(view.first_column, y) - view.pad;
    float* channels = view.channel + 4 * row_start;
    float* weights = view.weight + row_start;
    std::fill(channels, channels + 4 * view.stride(), 0.0f);
    std::fill(weights, weights + view.stride(), 0.0f);
    channels += 4 * view.pad;
    weights += view.pad;
    for (int32_t x = 0; x < view.columns; ++x) {
        const uint16_t* pixel = levels + 4 * static_cast<std::ptrdiff_t>(x);
        for (int k = 0; k < 4; ++k) {
            channels[4 * x + k] = e.photons.level_light[pixel[k]];
        }
        weights[x] = e.photons.level_light[e.photons.level_map[pixel[0]]];
    }
}

}  // namespace

void convert_light_rows(const PassView& e, const LightView& view, int32_t first, int32_t end) {
    for (int32_t y = first; y < end; ++y) {
        convert_row(e, view, y);
    }
}

}  // namespace scatter
