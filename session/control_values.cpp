#include "session/control_values.h"

#include <fmt/format.h>

#include <algorithm>
#include <cctype>
#include <charconv>
#include <sstream>

#include "host/fixed_point.h"
#include "session/session_error.h"

namespace session {
namespace {

using host::from_fixed;

bool same_text(const std::string& a, const std::string& b) {
    return std::equal(a.begin(), a.end(), b.begin(), b.end(), [](char x, char y) {
        return std::tolower(static_cast<unsigned char>(x)) ==
               std::tolower(static_cast<unsigned char>(y));
    });
}

struct Range {
    double min;
    double max;
};

Range valid_range(const host::DeclaredParam& control) {
    const PF_ParamDef& def = control.def;
    switch (def.param_type) {
        case PF_Param_FIX_SLIDER:
            return {from_fixed(def.u.fd.valid_min), from_fixed(def.u.fd.valid_max)};
        case PF_Param_SLIDER:
            return {static_cast<double>(def.u.sd.valid_min),
                    static_cast<double>(def.u.sd.valid_max)};
        default:
            fail_input(fmt::format("\"{}\" is not a slider", def.name));
    }
}

}  // namespace

const host::DeclaredParam& declared_control(const host::EmulatedHost& effect, const char* name) {
    return effect.declared_params()[static_cast<std::size_t>(effect.param_index(name) - 1)];
}

std::vector<std::string> popup_entries(const host::DeclaredParam& control) {
    std::vector<std::string> entries;
    std::istringstream choices(control.choices);
    for (std::string entry; std::getline(choices, entry, '|');) {
        entries.push_back(entry);
    }
    return entries;
}

int popup_position(const host::DeclaredParam& control, const std::string& choice,
                   const std::string& flag, bool by_number) {
    const std::vector<std::string> entries = popup_entries(control);
    int number = 0;
    const char* end = choice.data() + choice.size();
    const auto [at, error] = std::from_chars(choice.data(), end, number);
    if (by_number && error == std::errc() && at == end && number >= 1 &&
        number <= static_cast<int>(entries.size())) {
        return number;
    }
    // An exact match first: entries may differ only in case.
    for (const bool exact : {true, false}) {
        for (std::size_t i = 0; i < entries.size(); ++i) {
            if (exact ? entries[i] == choice : same_text(entries[i], choice)) {
                return static_cast<int>(i + 1);
            }
        }
    }
    if (entries.empty()) {
        fail_input(
            fmt::format("{} \"{}\": \"{}\" offers no choice", flag, choice, control.def.name));
    }
    fail_input(fmt::format("{} \"{}\" is not one of: {}", flag, choice, fmt::join(entries, ", ")));
}

double checked_slider_value(const host::DeclaredParam& control, double value,
                            const std::string& flag) {
    const Range range = valid_range(control);
    if (!(value >= range.min && value <= range.max)) {
        fail_input(fmt::format("{} {:g}: \"{}\" takes {:g} to {:g}", flag, value, control.def.name,
                               range.min, range.max));
    }
    return value;
}

std::string control_kind(PF_ParamType type) {
    switch (type) {
        case PF_Param_LAYER:
            return "layer";
        case PF_Param_SLIDER:
            return "slider";
        case PF_Param_FIX_SLIDER:
            return "fixed slider";
        case PF_Param_CHECKBOX:
            return "check box";
        case PF_Param_POINT:
            return "point";
        case PF_Param_POPUP:
            return "popup";
        case PF_Param_GROUP_START:
            return "group start";
        case PF_Param_GROUP_END:
            return "group end";
        default:
            return fmt::format("type {}", type);
    }
}

}  // namespace session
