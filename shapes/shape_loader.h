// Reading an iris shape file into a shape image: rows of 3-byte blue, green, red pixels, `rowbytes`
// apart, the file's first scanline first, followed by kShapeImageTailBytes spare bytes.
//
// A load ends in one of two states: a complete image or no image at all. It never leaves the
// previous image or a half-converted one behind. Layouts the conversion cannot serve are shown
// to the user in a message box; a missing or damaged file is silent, and the render reports the
// absent image. libtiff's diagnostics about a file never reach the process's error stream: the
// outcome of the load already says whether the file was usable.
#ifndef QB_SHAPES_SHAPE_LOADER_H
#define QB_SHAPES_SHAPE_LOADER_H

#include <cstddef>
#include <cstdint>

namespace shapes {

inline constexpr int kShapeBytesPerPixel = 3;
// Spare bytes after the last row of the image; they are never written.
inline constexpr std::size_t kShapeImageTailBytes = 1028;
inline constexpr int kShapePathSize = 532;

// What the loader knows of the file it opened last. Fields keep their values until a file that
// can be opened replaces them.
struct ShapeFile {
    char path[kShapePathSize] = {};
    uint32_t height = 0;
    uint32_t width = 0;
    uint16_t samples_per_pixel = 0;
    uint16_t bits_per_sample = 0;
    int rowbytes = 0;
};

// Opens `path`, records it and reads the image size and sample layout into `file`. False when
// the file cannot be opened, or when its layout is not 8-bit chunky grey, RGB or RGBA (which is
// then shown in a message box).
bool read_shape_header(ShapeFile& file, const char* path);

// Converts every scanline of the file at `file.path` into `image`, which must hold the image's
// rows. False when the file cannot be opened again or does not supply every row.
bool read_shape_pixels(const ShapeFile& file, uint8_t* image);

// Releases `image`, then reads `path` into a new one allocated on the module's allocation path
// (release it with platform::release_array), updating `file`. `image` is null when the file
// gave no complete image.
void load_shape_image(const char* path, ShapeFile& file, uint8_t*& image);

}  // namespace shapes

#endif
