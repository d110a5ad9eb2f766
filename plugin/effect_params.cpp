// The effect's controls, declared from one table: the parameter index table and the records
// handed to the host are both read from it, so a control's place and its declaration cannot
// disagree.
#include <algorithm>
#include <cstring>

#include "plugin/effect_params.h"

#include "engine/quality_choice.h"
#include "sdk/effect_controls.h"

namespace {

constexpr PF_Fixed fixed(int whole) {
    return whole * PF_FIXED_ONE;
}

// Exact fixed-point words the host shows rounded; they must not be recomputed from decimals.
constexpr PF_Fixed kMinHardnessAndBrightness = 0x6664;  // shown as 0.4
constexpr PF_Fixed kMinAlphaBokeh = 0x1999;             // shown as 0.1
constexpr PF_Fixed kHalf = PF_FIXED_ONE / 2;

// The group start "Preview" and both group ends share this identifier.
constexpr A_long kGroupId = 14;

enum class Presence { always, iris_layer, distance_params, more_params };

// Where a control's default comes from when the table cannot hold it.
enum class DefaultSource { table, shape_catalogue, distance_layer_marker, iris_layer_marker };

struct ControlRow {
    const char* name;  // null for a group end
    PF_ParamType type;
    A_long id;
    int BokehPlugin::*index;
    Presence presence;
    A_long dephault;  // fixed word for fixed sliders
    A_long valid_min, valid_max;
    A_long slider_min, slider_max;
    PF_ParamFlags flags;
    PF_ParamUIFlags ui_flags;
    const char* text;  // popup choices or check box label
    A_short choice_count;
    DefaultSource default_source;
};

constexpr PF_ParamFlags kFixedInTime = PF_ParamFlag_CANNOT_TIME_VARY;

// Hosts set the controls by these names, so the table takes them from the one place they share.
using namespace effect_controls;

// clang-format off
constexpr ControlRow kControls[] = {
    {kIrisShape, PF_Param_POPUP, 3, &BokehPlugin::idx_iris_shape, Presence::always,
     0, 0, 0, 0, 0, 0, PF_PUI_NONE, nullptr, 0, DefaultSource::shape_catalogue},
    {kIrisLayer, PF_Param_LAYER, 16, &BokehPlugin::idx_iris_layer, Presence::iris_layer,
     0, 0, 0, 0, 0, 0, PF_PUI_NONE, nullptr, 0, DefaultSource::iris_layer_marker},
    {kDistanceLayer, PF_Param_LAYER, 4, &BokehPlugin::idx_distance_layer,
     Presence::distance_params,
     0, 0, 0, 0, 0, 0, PF_PUI_NONE, nullptr, 0, DefaultSource::distance_layer_marker},
    {kFocusHere, PF_Param_POINT, 8, &BokehPlugin::idx_focus_here, Presence::distance_params,
     0, 0, 0, 0, 0, PF_ParamFlag_SUPERVISE, PF_PUI_NONE, nullptr, 0, DefaultSource::table},
    {kFocusDistance, PF_Param_FIX_SLIDER, 9, &BokehPlugin::idx_focus_distance,
     Presence::distance_params,
     0, 0, fixed(255), 0, fixed(255), 0, PF_PUI_NONE, nullptr, 0, DefaultSource::table},
    {kBokehAmount, PF_Param_FIX_SLIDER, 7, &BokehPlugin::idx_bokeh_amount, Presence::always,
     fixed(20), 0, fixed(300), 0, fixed(300), 0, PF_PUI_NONE, nullptr, 0, DefaultSource::table},
    {kHardness, PF_Param_FIX_SLIDER, 5, &BokehPlugin::idx_hardness, Presence::always,
     fixed(1), kMinHardnessAndBrightness, fixed(2), kMinHardnessAndBrightness, fixed(2),
     0, PF_PUI_NONE, nullptr, 0, DefaultSource::table},
    {kBrightness, PF_Param_FIX_SLIDER, 6, &BokehPlugin::idx_brightness, Presence::always,
     fixed(1), kMinHardnessAndBrightness, fixed(10), kMinHardnessAndBrightness, fixed(6),
     0, PF_PUI_NONE, nullptr, 0, DefaultSource::table},
    {kPreviewGroup, PF_Param_GROUP_START, kGroupId, &BokehPlugin::idx_preview_group,
     Presence::always,
     0, 0, 0, 0, 0, 0, PF_PUI_NONE, nullptr, 0, DefaultSource::table},
    {kPreviewOnly, PF_Param_CHECKBOX, 1, &BokehPlugin::idx_preview_only, Presence::always,
     0, 0, 0, 0, 0, kFixedInTime, PF_PUI_ECW_SEPARATOR, "Preview small area", 0,
     DefaultSource::table},
    {kPreviewPoint, PF_Param_POINT, 2, &BokehPlugin::idx_preview_point, Presence::always,
     0, 0, 0, 0, 0, kFixedInTime, PF_PUI_NONE, nullptr, 0, DefaultSource::table},
    {kPreviewSize, PF_Param_SLIDER, 13, &BokehPlugin::idx_preview_size, Presence::always,
     100, 20, 300, 20, 300, kFixedInTime, PF_PUI_NONE, nullptr, 0, DefaultSource::table},
    {kPreviewQuality, PF_Param_POPUP, 12, &BokehPlugin::idx_preview_quality,
     Presence::always,
     1, 0, 0, 0, 0, kFixedInTime, PF_PUI_NONE, kQualityMenu, kQualityChoiceCount,
     DefaultSource::table},
    {nullptr, PF_Param_GROUP_END, kGroupId, &BokehPlugin::idx_preview_end, Presence::always,
     0, 0, 0, 0, 0, 0, PF_PUI_NONE, nullptr, 0, DefaultSource::table},
    {kSettingsGroup, PF_Param_GROUP_START, 15, &BokehPlugin::idx_settings_group, Presence::always,
     0, 0, 0, 0, 0, 0, PF_PUI_NONE, nullptr, 0, DefaultSource::table},
    {kQuality, PF_Param_POPUP, 11, &BokehPlugin::idx_quality, Presence::always,
     1, 0, 0, 0, 0, kFixedInTime, PF_PUI_NONE, kQualityMenu, kQualityChoiceCount,
     DefaultSource::table},
    {kDistancePrecision, PF_Param_SLIDER, 10, &BokehPlugin::idx_distance_precision,
     Presence::distance_params,
     10, 1, 128, 1, 128, kFixedInTime, PF_PUI_NONE, nullptr, 0, DefaultSource::table},
    {kAlphaBokeh, PF_Param_FIX_SLIDER, 17, &BokehPlugin::idx_alpha_bokeh, Presence::more_params,
     kHalf, kMinAlphaBokeh, fixed(1), kMinAlphaBokeh, fixed(1), kFixedInTime, PF_PUI_NONE,
     nullptr, 0, DefaultSource::table},
    {nullptr, PF_Param_GROUP_END, kGroupId, &BokehPlugin::idx_settings_end, Presence::always,
     0, 0, 0, 0, 0, 0, PF_PUI_NONE, nullptr, 0, DefaultSource::table},
};
// clang-format on

bool is_present(const BokehPlugin& plugin, Presence presence) {
    switch (presence) {
        case Presence::always:
            return true;
        case Presence::iris_layer:
            return plugin.iris_layer_enabled != 0;
        case Presence::distance_params:
            return plugin.distance_params_enabled != 0;
        case Presence::more_params:
            return plugin.more_params != 0;
    }
    return false;
}

// A layer control's default is the low half of the marker word, sign-extended.
A_long layer_default(int marker) {
    return static_cast<A_short>(marker & 0xFFFF);
}

void fill_popup(const ControlRow& control, const BokehPlugin& plugin, int preferred_position,
                PF_PopupDef& popup) {
    if (control.default_source == DefaultSource::shape_catalogue) {
        popup.num_choices = plugin.shape_count;
        popup.dephault = static_cast<A_short>(preferred_position + 1);
        popup.value = preferred_position + 1;
        popup.namesptr = plugin.shape_choices;
        return;
    }
    popup.num_choices = control.choice_count;
    popup.dephault = static_cast<A_short>(control.dephault);
    popup.value = control.dephault;
    popup.namesptr = control.text;
}

void fill_layer(const ControlRow& control, const BokehPlugin& plugin, PF_LayerDef& layer) {
    const int marker = control.default_source == DefaultSource::iris_layer_marker
                           ? plugin.iris_layer_marker
                           : plugin.distance_layer_marker;
    layer.dephault = layer_default(marker);
}

// Integer and fixed sliders share their range fields; only the fixed one has a display.
template <class Slider>
void fill_slider_range(const ControlRow& control, Slider& slider) {
    slider.value = control.dephault;
    slider.dephault = control.dephault;
    slider.valid_min = control.valid_min;
    slider.valid_max = control.valid_max;
    slider.slider_min = control.slider_min;
    slider.slider_max = control.slider_max;
}

void fill_fixed_slider(const ControlRow& control, PF_FixedSliderDef& slider) {
    fill_slider_range(control, slider);
    slider.precision = 1;  // one decimal place
    slider.display_flags = 0;
}

// The record of one control, cleared and then filled with exactly the fields its type uses.
PF_ParamDef declaration(const ControlRow& control, const BokehPlugin& plugin,
                        const PF_InData* in_data, int preferred_position) {
    PF_ParamDef def;
    std::memset(&def, 0, sizeof def);
    def.param_type = control.type;
    if (control.name) {
        in_data->utils->ansi.strcpy(def.name, control.name);
    }
    def.id = control.id;
    def.ui_flags = control.ui_flags;
    def.flags = control.flags;
    switch (control.type) {
        case PF_Param_POPUP:
            fill_popup(control, plugin, preferred_position, def.u.pd);
            break;
        case PF_Param_LAYER:
            fill_layer(control, plugin, def.u.ld);
            break;
        case PF_Param_POINT:
            def.u.td.restrict_bounds = 1;
            break;
        case PF_Param_FIX_SLIDER:
            fill_fixed_slider(control, def.u.fd);
            break;
        case PF_Param_SLIDER:
            fill_slider_range(control, def.u.sd);
            break;
        case PF_Param_CHECKBOX:
            def.u.bd.nameptr = control.text;
            break;
        default:
            break;
    }
    return def;
}

}  // namespace

void BokehPlugin::compute_param_indices() {
    int n = 0;
    for (const ControlRow& control : kControls) {
        if (is_present(*this, control.presence)) {
            this->*control.index = ++n;
        }
    }
    // Index 0 is the input layer the host supplies.
    num_params = n + 1;
}

PF_Err BokehPlugin::params_setup(PF_InData* in_data, PF_OutData* out_data) {
    int preferred_position = -1;
    shape_count = 0;
    list_shape_folders(shape_choices, &preferred_position);

    for (const ControlRow& control : kControls) {
        if (!is_present(*this, control.presence)) {
            continue;
        }
        PF_ParamDef def = declaration(control, *this, in_data, preferred_position);
        if (const PF_Err err =
                in_data->inter.add_param(in_data->effect_ref, PF_ParamIndex_APPEND, &def)) {
            return err;
        }
    }
    out_data->num_params = num_params;
    return PF_Err_NONE;
}

A_long within_valid_range(int BokehPlugin::*index, A_long value) {
    for (const ControlRow& control : kControls) {
        if (control.index == index) {
            return std::clamp(value, control.valid_min, control.valid_max);
        }
    }
    return value;
}
