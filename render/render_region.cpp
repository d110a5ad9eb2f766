#include "render/render_region.h"

#include <algorithm>

namespace render {
namespace {

// Widths and heights below zero mean nothing to render; keeping them at 0 lets every caller
// test one condition.
RenderRegion region_between(int64_t x0, int64_t y0, int64_t x1, int64_t y1) {
    RenderRegion region;
    region.x0 = static_cast<int32_t>(x0);
    region.y0 = static_cast<int32_t>(y0);
    region.width = static_cast<int32_t>(std::max<int64_t>(x1 - x0, 0));
    region.height = static_cast<int32_t>(std::max<int64_t>(y1 - y0, 0));
    return region;
}

}  // namespace

RenderRegion full_render_region(int32_t left, int32_t top, int32_t right, int32_t bottom,
                                int32_t max_blur_diameter, int32_t layer_width,
                                int32_t layer_height) {
    const int64_t half = max_blur_diameter / 2;
    const int64_t x0 = std::max<int64_t>(int64_t{left} - half, 0);
    const int64_t y0 = std::max<int64_t>(int64_t{top} - half, 0);
    const int64_t x1 = std::min<int64_t>(int64_t{right} + half, layer_width);
    const int64_t y1 = std::min<int64_t>(int64_t{bottom} + half, layer_height);
    return region_between(x0, y0, x1, y1);
}

std::optional<RenderRegion> preview_render_region(int32_t x, int32_t y, int32_t preview_size,
                                                  int32_t layer_width, int32_t layer_height) {
    if (x <= 0 || y <= 0 || x >= layer_width || y >= layer_height) {
        return std::nullopt;
    }
    const int64_t half = preview_size / 2;
    const int64_t x0 = std::max<int64_t>(int64_t{x} - half, 0);
    const int64_t y0 = std::max<int64_t>(int64_t{y} - half, 0);
    const int64_t x1 = std::min<int64_t>(int64_t{x} + half, int64_t{layer_width} - 1);
    const int64_t y1 = std::min<int64_t>(int64_t{y} + half, int64_t{layer_height} - 1);
    return region_between(x0, y0, x1, y1);
}

}  // namespace render
