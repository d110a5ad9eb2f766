// The frame between the host's images and the effect's worlds. OpenFX rows run upwards from
// bounds.y1, a world's run downwards, so row y of an image is row (bounds.y2 - 1 - y) of its
// world. Bytes stay as they are; shorts take the effect's 16-bit levels (0..32768, as the tool
// converts them); floats are light: cleaned of NaN and negative values and, when the image is
// premultiplied, unpremultiplied on the way in and premultiplied on the way out by the rules of
// session/scene_light.h. An RGB image is opaque.
#ifndef QB_OFX_FRAME_TRANSFER_H
#define QB_OFX_FRAME_TRANSFER_H

#include <memory>

#include "host/world.h"
#include "ofx/image_view.h"

namespace qb_ofx {

host::World::Depth world_depth(PixelDepth depth);

// The whole of `source` as a world of the matching depth.
std::unique_ptr<host::World> frame_world(const ImageView& source);

// Writes the part of `window` that lies in `output` from `frame`, whose pixels cover
// `frame_bounds`; pixels outside the frame become transparent black. The output has the
// frame's depth and the premultiplication the source had.
void write_frame(const host::World& frame, const OfxRectI& frame_bounds, const ImageView& output,
                 const OfxRectI& window);

}  // namespace qb_ofx

#endif
