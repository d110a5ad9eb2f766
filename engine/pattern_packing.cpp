#include <cstddef>
#include <cstdint>

#include "engine/bokeh_engine.h"
#include "engine/engine_failures.h"
#include "platform/allocation.h"

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

}  // namespace

void BokehEngine::pack_pattern_alpha() {
    const int32_t bytes_per_pixel = pattern_channels;
    if (iris_pixels == nullptr || iris_width <= 0 || iris_height <= 0 || bytes_per_pixel < 1 ||
        static_cast<int64_t>(iris_rowbytes) < int64_t{iris_width} * bytes_per_pixel) {
        fail(engine_failure::kIrisGeometry,
             "(pack_pattern_alpha): the iris image is empty or its row stride is too short");
        return;
    }
    const int32_t colour_bytes = bytes_per_pixel < kColourBytes ? bytes_per_pixel : kColourBytes;
    const int32_t skipped = bytes_per_pixel > kColourBytes ? bytes_per_pixel - kColourBytes : 0;
    const std::size_t cells =
        static_cast<std::size_t>(iris_width) * static_cast<std::size_t>(iris_height);

    // A buffer left from an earlier call would otherwise be lost when the new one replaces it.
    platform::release_array(Pattern);
    platform::release_array(row_first);
    platform::release_array(row_last);
    Pattern =
        platform::allocate_array<uint8_t>(cells * static_cast<std::size_t>(bytes_per_pixel + 1));
    row_first = platform::allocate_array<int32_t>(static_cast<std::size_t>(iris_height));
    row_last = platform::allocate_array<int32_t>(static_cast<std::size_t>(iris_height));
    if (Pattern == nullptr || row_first == nullptr || row_last == nullptr) {
        platform::release_array(Pattern);
        platform::release_array(row_first);
        platform::release_array(row_last);
        fail(engine_failure::kPatternMemory,
             "(pack_pattern_alpha): not enough memory for Pattern[]");
        return;
    }
    pattern_channels = colour_bytes;

    uint8_t* out = Pattern;
    for (int32_t y = 0; y < iris_height; ++y) {
        const uint8_t* in = iris_pixels + static_cast<std::ptrdiff_t>(y) * iris_rowbytes;
        for (int32_t x = 0; x < iris_width; ++x, in += bytes_per_pixel) {
            if (iris_alpha_first != 0) {
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
    pattern_channels += 1;
}

void BokehEngine::measure_pattern() {
    if (Pattern == nullptr) {
        return;
    }
    const int32_t channels = pattern_channels;
    for (int32_t y = 0; y < iris_height; ++y) {
        row_first[y] = kEmptyRowFirst;
        row_last[y] = kEmptyRowLast;
        const uint8_t* row = Pattern + static_cast<std::ptrdiff_t>(y) * iris_width * channels;
        for (int32_t x = 0; x < iris_width; ++x) {
            if (!pixel_is_blank(row + static_cast<std::ptrdiff_t>(x) * channels, channels)) {
                row_first[y] = x;
                break;
            }
        }
        for (int32_t x = iris_width - 1; x >= 0; --x) {
            if (!pixel_is_blank(row + static_cast<std::ptrdiff_t>(x) * channels, channels)) {
                row_last[y] = x;
                break;
            }
        }
    }
    if (channels == 1) {
        return;
    }
    const std::size_t cells =
        static_cast<std::size_t>(iris_width) * static_cast<std::size_t>(iris_height);
    for (std::size_t i = 0; i < cells; ++i) {
        if (!pixel_is_grey(Pattern + i * channels, channels)) {
            return;
        }
    }
    // Mask and grey are all a grey shape needs; the pixels move down in place.
    for (std::size_t i = 0; i < cells; ++i) {
        Pattern[i * kGreyChannels] = Pattern[i * channels];
        Pattern[i * kGreyChannels + 1] = Pattern[i * channels + 1];
    }
    pattern_channels = kGreyChannels;
}
