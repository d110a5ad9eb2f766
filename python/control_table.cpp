#include "python/control_table.h"

#include <pybind11/stl.h>

#include "host/fixed_point.h"
#include "session/control_values.h"

namespace qb_python {
namespace {

using host::from_fixed;

struct Description {
    py::object default_value = py::none();
    py::object min = py::none();
    py::object max = py::none();
    py::object choices = py::none();
};

Description popup(const host::DeclaredParam& control) {
    const std::vector<std::string> entries = session::popup_entries(control);
    const int position = control.def.u.pd.dephault;
    Description description;
    // Positions count from 1; 0 names no default.
    if (position >= 1 && position <= static_cast<int>(entries.size())) {
        description.default_value = py::str(entries[static_cast<std::size_t>(position - 1)]);
    }
    description.choices = py::cast(entries);
    return description;
}

Description described(const host::DeclaredParam& control) {
    const PF_ParamDef& def = control.def;
    switch (def.param_type) {
        case PF_Param_SLIDER:
            return {py::int_(def.u.sd.dephault), py::int_(def.u.sd.valid_min),
                    py::int_(def.u.sd.valid_max)};
        case PF_Param_FIX_SLIDER:
            return {py::float_(from_fixed(def.u.fd.dephault)),
                    py::float_(from_fixed(def.u.fd.valid_min)),
                    py::float_(from_fixed(def.u.fd.valid_max))};
        case PF_Param_CHECKBOX:
            return {py::bool_(def.u.bd.dephault != 0)};
        case PF_Param_POINT:
            return {
                py::make_tuple(from_fixed(def.u.td.x_dephault), from_fixed(def.u.td.y_dephault))};
        case PF_Param_POPUP:
            return popup(control);
        default:
            return {};
    }
}

}  // namespace

py::list control_table(const std::vector<host::DeclaredParam>& controls) {
    py::list table;
    for (const host::DeclaredParam& control : controls) {
        const Description description = described(control);
        py::dict entry;
        entry["name"] = py::str(control.def.name);
        entry["kind"] = session::control_kind(control.def.param_type);
        entry["default"] = description.default_value;
        entry["min"] = description.min;
        entry["max"] = description.max;
        entry["choices"] = description.choices;
        table.append(entry);
    }
    return table;
}

}  // namespace qb_python
