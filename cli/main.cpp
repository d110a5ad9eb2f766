// quillbloom: drives the effect module of the plug-in folder beside this program through the
// emulated host.
#include <fmt/format.h>

#include <csignal>
#include <cstdio>
#include <filesystem>
#include <new>
#include <string>
#include <variant>

#include "cli/about_command.h"
#include "cli/command_line.h"
#include "cli/control_listing.h"
#include "cli/exit_status.h"
#include "cli/frame_sequence.h"
#include "cli/module_location.h"
#include "cli/shapes_command.h"
#include "cli/thread_count.h"
#include "host/desktop_recorder.h"
#include "host/emulated_host.h"
#include "session/cancellation.h"
#include "session/session_error.h"

namespace {

namespace fs = std::filesystem;

template <class... Handlers>
struct Overloaded : Handlers... {
    using Handlers::operator()...;
};
template <class... Handlers>
Overloaded(Handlers...) -> Overloaded<Handlers...>;

int run(const cli::Command& command) {
    return std::visit(
        Overloaded{
            [](const cli::RenderRequest& request) { return cli::run_render(request); },
            [](const cli::DemoRequest& request) { return cli::run_demo(request); },
            [](const cli::ShapesCommand& shapes) {
                return cli::run_shapes(shapes.module, shapes.picture_folder, shapes.picture_size);
            },
            [](const cli::ControlsCommand& controls) {
                host::EmulatedHost effect(controls.module.string());
                return cli::show_controls(effect);
            },
            [](const cli::AboutCommand& about) {
                host::EmulatedHost effect(about.module.string());
                return cli::show_about(effect, about.open_help);
            },
            [](const cli::Finished& finished) { return finished.exit_status; },
        },
        command);
}

}  // namespace

int main(int argc, char** argv) {
    session::install_cancel_handlers();
    // A file-size limit reached while writing fails the write, which the tool reports, instead
    // of ending the process with a half-written temporary file.
    std::signal(SIGXFSZ, SIG_IGN);
    cli::apply_thread_count(cli::process_environment());
    host::desktop_record().on_message_box = [](const std::string& text) {
        fmt::print(stderr, "[message] {}\n", text);
    };
    try {
        const fs::path program = fs::read_symlink("/proc/self/exe");
        return run(
            cli::parse_command_line(argc, argv, cli::default_module_path(program.parent_path())));
    } catch (const session::SessionError& error) {
        fmt::print(stderr, "quillbloom: {}\n", error.what());
        return cli::exit_status(error.kind());
    } catch (const host::HostError& error) {
        fmt::print(stderr, "quillbloom: {}\n", error.what());
        return cli::kExitBadInput;
    } catch (const std::bad_alloc&) {
        fmt::print(stderr, "quillbloom: not enough memory for these pictures\n");
        return cli::kExitEffectError;
    }
}
