// The pass's source as photon light. Every gathered cell adds a source pixel's light times the
// cell's weight (or weight change); reading that light from rows converted once per pass costs
// a third of looking each level up in the pair tables, and lets neighbouring pixels' lights be
// read as one vector.
#ifndef QB_SCATTER_LIGHT_ROWS_H
#define QB_SCATTER_LIGHT_ROWS_H

#include <cstddef>
#include <cstdint>

#include "engine/bokeh_engine.h"

namespace scatter {

// Pixels of a light row: the columns the pass reads, with light_pad pixels of no light on
// either side.
inline std::ptrdiff_t light_stride(const BokehEngine& e) {
    return static_cast<std::ptrdiff_t>(e.light_columns) +
           2 * static_cast<std::ptrdiff_t>(e.light_pad);
}

// The light pixel of frame pixel (x, y); x may lie up to light_pad pixels beyond the columns.
inline std::ptrdiff_t light_pixel(const BokehEngine& e, int32_t x, int32_t y) {
    return static_cast<std::ptrdiff_t>(y) * light_stride(e) + (x - e.light_first_column) +
           e.light_pad;
}

// Floats of light_rows for the frame: four channel lights and one weight light a pixel.
inline std::size_t light_row_floats(const BokehEngine& e) {
    return static_cast<std::size_t>(light_stride(e)) * static_cast<std::size_t>(e.height) * 5;
}

// The channel lights of light pixel p start at channel_light(e) + 4 * p.
inline const float* channel_light(const BokehEngine& e) {
    return e.light_rows;
}

inline const float* weight_light(const BokehEngine& e) {
    return e.light_rows + 4 * light_stride(e) * e.height;
}

// Converts rows [first, end) of Src_Data_sh into light_rows, rows spread over the pass's
// threads.
// A channel's light is the photon light of its level; the weight's is that of level_map of
// the alpha level, so that it is 0 where alpha is 0.
void convert_light_rows(BokehEngine& e, int32_t first, int32_t end);

}  // namespace scatter

#endif
