#include "gegl/effect_declarations.h"

#include <fmt/format.h>

#include "host/emulated_host.h"
#include "host/fixed_point.h"
#include "session/control_names.h"
#include "session/control_values.h"
#include "session/plugin_folder_view.h"
#include "session/session_error.h"

namespace qb_gegl {
namespace {

SliderDeclaration slider(const host::EmulatedHost& effect, const char* name) {
    const PF_ParamDef& def = session::declared_control(effect, name).def;
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
    const host::DeclaredParam& control = session::declared_control(effect, name);
    return {session::popup_entries(control), control.def.u.pd.dephault};
}

void check(PF_Err err, const char* command) {
    if (err != PF_Err_NONE) {
        throw session::SessionError(
            session::FailureKind::effect_error,
            fmt::format("the effect's {} failed with code {}", command, err));
    }
}

}  // namespace

EffectDeclarations learn_declarations(PF_EffectMain entry, const std::filesystem::path& module) {
    const session::PluginFolderView view(module, {session::kMoreParamsMarker});
    host::EmulatedHost effect(entry, view.module().string());
    check(effect.global_setup(), "global set-up");
    check(effect.params_setup(), "parameter set-up");
    EffectDeclarations declarations;
    declarations.iris_shape = menu(effect, session::kIrisShape);
    declarations.focus_distance = slider(effect, session::kFocusDistance);
    declarations.bokeh_amount = slider(effect, session::kBokehAmount);
    declarations.hardness = slider(effect, session::kHardness);
    declarations.brightness = slider(effect, session::kBrightness);
    declarations.quality = menu(effect, session::kQuality);
    declarations.distance_precision = slider(effect, session::kDistancePrecision);
    declarations.alpha_bokeh = slider(effect, session::kAlphaBokeh);
    effect.global_setdown();
    return declarations;
}

}  // namespace qb_gegl
