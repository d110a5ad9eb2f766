#include "engine/iris_pattern.h"

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstring>

namespace {

constexpr int32_t kColourBytes = 3;
constexpr int32_t kGreyChannels = 2;
// Row extents of a row without any non-zero byte.
constexpr int32_t kEmptyRowFirst = 999999;
constexpr int32_t kEmptyRowLast = -999999;

// A pixel's bytes of its packed form, known at compile time so that the loops below have no
// branch and no count per byte: a 511-pixel iris is packed and measured again for every pass.
template <int32_t kChannels>
bool pixel_is_blank(const uint8_t* pixel) {
    uint8_t any = 0;
    for (int32_t j = 0; j < kChannels; ++j) {
        any |= pixel[j];
    }
    return any == 0;
}

template <int32_t kChannels>
bool pixels_are_grey(const uint8_t* pixels, std::size_t count) {
    // One test a batch, not one a pixel: a grey iris, the usual one, is looked at whole anyway.
    constexpr std::size_t kBatch = 256;
    for (std::size_t first = 0; first < count; first += kBatch) {
        const std::size_t end = std::min(count, first + kBatch);
        uint32_t differs = 0;
        for (std::size_t i = first; i < end; ++i) {
            const uint8_t* pixel = pixels + i * kChannels;
            if constexpr (kChannels == kColourBytes + 1) {
                // The four bytes at once, as one word against its first byte in every place.
                uint32_t word = 0;
                std::memcpy(&word, pixel, sizeof word);
                constexpr uint32_t kEveryByte = 0x01010101u;
                differs |= word ^ (static_cast<uint32_t>(pixel[0]) * kEveryByte);
            } else {
                for (int32_t j = 1; j < kChannels; ++j) {
                    differs |= static_cast<uint32_t>(pixel[j] ^ pixel[0]);
                }
            }
        }
        if (differs != 0) {
            return false;
        }
    }
    return true;
}

// Row y's first and last columns with a byte that is not 0.
template <int32_t kChannels>
void measure_row(const uint8_t* row, int32_t width, int32_t& first, int32_t& last) {
    first = kEmptyRowFirst;
    last = kEmptyRowLast;
    for (int32_t x = 0; x < width; ++x) {
        if (!pixel_is_blank<kChannels>(row + static_cast<std::ptrdiff_t>(x) * kChannels)) {
            first = x;
            break;
        }
    }
    for (int32_t x = width - 1; x >= first && first != kEmptyRowFirst; --x) {
        if (!pixel_is_blank<kChannels>(row + static_cast<std::ptrdiff_t>(x) * kChannels)) {
            last = x;
            break;
        }
    }
}

template <int32_t kChannels>
bool measure_rows(const uint8_t* pattern, int32_t width, int32_t height, int32_t* row_first,
                  int32_t* row_last) {
    for (int32_t y = 0; y < height; ++y) {
        measure_row<kChannels>(pattern + static_cast<std::ptrdiff_t>(y) * width * kChannels, width,
                               row_first[y], row_last[y]);
    }
    return pixels_are_grey<kChannels>(
        pattern, static_cast<std::size_t>(width) * static_cast<std::size_t>(height));
}

// Each pixel as its red (or only) byte for the mask, then its colour bytes in red, green, blue
// order.
template <int32_t kColour, bool kAlphaFirst>
void pack_rows(const IrisImage& iris, uint8_t* out) {
    // Held in locals: the bytes written could alias the image's record as far as the compiler
    // knows, which reloaded the width for every pixel.
    const int32_t bytes_per_pixel = iris.bytes_per_pixel;
    const int32_t width = iris.width;
    const int32_t height = iris.height;
    const std::ptrdiff_t rowbytes = iris.rowbytes;
    const uint8_t* const pixels = iris.pixels;
    const int32_t skipped = bytes_per_pixel > kColourBytes ? bytes_per_pixel - kColourBytes : 0;
    for (int32_t y = 0; y < height; ++y) {
        const uint8_t* in = pixels + static_cast<std::ptrdiff_t>(y) * rowbytes;
        for (int32_t x = 0; x < width; ++x, in += bytes_per_pixel, out += kColour + 1) {
            if constexpr (kAlphaFirst) {
                const uint8_t* colour = in + skipped;
                out[0] = colour[0];
                for (int32_t j = 0; j < kColour; ++j) {
                    out[1 + j] = colour[j];
                }
            } else {
                out[0] = in[kColour - 1];
                for (int32_t j = 0; j < kColour; ++j) {
                    out[1 + j] = in[kColour - 1 - j];
                }
            }
        }
    }
}

template <bool kAlphaFirst>
void pack_pixels(const IrisImage& iris, int32_t colour_bytes, uint8_t* out) {
    switch (colour_bytes) {
        case 1:
            pack_rows<1, kAlphaFirst>(iris, out);
            return;
        case 2:
            pack_rows<2, kAlphaFirst>(iris, out);
            return;
        default:
            pack_rows<kColourBytes, kAlphaFirst>(iris, out);
    }
}

}  // namespace

