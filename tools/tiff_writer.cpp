#include "tools/tiff_writer.h"

#include <tiffio.h>

#include <memory>
#include <vector>

namespace tiff_writer {
namespace {

constexpr uint16_t kRgbSamples = 3;
constexpr int kBitsPerByte = 8;
constexpr int kDeflateLevel = 9;

struct TiffCloser {
    void operator()(TIFF* tiff) const { TIFFClose(tiff); }
};

uint16_t colour_samples(const TiffLayout& layout) {
    return layout.samples_per_pixel >= kRgbSamples ? kRgbSamples : 1;
}

uint16_t planes(const TiffLayout& layout) {
    return layout.separate_planes ? layout.samples_per_pixel : 1;
}

bool write_tags(TIFF* tiff, const TiffLayout& layout) {
    const uint16_t extra = layout.samples_per_pixel - colour_samples(layout);
    // Every extra sample is alpha, so the one description serves all of them.
    const std::vector<uint16_t> extra_kinds(extra, EXTRASAMPLE_UNASSALPHA);
    return TIFFSetField(tiff, TIFFTAG_IMAGEWIDTH, layout.width) &&
           TIFFSetField(tiff, TIFFTAG_IMAGELENGTH, layout.height) &&
           TIFFSetField(tiff, TIFFTAG_SAMPLESPERPIXEL, layout.samples_per_pixel) &&
           TIFFSetField(tiff, TIFFTAG_BITSPERSAMPLE, layout.bits_per_sample) &&
           TIFFSetField(tiff, TIFFTAG_PLANARCONFIG,
                        layout.separate_planes ? PLANARCONFIG_SEPARATE : PLANARCONFIG_CONTIG) &&
           TIFFSetField(
               tiff, TIFFTAG_PHOTOMETRIC,
               colour_samples(layout) == kRgbSamples ? PHOTOMETRIC_RGB : PHOTOMETRIC_MINISBLACK) &&
           (extra == 0 || TIFFSetField(tiff, TIFFTAG_EXTRASAMPLES, extra, extra_kinds.data())) &&
           TIFFSetField(tiff, TIFFTAG_COMPRESSION,
                        layout.deflate ? COMPRESSION_ADOBE_DEFLATE : COMPRESSION_NONE) &&
           (!layout.deflate || TIFFSetField(tiff, TIFFTAG_ZIPQUALITY, kDeflateLevel)) &&
           TIFFSetField(tiff, TIFFTAG_ROWSPERSTRIP, TIFFDefaultStripSize(tiff, 0));
}

}  // namespace

std::size_t row_bytes(const TiffLayout& layout) {
    const uint16_t samples = layout.separate_planes ? 1 : layout.samples_per_pixel;
    const std::size_t bits = std::size_t{layout.width} * samples * layout.bits_per_sample;
    return (bits + kBitsPerByte - 1) / kBitsPerByte;
}

std::size_t image_bytes(const TiffLayout& layout) {
    return row_bytes(layout) * layout.height * planes(layout);
}

bool write_tiff(const char* path, const TiffLayout& layout, std::span<const uint8_t> samples) {
    if (samples.size() < image_bytes(layout)) {
        return false;
    }
    std::unique_ptr<TIFF, TiffCloser> tiff(TIFFOpen(path, "w"));
    if (!tiff || !write_tags(tiff.get(), layout)) {
        return false;
    }
    // libtiff's scanline writer takes a writable buffer, although it does not change it.
    std::vector<uint8_t> row(row_bytes(layout));
    const uint8_t* next = samples.data();
    for (uint16_t plane = 0; plane < planes(layout); ++plane) {
        for (uint32_t y = 0; y < layout.height; ++y, next += row.size()) {
            row.assign(next, next + row.size());
            if (TIFFWriteScanline(tiff.get(), row.data(), y, plane) < 0) {
                return false;
            }
        }
    }
    return TIFFFlush(tiff.get()) != 0;
}

}  // namespace tiff_writer
