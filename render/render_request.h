// The controls' values as one render uses them: taken once from the host's parameters at the
// start of the render, already scaled to the render's resolution, and never changed after.
#ifndef QB_RENDER_RENDER_REQUEST_H
#define QB_RENDER_RENDER_REQUEST_H

#include <cstdint>

namespace render {

struct RenderRequest {
    int shape_choice = 0;  // 1-based position in the shape catalogue
    double hardness = 1.0;
    double brightness = 1.0;
    double bokeh_amount = 20.0;  // the largest disc's diameter, in render pixels
    // Below 0: the distance under (focus_x, focus_y) in the render's distance map.
    double focus_distance = 0.0;
    int focus_x = 0;
    int focus_y = 0;
    bool distance_layer = false;  // whether the Distance Layer control names a layer
    int distance_precision = 50;
    bool preview_only = false;
    int preview_x = 0;
    int preview_y = 0;
    int preview_size = 0;
    int preview_quality = 0;
    int quality = 0;
    float alpha_value = 0.3f;
    // The plug-in folder's options: vector kernels allowed, micro stamps, alpha from the light.
    bool use_simd = true;
    bool use_micro = false;
    bool alpha_bokeh = false;
};

}  // namespace render

#endif
