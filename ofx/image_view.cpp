#include "ofx/image_view.h"

#include <cstdint>
#include <cstring>

#include "ofx/api/ofx_image_effect.h"

namespace qb_ofx {

std::optional<PixelDepth> pixel_depth_named(const char* name) {
    if (!name) {
        return std::nullopt;
    }
    if (std::strcmp(name, kOfxBitDepthByte) == 0) {
        return PixelDepth::kByte;
    }
    if (std::strcmp(name, kOfxBitDepthShort) == 0) {
        return PixelDepth::kShort;
    }
    if (std::strcmp(name, kOfxBitDepthFloat) == 0) {
        return PixelDepth::kFloat;
    }
    return std::nullopt;
}

std::optional<Components> components_named(const char* name) {
    if (!name) {
        return std::nullopt;
    }
    if (std::strcmp(name, kOfxImageComponentRGBA) == 0) {
        return Components::kRGBA;
    }
    if (std::strcmp(name, kOfxImageComponentRGB) == 0) {
        return Components::kRGB;
    }
    return std::nullopt;
}

std::size_t channel_count(Components components) {
    return components == Components::kRGBA ? 4 : 3;
}

std::size_t sample_size(PixelDepth depth) {
    switch (depth) {
        case PixelDepth::kShort:
            return sizeof(std::uint16_t);
        case PixelDepth::kFloat:
            return sizeof(float);
        case PixelDepth::kByte:
            break;
    }
    return sizeof(std::uint8_t);
}

unsigned char* pixel_address(const ImageView& image, int x, int y) {
    const std::ptrdiff_t row = static_cast<std::ptrdiff_t>(y - image.bounds.y1) * image.row_bytes;
    const std::ptrdiff_t column =
        static_cast<std::ptrdiff_t>(x - image.bounds.x1) *
        static_cast<std::ptrdiff_t>(channel_count(image.components) * sample_size(image.depth));
    return static_cast<unsigned char*>(image.data) + row + column;
}

}  // namespace qb_ofx
