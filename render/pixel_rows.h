// A view of 4-channel ARGB rows of 8-bit, 16-bit or float channels, as the host's worlds and the
// render's step buffers hold them. Plain pointers and strides, so the render's stages can be
// used and tested without a host.
#ifndef QB_RENDER_PIXEL_ROWS_H
#define QB_RENDER_PIXEL_ROWS_H

#include <cstddef>
#include <cstdint>

#include "engine/channel_levels.h"

namespace render {

inline constexpr int kChannels = 4;
inline constexpr int32_t kMaxChannel8 = kLevels8 - 1;
inline constexpr int32_t kMaxChannel16 = kLevels16 - 1;

enum class ChannelDepth { k8, k16, kFloat };

inline std::size_t channel_bytes(ChannelDepth depth) {
    switch (depth) {
        case ChannelDepth::k16:
            return 2;
        case ChannelDepth::kFloat:
            return 4;
        case ChannelDepth::k8:
            break;
    }
    return 1;
}

inline std::size_t pixel_bytes(ChannelDepth depth) {
    return kChannels * channel_bytes(depth);
}

// Of the integer depths; float channels are light, without a top.
inline int32_t max_channel(ChannelDepth depth) {
    return depth == ChannelDepth::k8 ? kMaxChannel8 : kMaxChannel16;
}

// `data` points at the first pixel of the view (for a region: its top-left pixel in the world).
template <class Byte>
struct BasicPixelRows {
    Byte* data = nullptr;
    std::ptrdiff_t rowbytes = 0;
    ChannelDepth depth = ChannelDepth::k8;

    Byte* row(int32_t y) const { return data + y * rowbytes; }
    Byte* pixel(int32_t x, int32_t y) const {
        return row(y) +
               static_cast<std::ptrdiff_t>(x) * static_cast<std::ptrdiff_t>(pixel_bytes(depth));
    }
};

using PixelRows = BasicPixelRows<uint8_t>;
using ConstPixelRows = BasicPixelRows<const uint8_t>;

inline ConstPixelRows as_const(const PixelRows& rows) {
    return ConstPixelRows{rows.data, rows.rowbytes, rows.depth};
}

}  // namespace render

#endif
