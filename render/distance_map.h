// The distance map: one byte a layer pixel, read from the red channel of the Distance Layer.
#ifndef QB_RENDER_DISTANCE_MAP_H
#define QB_RENDER_DISTANCE_MAP_H

#include <cstdint>

#include "render/pixel_rows.h"

namespace render {

// A 16-bit red value as a distance: scaled by 256/32769 and truncated, so 32768 gives 255.
// Values above 16-bit white count as white.
uint8_t distance_of_red16(uint16_t red);
// The distance of a float red: 0..1 as the 16-bit level it rounds to.
uint8_t distance_of_red_float(float red);

// Fills `distances` (width x height bytes, packed rows) from the layer's red channel.
void read_distance_map(const ConstPixelRows& layer, int32_t width, int32_t height,
                       uint8_t* distances);

}  // namespace render

#endif
