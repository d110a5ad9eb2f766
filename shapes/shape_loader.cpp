#include "shapes/shape_loader.h"

#include <tiffio.h>

#include <cstdarg>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <limits>
#include <memory>
#include <optional>

#include "platform/allocation.h"
#include "platform/desktop_services.h"
#include "platform/file_system.h"

namespace shapes {
namespace {

constexpr uint16_t kSupportedBitsPerSample = 8;
constexpr int kMessageSize = 128;

// Far above what any shape file needs, yet low enough that a damaged header cannot make libtiff
// reserve gigabytes before the first read fails.
constexpr tmsize_t kLargestTiffAllocation = tmsize_t{256} << 20;

// The image is addressed with int offsets from here on (shape_rowbytes is an int, and so are the
// engine's row strides), so the whole buffer has to stay within int's range.
constexpr uint64_t kLargestImageBuffer = std::numeric_limits<int>::max();

struct TiffCloser {
    void operator()(TIFF* tiff) const { TIFFClose(tiff); }
};
using TiffFile = std::unique_ptr<TIFF, TiffCloser>;

struct TiffOptionsFree {
    void operator()(TIFFOpenOptions* options) const { TIFFOpenOptionsFree(options); }
};

struct TiffBufferFree {
    void operator()(void* buffer) const { _TIFFfree(buffer); }
};

int ignore_tiff_error(TIFF*, void*, const char*, const char*, va_list) {
    return 1;
}

TiffFile open_tiff(const char* path) {
    // libtiff reports a file it cannot open before it has a handle to route the report through,
    // so a missing file is turned away here to keep it silent.
    if (!platform::file_readable(path)) {
        return nullptr;
    }
    std::unique_ptr<TIFFOpenOptions, TiffOptionsFree> options(TIFFOpenOptionsAlloc());
    if (!options) {
        return nullptr;
    }
    TIFFOpenOptionsSetErrorHandlerExtR(options.get(), ignore_tiff_error, nullptr);
    TIFFOpenOptionsSetMaxSingleMemAlloc(options.get(), kLargestTiffAllocation);
    return TiffFile(TIFFOpenExt(path, "r", options.get()));
}

void show_unsupported_format(const char* format, int value) {
    char text[kMessageSize];
    std::snprintf(text, sizeof text, format, value);
    platform::show_message_box(text);
}

// The conversion reads each scanline as `samples_per_pixel` bytes a pixel, so only 8-bit chunky
// layouts of 1, 3 or 4 samples, stored in strips, can be handed on; anything else would be read
// as garbage or not at all.
bool layout_convertible(const ShapeFile& file, uint16_t planar_config, bool tiled) {
    if (file.bits_per_sample != kSupportedBitsPerSample) {
        show_unsupported_format("Unsupported format ( %d bits per pixel )", file.bits_per_sample);
        return false;
    }
    const uint16_t samples = file.samples_per_pixel;
    if (samples != 1 && samples != 3 && samples != 4) {
        show_unsupported_format("Unsupported format ( %d samples per pixel )", samples);
        return false;
    }
    if (samples > 1 && planar_config == PLANARCONFIG_SEPARATE) {
        platform::show_message_box("Unsupported format ( separate sample planes )");
        return false;
    }
    if (tiled) {
        platform::show_message_box("Unsupported format ( tiled image )");
        return false;
    }
    return true;
}

// Bytes of the image buffer for a width × height image, or nothing when the image is too large
// to be addressed.
std::optional<std::size_t> image_buffer_size(uint32_t width, uint32_t height) {
    const uint64_t rowbytes = uint64_t{width} * kShapeBytesPerPixel;
    if (rowbytes > kLargestImageBuffer) {
        return std::nullopt;
    }
    // Both factors are below 2^32, so the product cannot wrap.
    const uint64_t size = uint64_t{height} * rowbytes + kShapeImageTailBytes;
    if (size > kLargestImageBuffer) {
        return std::nullopt;
    }
    return static_cast<std::size_t>(size);
}

void grey_to_bgr(const uint8_t* scanline, uint8_t* row, uint32_t width) {
    for (uint32_t x = 0; x < width; ++x, row += kShapeBytesPerPixel) {
        row[0] = row[1] = row[2] = scanline[x];
    }
}

// RGB and RGBA alike: the colour samples come first, anything after them is dropped.
void rgb_to_bgr(const uint8_t* scanline, uint8_t* row, uint32_t width, int samples) {
    for (uint32_t x = 0; x < width; ++x, scanline += samples, row += kShapeBytesPerPixel) {
        row[0] = scanline[2];
        row[1] = scanline[1];
        row[2] = scanline[0];
    }
}

}  // namespace

bool read_shape_header(ShapeFile& file, const char* path) {
    // The pixels are read by reopening the recorded path; a path it cannot hold whole would name
    // another file.
    if (std::strlen(path) >= sizeof file.path) {
        return false;
    }
    uint16_t planar_config = PLANARCONFIG_CONTIG;
    bool tiled = false;
    {
        TiffFile tiff = open_tiff(path);
        if (!tiff) {
            return false;
        }
        std::strcpy(file.path, path);
        TIFFGetField(tiff.get(), TIFFTAG_IMAGELENGTH, &file.height);
        TIFFGetField(tiff.get(), TIFFTAG_IMAGEWIDTH, &file.width);
        // A tag the file leaves out has the format's default value, not the previous file's.
        TIFFGetFieldDefaulted(tiff.get(), TIFFTAG_SAMPLESPERPIXEL, &file.samples_per_pixel);
        TIFFGetFieldDefaulted(tiff.get(), TIFFTAG_BITSPERSAMPLE, &file.bits_per_sample);
        TIFFGetFieldDefaulted(tiff.get(), TIFFTAG_PLANARCONFIG, &planar_config);
        tiled = TIFFIsTiled(tiff.get()) != 0;
    }
    return layout_convertible(file, planar_config, tiled);
}

bool read_shape_pixels(const ShapeFile& file, uint8_t* image) {
    TiffFile tiff = open_tiff(file.path);
    if (!tiff) {
        return false;
    }
    if (file.height == 0 || file.width == 0) {
        return true;
    }
    const uint32_t width = file.width;
    const int samples = file.samples_per_pixel;
    // A scanline shorter than the conversion expects (subsampled colour, for instance) would be
    // read past its end.
    const tmsize_t scanline_size = TIFFScanlineSize(tiff.get());
    if (scanline_size <= 0 || static_cast<uint64_t>(scanline_size) < uint64_t{width} * samples) {
        return false;
    }
    std::unique_ptr<void, TiffBufferFree> buffer(_TIFFmalloc(scanline_size));
    if (!buffer) {
        return false;
    }
    const auto* scanline = static_cast<const uint8_t*>(buffer.get());
    for (uint32_t r = 0; r < file.height; ++r) {
        if (TIFFReadScanline(tiff.get(), buffer.get(), r, 0) < 0) {
            return false;
        }
        uint8_t* row = image + std::size_t{r} * file.rowbytes;
        if (samples == 1) {
            grey_to_bgr(scanline, row, width);
        } else {
            rgb_to_bgr(scanline, row, width, samples);
        }
    }
    return true;
}

void load_shape_image(const char* path, ShapeFile& file, uint8_t*& image) {
    TIFFSetWarningHandler(nullptr);
    // Whatever happens below, a failed load must not leave the previous file's image in place.
    platform::release_array(image);
    if (!read_shape_header(file, path)) {
        return;
    }
    const std::optional<std::size_t> size = image_buffer_size(file.width, file.height);
    if (!size) {
        return;
    }
    file.rowbytes = static_cast<int>(file.width * kShapeBytesPerPixel);
    image = platform::allocate_array<uint8_t>(*size);
    if (image && !read_shape_pixels(file, image)) {
        platform::release_array(image);
    }
}

}  // namespace shapes
