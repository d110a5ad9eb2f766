#include "plugin/bokeh_plugin.h"

#include <algorithm>
#include <cstring>

namespace {

constexpr const char kDefaultShapeName[] = "06";

// The "On-Focus Distance" value a focus pick answers when the map was recorded at another
// resolution: -1.0 in 16.16 fixed point.
constexpr PF_Fixed kUnknownFocusDistance = static_cast<PF_Fixed>(0xFFFF0000u);

}  // namespace

void BokehPlugin::first_call_init() {
    plugin_folder[0] = '\0';
    pattern_folder[0] = '\0';
    std::strcpy(preferred_shape_name, kDefaultShapeName);
    distance_params_enabled = 0;
    more_params = 0;
    alpha_bokeh_mode = 0;
    use_micro = 0;
    use_simd = kStartUseSimd;
    focus_map_scale = 0.0;

    distance_layer_marker = 0;
    iris_layer_marker = 0;
}

PF_Err BokehPlugin::sequence_setup(PF_InData* in_data, PF_OutData* out_data) {
    if (in_data->sequence_data) {
        out_data->sequence_data = in_data->sequence_data;
        return PF_Err_NONE;
    }
    // A layer size below zero is no size; it must not turn into an enormous request.
    const A_u_longlong size = static_cast<A_u_longlong>(std::max(in_data->width, 0)) *
                              static_cast<A_u_longlong>(std::max(in_data->height, 0));
    PF_Handle handle = in_data->utils->host_new_handle(size);
    if (!handle) {
        out_data->sequence_data = nullptr;
        return PF_Err_OUT_OF_MEMORY;
    }
    // The handle stays locked until set-down, so the focus map's bytes can be used directly.
    in_data->utils->host_lock_handle(handle);
    out_data->sequence_data = handle;
    return PF_Err_NONE;
}

PF_Err BokehPlugin::sequence_setdown(PF_InData* in_data, PF_OutData*) {
    kept_between_renders.blocks.release_all();
    kept_between_renders.iris.release();
    if (in_data->sequence_data) {
        in_data->utils->host_unlock_handle(in_data->sequence_data);
        in_data->utils->host_dispose_handle(in_data->sequence_data);
    }
    return PF_Err_NONE;
}

PF_Err BokehPlugin::user_changed_param(PF_InData* in_data, PF_OutData* out_data,
                                       PF_ParamDef* params[],
                                       const PF_UserChangedParamExtra* extra) {
    // Before global set-up has placed the controls there is no "Focus Here" to have changed.
    if (!extra || !params || idx_focus_here <= 0 || extra->param_index != idx_focus_here) {
        return PF_Err_NONE;
    }
    const PF_PointDef& point = params[idx_focus_here]->u.td;
    const int32_t x = point.x_value >> 16;
    const int32_t y = point.y_value >> 16;
    const double downsample = downsample_factor(in_data->downsample_x);

    PF_ParamDef* focus_distance_param = params[idx_focus_distance];
    if (downsample == focus_map_scale) {
        focus_distance_param->u.fd.value =
            static_cast<PF_Fixed>(focus_map_sample(in_data, x, y)) * PF_FIXED_ONE;
    } else {
        focus_distance_param->u.fd.value = kUnknownFocusDistance;
    }
    focus_distance_param->change_flags = PF_ChangeFlag_CHANGED_VALUE;
    out_data->out_flags |= PF_OutFlag_REFRESH_UI;
    return PF_Err_NONE;
}
