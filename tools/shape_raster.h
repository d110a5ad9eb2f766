// Drawing an iris outline into 8-bit pixels with anti-aliased edges.
#ifndef QB_TOOLS_SHAPE_RASTER_H
#define QB_TOOLS_SHAPE_RASTER_H

#include <cstdint>
#include <vector>

#include "tools/iris_shapes.h"

namespace shape_library {

// A size × size image, rows top first, of how much of each pixel the outline covers (0..255).
// The outline is centred and its outer radius reaches half a pixel short of the image's edge.
std::vector<uint8_t> rasterise(const IrisOutline& outline, int size);

// The file's samples for `shape` at `size`: one channel, or red, green and blue interleaved.
std::vector<uint8_t> shape_samples(const IrisShape& shape, int size);

}  // namespace shape_library

#endif
