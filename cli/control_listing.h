// Human-readable lines for the controls a module declared, in declaration order.
#ifndef QB_CLI_CONTROL_LISTING_H
#define QB_CLI_CONTROL_LISTING_H

#include <string>
#include <vector>

#include "host/emulated_host.h"

namespace cli {

// One line a control: parameter index, name, type, default and ranges.
std::vector<std::string> describe_controls(const std::vector<host::DeclaredParam>& controls);

// `quillbloom controls`: global and parameter set-up, then the listing on standard output.
// Answers the exit status.
int show_controls(host::EmulatedHost& effect);

}  // namespace cli

#endif
