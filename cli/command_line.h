// The command line: subcommands, their flags and what they turn into. One flag a control, named
// after it; values are checked against the module's own declarations once it is loaded.
#ifndef QB_CLI_COMMAND_LINE_H
#define QB_CLI_COMMAND_LINE_H

#include <filesystem>
#include <string>
#include <variant>
#include <vector>

#include "cli/demo_command.h"
#include "cli/render_command.h"

namespace cli {

struct ControlsCommand {
    std::filesystem::path module;
};
struct AboutCommand {
    std::filesystem::path module;
    bool open_help = false;
};
struct ShapesCommand {
    std::filesystem::path module;
    std::string picture_folder;
    int picture_size = 0;
};
// --help and the like: the text is printed already; only the status is left.
struct Finished {
    int exit_status = 0;
};

using Command = std::variant<RenderRequest, DemoRequest, ShapesCommand, ControlsCommand,
                             AboutCommand, Finished>;

// Parses `argv`. Help is printed on standard output; a mistake is printed as one line on
// standard error and answered as Finished with the bad-input status.
Command parse_command_line(int argc, const char* const* argv,
                           const std::filesystem::path& default_module);

// "X,Y" or "X,Y,Z": `min_count` to `max_count` numbers. Throws SessionError (bad input).
std::vector<double> parse_numbers(const std::string& text, const std::string& flag,
                                  std::size_t min_count, std::size_t max_count);

}  // namespace cli

#endif
