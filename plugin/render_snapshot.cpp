// The render snapshot: the controls' values as one render uses them, taken from the host's
// parameter array and scaled to the render's resolution.
#include <cmath>
#include <initializer_list>

#include "plugin/effect_params.h"

namespace {

constexpr double kFixedToDouble = 1.0 / PF_FIXED_ONE;
// The alpha-bokeh amount when the "Alpha bokeh" control is not declared.
constexpr float kDefaultAlphaValue = 0.3f;

double fixed_value(const PF_ParamDef* param) {
    return param->u.fd.value * kFixedToDouble;
}

double clamped_fixed_value(const PF_ParamDef* param, int BokehPlugin::*index) {
    return within_valid_range(index, param->u.fd.value) * kFixedToDouble;
}

// The whole-pixel part of a 16.16 point coordinate.
int point_part(PF_Fixed coordinate) {
    return static_cast<int16_t>(coordinate >> 16);
}

}  // namespace

bool BokehPlugin::controls_present(PF_ParamDef* params[]) const {
    const int indices[] = {idx_iris_shape,   idx_bokeh_amount,    idx_hardness,
                           idx_brightness,   idx_preview_only,    idx_preview_point,
                           idx_preview_size, idx_preview_quality, idx_quality};
    for (const int index : indices) {
        if (index <= 0 || !params[index]) {
            return false;
        }
    }
    if (distance_params_enabled) {
        for (const int index :
             {idx_distance_layer, idx_focus_here, idx_focus_distance, idx_distance_precision}) {
            if (index <= 0 || !params[index]) {
                return false;
            }
        }
    }
    return !more_params || (idx_alpha_bokeh > 0 && params[idx_alpha_bokeh]);
}

render::RenderRequest BokehPlugin::take_render_snapshot(PF_ParamDef* params[], double dsx) const {
    render::RenderRequest request;
    request.shape_choice = params[idx_iris_shape]->u.pd.value;
    request.hardness = clamped_fixed_value(params[idx_hardness], &BokehPlugin::idx_hardness);
    request.brightness = clamped_fixed_value(params[idx_brightness], &BokehPlugin::idx_brightness);
    request.bokeh_amount =
        clamped_fixed_value(params[idx_bokeh_amount], &BokehPlugin::idx_bokeh_amount) * dsx;
    // Without the distance controls the request keeps the plug-in's start values for them.
    request.focus_distance = 0.0;
    request.distance_precision = kStartDistancePrecision;
    if (distance_params_enabled) {
        // Above its range a focus would put every step behind it at the largest blur; below 0 it
        // keeps its meaning (the distance is picked from the focus map).
        request.focus_distance =
            params[idx_focus_distance]->u.fd.value > 0
                ? clamped_fixed_value(params[idx_focus_distance], &BokehPlugin::idx_focus_distance)
                : fixed_value(params[idx_focus_distance]);
        request.focus_x = point_part(params[idx_focus_here]->u.td.x_value);
        request.focus_y = point_part(params[idx_focus_here]->u.td.y_value);
        request.distance_layer = params[idx_distance_layer]->u.ld.layer_marker != 0;
        request.distance_precision = params[idx_distance_precision]->u.sd.value;
    }
    request.preview_only = params[idx_preview_only]->u.bd.value != 0;
    request.preview_x = point_part(params[idx_preview_point]->u.td.x_value);
    request.preview_y = point_part(params[idx_preview_point]->u.td.y_value);
    request.preview_size = static_cast<int>(std::floor(params[idx_preview_size]->u.sd.value * dsx));
    request.preview_quality = params[idx_preview_quality]->u.pd.value;
    request.quality = params[idx_quality]->u.pd.value;
    request.alpha_value = more_params ? static_cast<float>(clamped_fixed_value(
                                            params[idx_alpha_bokeh], &BokehPlugin::idx_alpha_bokeh))
                                      : kDefaultAlphaValue;
    request.use_simd = use_simd != 0;
    request.use_micro = use_micro != 0;
    request.alpha_bokeh = alpha_bokeh_mode != 0;
    return request;
}
