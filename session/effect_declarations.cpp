#include "session/effect_declarations.h"

#include <fmt/format.h>

#include "host/emulated_host.h"
#include "host/fixed_point.h"
#include "sdk/effect_controls.h"
#include "session/control_values.h"
#include "session/plugin_folder_view.h"
#include "session/session_error.h"

namespace session {
namespace {

SliderDeclaration slider(const host::EmulatedHost& effect, const char* name) {
    const PF_ParamDef& def = declared_control(effect, name).def;
    if (def.param_type == PF_Param_SLIDER) {
        const PF_SliderDef& sd = def.u.sd;
        return {static_cast<double>(sd.valid_min),  static_cast<double>(sd.valid_max),
                static_cast<double>(sd.slider_min), static_cast<double>(sd.slider_max),
                static_cast<double>(sd.dephault),   0};
    }
    const PF_FixedSliderDef& fd = def.u.fd;
    return {host::from_fixed(fd.valid_min),  host::from_fixed(fd.valid_max),
            host::from_fixed(fd.slider_min), host::from_fixed(fd.slider_max),
            host::from_fixed(fd.dephault),   fd.precision};
}

MenuDeclaration menu(const host::EmulatedHost& effect, const char* name) {
    const host::DeclaredParam& control = declared_control(effect, name);
    return {popup_entries(control), control.def.u.pd.dephault};
}

void check(PF_Err err, const char* command) {
    if (err != PF_Err_NONE) {
        throw SessionError(FailureKind::effect_error,
                           fmt::format("the effect's {} failed with code {}", command, err));
    }
}

}  // namespace

EffectDeclarations learn_declarations(PF_EffectMain entry, const std::filesystem::path& module) {
    const PluginFolderView view(module, {effect_controls::kMoreParamsOption});
    host::EmulatedHost effect(entry, view.module().string());
    check(effect.global_setup(), "global set-up");
    check(effect.params_setup(), "parameter set-up");
    EffectDeclarations declarations;
    declarations.iris_shape = menu(effect, effect_controls::kIrisShape);
    declarations.focus_distance = slider(effect, effect_controls::kFocusDistance);
    declarations.bokeh_amount = slider(effect, effect_controls::kBokehAmount);
    declarations.hardness = slider(effect, effect_controls::kHardness);
    declarations.brightness = slider(effect, effect_controls::kBrightness);
    declarations.quality = menu(effect, effect_controls::kQuality);
    declarations.distance_precision = slider(effect, effect_controls::kDistancePrecision);
    declarations.alpha_bokeh = slider(effect, effect_controls::kAlphaBokeh);
    effect.global_setdown();
    return declarations;
}

std::vector<host::DeclaredParam> declared_controls(PF_EffectMain entry,
                                                   const std::filesystem::path& module) {
    host::EmulatedHost effect(entry, module.string());
    check(effect.global_setup(), "global set-up");
    check(effect.params_setup(), "parameter set-up");
    std::vector<host::DeclaredParam> controls = effect.declared_params();
    effect.global_setdown();
    return controls;
}

}  // namespace session
