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
bool layout_convertible(const BokehPlugin& plugin, uint16_t planar_config, bool tiled) {
    if (plugin.bits_per_sample != kSupportedBitsPerSample) {
        show_unsupported_format("Unsupported format ( %d bits per pixel )", plugin.bits_per_sample);
        return false;
    }
    const uint16_t samples = plugin.samples_per_pixel;
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

bool read_shape_header(BokehPlugin& plugin, const char* path) {
    // The pixels are read by reopening shape_path; a path it cannot hold whole would name
    // another file.
    if (std::strlen(path) >= sizeof plugin.shape_path) {
        return false;
    }
    uint16_t planar_config = PLANARCONFIG_CONTIG;
    bool tiled = false;
    {
        TiffFile tiff = open_tiff(path);
        if (!tiff) {
            return false;
        }
        std::strcpy(plugin.shape_path, path);
        TIFFGetField(tiff.get(), TIFFTAG_IMAGELENGTH, &plugin.shape_height);
        TIFFGetField(tiff.get(), TIFFTAG_IMAGEWIDTH, &plugin.shape_width);
        // A tag the file leaves out has the format's default value, not the previous file's.
        TIFFGetFieldDefaulted(tiff.get(), TIFFTAG_SAMPLESPERPIXEL, &plugin.samples_per_pixel);
        TIFFGetFieldDefaulted(tiff.get(), TIFFTAG_BITSPERSAMPLE, &plugin.bits_per_sample);
        TIFFGetFieldDefaulted(tiff.get(), TIFFTAG_PLANARCONFIG, &planar_config);
        tiled = TIFFIsTiled(tiff.get()) != 0;
    }
    return layout_convertible(plugin, planar_config, tiled);
}

bool read_shape_pixels(BokehPlugin& plugin) {
    TiffFile tiff = open_tiff(plugin.shape_path);
    if (!tiff) {
        return false;
    }
    if (plugin.shape_height == 0 || plugin.shape_width == 0) {
        return true;
    }
    const uint32_t width = plugin.shape_width;
    const int samples = plugin.samples_per_pixel;
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
    for (uint32_t r = 0; r < plugin.shape_height; ++r) {
        if (TIFFReadScanline(tiff.get(), buffer.get(), r, 0) < 0) {
            return false;
        }
        uint8_t* row = plugin.shape_image + std::size_t{r} * plugin.shape_rowbytes;
        if (samples == 1) {
            grey_to_bgr(scanline, row, width);
        } else {
            rgb_to_bgr(scanline, row, width, samples);
        }
    }
    return true;
}

}  // namespace shapes

void BokehPlugin::load_shape_image(const char* path) {
    TIFFSetWarningHandler(nullptr);
    // Whatever happens below, a failed load must not leave the previous file's image in place.
    platform::release_array(shape_image);
    if (!shapes::read_shape_header(*this, path)) {
        return;
    }
    const std::optional<std::size_t> size = shapes::image_buffer_size(shape_width, shape_height);
    if (!size) {
        return;
    }
    shape_rowbytes = static_cast<int>(shape_width * shapes::kShapeBytesPerPixel);
    shape_image = platform::allocate_array<uint8_t>(*size);
    if (shape_image && !shapes::read_shape_pixels(*this)) {
        platform::release_array(shape_image);
    }
}

void BokehPlugin::release_shape_image(PF_InData* in_data, PF_ParamDef* iris_layer_param) {
    if (iris_layer_enabled && iris_layer_marker) {
        // The image is then the Iris Layer's pixels, which the host lent and takes back.
        in_data->inter.checkin_param(in_data->effect_ref, iris_layer_param);
        shape_image = nullptr;
        return;
    }
    platform::release_array(shape_image);
}
