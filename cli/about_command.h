// `quillbloom about`: the module's About box, shown as text.
#ifndef QB_CLI_ABOUT_COMMAND_H
#define QB_CLI_ABOUT_COMMAND_H

#include <string>
#include <vector>

#include "host/dialog_suites.h"
#include "host/emulated_host.h"

namespace cli {

// The dialog as lines of text: its title, its static texts wrapped to `width` columns, and its
// buttons on one line.
std::vector<std::string> describe_dialog(const host::DialogRecord& dialog, std::size_t width);

// Sends the About command with the dialog suites served, prints the box, and, when asked,
// presses Help and hands the page the module chose to the desktop's own handler. Answers the
// program's exit status.
int show_about(host::EmulatedHost& effect, bool press_help);

}  // namespace cli

#endif
