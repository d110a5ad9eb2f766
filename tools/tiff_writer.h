// Writing single-image TIFF files with libtiff: the shape library's files, and the odd layouts
// the loader's tests feed it.
#ifndef QB_TOOLS_TIFF_WRITER_H
#define QB_TOOLS_TIFF_WRITER_H

#include <cstddef>
#include <cstdint>
#include <span>

namespace tiff_writer {

struct TiffLayout {
    uint32_t width = 0;
    uint32_t height = 0;
    uint16_t samples_per_pixel = 1;
    uint16_t bits_per_sample = 8;
    bool separate_planes = false;
    bool deflate = false;
};

// Bytes of one stored row of one plane: every sample of the row when the samples are
// interleaved, one sample a pixel when each has its own plane. Rows start on a byte boundary.
std::size_t row_bytes(const TiffLayout& layout);

// Bytes `write_tiff` takes: every row of every plane, planes one after the other.
std::size_t image_bytes(const TiffLayout& layout);

// Writes `samples` (image_bytes(layout) long, rows packed, samples in the machine's byte order)
// to `path`. One to two samples are grey, three or more RGB; a sample beyond the colours is
// marked as unassociated alpha. False when libtiff refuses the file or `samples` is too short.
bool write_tiff(const char* path, const TiffLayout& layout, std::span<const uint8_t> samples);

}  // namespace tiff_writer

#endif
