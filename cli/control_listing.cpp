#include "cli/control_listing.h"

#include <fmt/format.h>

#include "cli/exit_status.h"
#include "host/fixed_point.h"
#include "session/control_values.h"

namespace cli {
namespace {

using host::from_fixed;

// Six significant digits: enough to tell 0x6664 (0.399963) from 0.4.
std::string fixed_text(PF_Fixed value) {
    return fmt::format("{:g}", from_fixed(value));
}

std::string details(const host::DeclaredParam& control) {
    const PF_ParamDef& def = control.def;
    switch (def.param_type) {
        case PF_Param_LAYER:
            return def.u.ld.dephault ? fmt::format("default layer {}", def.u.ld.dephault)
                                     : "default none";
        case PF_Param_SLIDER:
            return fmt::format("default {}  valid {}..{}  slider {}..{}", def.u.sd.dephault,
                               def.u.sd.valid_min, def.u.sd.valid_max, def.u.sd.slider_min,
                               def.u.sd.slider_max);
        case PF_Param_FIX_SLIDER:
            return fmt::format("default {}  valid {}..{}  slider {}..{}",
                               fixed_text(def.u.fd.dephault), fixed_text(def.u.fd.valid_min),
                               fixed_text(def.u.fd.valid_max), fixed_text(def.u.fd.slider_min),
                               fixed_text(def.u.fd.slider_max));
        case PF_Param_CHECKBOX:
            return fmt::format("default {}  \"{}\"", def.u.bd.dephault ? "on" : "off",
                               control.checkbox_label);
        case PF_Param_POINT:
            return fmt::format("default ({}, {})", fixed_text(def.u.td.x_dephault),
                               fixed_text(def.u.td.y_dephault));
        case PF_Param_POPUP:
            return fmt::format("default {} of {}  \"{}\"", def.u.pd.dephault, def.u.pd.num_choices,
                               control.choices);
        default:
            return {};
    }
}

}  // namespace

std::vector<std::string> describe_controls(const std::vector<host::DeclaredParam>& controls) {
    std::vector<std::string> lines;
    for (std::size_t i = 0; i < controls.size(); ++i) {
        const PF_ParamDef& def = controls[i].def;
        const std::string name = def.param_type == PF_Param_GROUP_END ? "(end of group)" : def.name;
        std::string line = fmt::format("{:>2}  {:<20} {:<13} {}", i + 1, name,
                                       session::control_kind(def.param_type), details(controls[i]));
        line.erase(line.find_last_not_of(' ') + 1);
        lines.push_back(std::move(line));
    }
    return lines;
}

int show_controls(host::EmulatedHost& effect) {
    if (const PF_Err err = effect.global_setup()) {
        fmt::print(stderr, "quillbloom: global set-up failed ({}): {}\n", err,
                   effect.out_data().return_msg);
        return kExitEffectError;
    }
    if (const PF_Err err = effect.params_setup()) {
        fmt::print(stderr, "quillbloom: parameter set-up failed ({}): {}\n", err,
                   effect.out_data().return_msg);
        return kExitEffectError;
    }
    fmt::print("Controls of {}:\n", effect.module_path());
    for (const std::string& line : describe_controls(effect.declared_params())) {
        fmt::print("{}\n", line);
    }
    effect.global_setdown();
    return kExitSuccess;
}

}  // namespace cli
