#include "engine/iris_pattern.h"

#include <cstddef>
#include <cstdint>

namespace {

constexpr int32_t kColourBytes = 3;
constexpr int32_t kGreyChannels = 2;
// Row extents of a row without any non-zero byte.
constexpr int32_t kEmptyRowFirst = 999999;
constexpr int32_t kEmptyRowLast = -999999;

bool pixel_is_blank(const uint8_t* pixel, int32_t channels) {
    for (int32_t j = 0; j < channels; ++j) {
        if (pixel[j] != 0) {
            return false;
        }
    }
    return true;
}

bool pixel_is_grey(const uint8_t* pixel, int32_t channels) {
    for (int32_t j = 1; j < channels; ++j) {
        if (pixel[j] != pixel[0]) {
            return false;
        }
    }
    return true;
}

// Each pixel as its red (or only) byte for the mask, then its colour bytes in red, green, blue
// order.
void pack_pixels(const IrisImage& iris, int32_t colour_bytes, uint8_t* out) {
    const int32_t bytes_per_pixel = iris.bytes_per_pixel;
    const int32_t skipped = bytes_per_pixel > kColourBytes ? bytes_per_pixel - kColourBytes : 0;
    for (int32_t y = 0; y < iris.height; ++y) {
        const uint8_t* in = iris.pixels + static_cast<std::ptrdiff_t>(y) * iris.rowbytes;
        for (int32_t x = 0; x < iris.width; ++x, in += bytes_per_pixel) {
            if (iris.alpha_first) {
                const uint8_t* colour = in + skipped;
                *out++ = colour[0];
                for (int32_t j = 0; j < colour_bytes; ++j) {
                    *out++ = colour[j];
                }
            } else {
                *out++ = in[colour_bytes - 1];
                for (int32_t j = colour_bytes - 1; j >= 0; --j) {
                    *out++ = in[j];
                }
            }
        }
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

    pack_pixels(iris, colour_bytes, Pattern_.get());
    return {};
}

void IrisPattern::measure_pattern() {
    if (!Pattern_) {
        return;
    }
    uint8_t* const pattern = Pattern_.get();
    const int32_t channels = channels_;
    for (int32_t y = 0; y < height_; ++y) {
        row_first_[y] = kEmptyRowFirst;
        row_last_[y] = kEmptyRowLast;
        const uint8_t* row = pattern + static_cast<std::ptrdiff_t>(y) * width_ * channels;
        for (int32_t x = 0; x < width_; ++x) {
            if (!pixel_is_blank(row + static_cast<std::ptrdiff_t>(x) * channels, channels)) {
                row_first_[y] = x;
                break;
            }
        }
        for (int32_t x = width_ - 1; x >= 0; --x) {
            if (!pixel_is_blank(row + static_cast<std::ptrdiff_t>(x) * channels, channels)) {
                row_last_[y] = x;
                break;
            }
        }
    }
    if (channels == 1) {
        return;
    }
    const std::size_t cells = static_cast<std::size_t>(width_) * static_cast<std::size_t>(height_);
    for (std::size_t i = 0; i < cells; ++i) {
        if (!pixel_is_grey(pattern + i * channels, channels)) {
            return;
        }
    }
    // Mask and grey are all a grey shape needs; the pixels move down in place.
    for (std::size_t i = 0; i < cells; ++i) {
        pattern[i * kGreyChannels] = pattern[i * channels];
        pattern[i * kGreyChannels + 1] = pattern[i * channels + 1];
    }
    channels_ = kGreyChannels;
}