EngineStatus IrisPattern::pack_pattern_alpha(const IrisImage& iris) {
    Pattern_.reset();
    row_first_.reset();
    row_last_.reset();
    const int32_t bytes_per_pixel = iris.bytes_per_pixel;
    if (iris.pixels == nullptr || iris.width <= 0 || iris.height <= 0 || bytes_per_pixel < 1 ||
        static_cast<int64_t>(iris.rowbytes) < int64_t{iris.width} * bytes_per_pixel) {
        return {engine_failure::kIrisGeometry,
                "(pack_pattern_alpha): the iris image is empty or its row stride is too short"};
    }
    const int32_t colour_bytes = bytes_per_pixel < kColourBytes ? bytes_per_pixel : kColourBytes;
    const std::size_t cells =
        static_cast<std::size_t>(iris.width) * static_cast<std::size_t>(iris.height);

    Pattern_ = platform::OwnedArray<uint8_t>(cells * static_cast<std::size_t>(colour_bytes + 1));
    row_first_ = platform::OwnedArray<int32_t>(static_cast<std::size_t>(iris.height));
    row_last_ = platform::OwnedArray<int32_t>(static_cast<std::size_t>(iris.height));
    if (!Pattern_ || !row_first_ || !row_last_) {
        Pattern_.reset();
        row_first_.reset();
        row_last_.reset();
        return {engine_failure::kPatternMemory,
                "(pack_pattern_alpha): not enough memory for Pattern[]"};
    }
    width_ = iris.width;
    height_ = iris.height;
    channels_ = colour_bytes + 1;

    if (iris.alpha_first) {
        pack_pixels<true>(iris, colour_bytes, Pattern_.get());
    } else {
        pack_pixels<false>(iris, colour_bytes, Pattern_.get());
    }
    return {};
}

void IrisPattern::measure_pattern() {
    if (!Pattern_) {
        return;
    }
    uint8_t* const pattern = Pattern_.get();
    bool grey = false;
    switch (channels_) {
        case kGreyChannels:
            measure_rows<kGreyChannels>(pattern, width_, height_, row_first_.get(),
                                        row_last_.get());
            return;
        case kGreyChannels + 1:
            grey = measure_rows<kGreyChannels + 1>(pattern, width_, height_, row_first_.get(),
                                                   row_last_.get());
            break;
        default:
            grey = measure_rows<kColourBytes + 1>(pattern, width_, height_, row_first_.get(),
                                                  row_last_.get());
    }
    if (!grey) {
        return;
    }
    // Mask and grey are all a grey shape needs; the pixels move down in place.
    const int32_t channels = channels_;
    const std::size_t cells = static_cast<std::size_t>(width_) * static_cast<std::size_t>(height_);
    for (std::size_t i = 0; i < cells; ++i) {
        pattern[i * kGreyChannels] = pattern[i * channels];
        pattern[i * kGreyChannels + 1] = pattern[i * channels + 1];
    }
    channels_ = kGreyChannels;
}
