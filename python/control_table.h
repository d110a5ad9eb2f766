// The effect's controls as Python values: one dict a control, in the module's order, with what
// `quillbloom controls` lists (name, kind, default, valid range, menu entries); what a kind of
// control does not have is None.
#ifndef QB_PYTHON_CONTROL_TABLE_H
#define QB_PYTHON_CONTROL_TABLE_H

#include <pybind11/pybind11.h>

#include <vector>

#include "host/emulated_host.h"

namespace qb_python {

namespace py = pybind11;

py::list control_table(const std::vector<host::DeclaredParam>& controls);

}  // namespace qb_python

#endif
