// Reading an iris shape file into BokehPlugin's shape image.
//
// A load ends in one of two states: a complete image in shape_image (rows of 3-byte blue, green,
// red pixels, shape_rowbytes apart, the file's first scanline first) or no image at all. It never
// leaves the previous image or a half-converted one behind. Layouts the conversion cannot serve
// are shown to the user in a message box; a missing or damaged file is silent, and the render
// reports the absent image. libtiff's diagnostics about a file never reach the process's error
// stream: the outcome of the load already says whether the file was usable.
#ifndef QB_SHAPES_SHAPE_LOADER_H
#define QB_SHAPES_SHAPE_LOADER_H

#include <cstddef>

#include "plugin/bokeh_plugin.h"

namespace shapes {

inline constexpr int kShapeBytesPerPixel = 3;
// Spare bytes after the last row of the image; they are never written.
inline constexpr std::size_t kShapeImageTailBytes = 1028;

// Opens `path`, records it in shape_path and reads the image size and sample layout into the
// plug-in's fields. False when the file cannot be opened, or when its layout is not 8-bit chunky
// grey, RGB or RGBA (which is then shown in a message box).
bool read_shape_header(BokehPlugin& plugin, const char* path);

// Converts every scanline of the file at shape_path into shape_image, which must already hold
// the image's rows. False when the file cannot be opened again or does not supply every row.
bool read_shape_pixels(BokehPlugin& plugin);

}  // namespace shapes

#endif
