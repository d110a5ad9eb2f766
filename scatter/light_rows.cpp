#include "scatter/light_rows.h"

#include <algorithm>

#include "engine/thread_team.h"

namespace scatter {

namespace {

void convert_row(BokehEngine& e, int32_t y) {
    const uint16_t* levels = e.Src_Data_sh + static_cast<std::ptrdiff_t>(y) * e.src16_stride +
                             static_cast<std::ptrdiff_t>(e.light_first_column) * 4;
    const std::ptrdiff_t row_start = light_pixel(e, e.light_first_column, y) - e.light_pad;
    float* channels = e.light_rows + 4 * row_start;
    float* weights = e.light_rows + 4 * light_stride(e) * e.height + row_start;
    std::fill(channels, channels + 4 * light_stride(e), 0.0f);
    std::fill(weights, weights + light_stride(e), 0.0f);
    channels += 4 * e.light_pad;
    weights += e.light_pad;
    for (int32_t x = 0; x < e.light_columns; ++x) {
        const uint16_t* pixel = levels + 4 * static_cast<std::ptrdiff_t>(x);
        for (int k = 0; k < 4; ++k) {
            channels[4 * x + k] = e.level_light[pixel[k]];
        }
        weights[x] = e.level_light[e.level_map[pixel[0]]];
    }
}

}  // namespace

void convert_light_rows(BokehEngine& e, int32_t first, int32_t end) {
    thread_team::for_rows(first, end, thread_team::pass_threads(),
                          [&e](int32_t y) { convert_row(e, y); });
}

}  // namespace scatter
