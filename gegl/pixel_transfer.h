// Pixels between GEGL buffers and the emulated host's worlds: GEGL's RGBA becomes a world's ARGB
// and back, with the tool's 16-bit level conversion (0..65535 in GEGL, 0..32768 in a world).
//
// Layers are taken at 8 bits when GEGL holds them at 8 bits, as float light when GEGL holds
// them in a floating-point type (half, float, double), and at 16 bits otherwise. Integer colour
// is taken perceptual in the layer's own colour space, as the effect works on channel values
// there; float colour is taken linear, as light, without clamping. The Distance Layer keeps its
// own tone curve, since its values are distances, not colours.
#ifndef QB_GEGL_PIXEL_TRANSFER_H
#define QB_GEGL_PIXEL_TRANSFER_H

#include <gegl.h>

#include <memory>

#include "host/world.h"

namespace qb_gegl {

// The depth a layer stored in `format` renders at.
host::World::Depth render_depth(const Babl* format);

// RGBA at `depth`, perceptual, in the colour space of `layer_format`: how the layer is read.
const Babl* colour_format(const Babl* layer_format, host::World::Depth depth);
// The same with the component type of `layer_format`: what the operation hands on, so that a
// layer passed through unchanged keeps every value it had.
const Babl* output_format(const Babl* layer_format);
// RGBA at `depth` with the tone curve of `layer_format` (linear, the space's or sRGB's).
const Babl* distance_format(const Babl* layer_format, host::World::Depth depth);

// `rect` of `buffer` at mipmap `level` (rect in that level's pixels) as a world of `depth`,
// read through `format` (one of the RGBA formats above of the same depth).
std::unique_ptr<host::World> read_world(GeglBuffer* buffer, const GeglRectangle& rect, int level,
                                        const Babl* format, host::World::Depth depth);

// Writes `world` into `rect` of `buffer` at `level`; `format` describes the world's depth as
// `read_world` took it.
void write_world(host::World& world, GeglBuffer* buffer, const GeglRectangle& rect, int level,
                 const Babl* format);

// Copies `rect` of `from` into `to` at `level` as it is, through `format`: what the operation
// hands on when it cannot render. Logs and leaves `to` alone when there is no memory for it.
void copy_layer(GeglBuffer* from, GeglBuffer* to, const GeglRectangle& rect, int level,
                const Babl* format);

}  // namespace qb_gegl

#endif
