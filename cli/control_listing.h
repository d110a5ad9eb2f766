// Human-readable lines for the controls a module declared, in declaration order.
#ifndef QB_CLI_CONTROL_LISTING_H
#define QB_CLI_CONTROL_LISTING_H

#include <string>
#include <vector>

#include "host/emulated_host.h"

namespace cli {

// One line a control: parameter index, name, type, default and ranges.
std::vector<std::string> describe_controls(const std::vector<host::DeclaredParam>& controls);

}  // namespace cli

#endif
