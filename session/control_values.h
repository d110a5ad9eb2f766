// Control values checked against what the module declared: ranges and menu entries are read
// from the declarations, never repeated here.
#ifndef QB_SESSION_CONTROL_VALUES_H
#define QB_SESSION_CONTROL_VALUES_H

#include <string>
#include <vector>

#include "host/emulated_host.h"

namespace session {

// The control `name` as `effect` learnt it from the module; throws host::HostError for a name
// the module did not declare.
const host::DeclaredParam& declared_control(const host::EmulatedHost& effect, const char* name);

// The entries of a popup, in order.
std::vector<std::string> popup_entries(const host::DeclaredParam& control);

// The 1-based position of `choice` in a popup: an entry's text (case does not matter when no
// entry matches exactly) or, when `by_number`, a number 1..entries. Throws SessionError (bad input)
// naming `flag` and the entries otherwise.
int popup_position(const host::DeclaredParam& control, const std::string& choice,
                   const std::string& flag, bool by_number);

// `value` when it lies in the control's valid range (slider units); throws SessionError (bad input)
// naming `flag` and the range otherwise.
double checked_slider_value(const host::DeclaredParam& control, double value,
                            const std::string& flag);

// What a control is, in the words `quillbloom controls` lists it with ("slider", "popup").
std::string control_kind(PF_ParamType type);

}  // namespace session

#endif
