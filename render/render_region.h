// The rectangle of the layer one render computes, and how it is chosen.
#ifndef QB_RENDER_RENDER_REGION_H
#define QB_RENDER_RENDER_REGION_H

#include <cstdint>
#include <optional>

namespace render {

// x0, y0: top-left corner in layer pixels; every working buffer of a render is region-sized
// with packed rows. A region of no width or no height is empty and renders nothing.
struct RenderRegion {
    int32_t x0 = 0;
    int32_t y0 = 0;
    int32_t width = 0;
    int32_t height = 0;

    bool empty() const { return width <= 0 || height <= 0; }
    bool covers(int32_t layer_width, int32_t layer_height) const {
        return x0 == 0 && y0 == 0 && width == layer_width && height == layer_height;
    }
};

// The host's requested extent (right and bottom exclusive) grown on every side by half of
// `max_blur_diameter`, clipped to the layer. Hints outside the layer or inverted give an empty
// region.
RenderRegion full_render_region(int32_t left, int32_t top, int32_t right, int32_t bottom,
                                int32_t max_blur_diameter, int32_t layer_width,
                                int32_t layer_height);

// The preview square of `preview_size` around (x, y). A clipped square never includes the last
// column or row of the layer. Nothing when the point is not strictly inside the layer.
std::optional<RenderRegion> preview_render_region(int32_t x, int32_t y, int32_t preview_size,
                                                  int32_t layer_width, int32_t layer_height);

}  // namespace render

#endif
