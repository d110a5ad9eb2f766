// quillbloom: drives the effect module of the plug-in folder beside this program through the
// emulated host.
#include <fmt/format.h>
#include <CLI/CLI.hpp>

#include <cstdio>
#include <filesystem>
#include <string>

#include "cli/about_command.h"
#include "cli/control_listing.h"
#include "host/desktop_recorder.h"
#include "host/emulated_host.h"

namespace {

namespace fs = std::filesystem;

fs::path default_module_path() {
    return fs::read_symlink("/proc/self/exe").parent_path() / "plugin" / "QuilAE.aex";
}

// Global set-up and parameter set-up, as the host runs them when the effect is first applied.
int load_and_declare(host::EmulatedHost& effect) {
    if (const PF_Err err = effect.global_setup()) {
        fmt::print(stderr, "global set-up failed ({}): {}\n", err, effect.out_data().return_msg);
        return 1;
    }
    if (const PF_Err err = effect.params_setup()) {
        fmt::print(stderr, "parameter set-up failed ({}): {}\n", err, effect.out_data().return_msg);
        return 1;
    }
    return 0;
}

int print_controls(host::EmulatedHost& effect) {
    if (const int status = load_and_declare(effect)) {
        return status;
    }
    fmt::print("Controls of {}:\n", effect.module_path());
    for (const std::string& line : cli::describe_controls(effect.declared_params())) {
        fmt::print("{}\n", line);
    }
    return 0;
}

int run_demo(host::EmulatedHost& effect) {
    if (const int status = print_controls(effect)) {
        return status;
    }
    fmt::print("Rendering is not available yet in this build.\n");
    effect.global_setdown();
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    CLI::App app{"Quillbloom: depth-of-field effect, driven through the emulated host"};
    app.require_subcommand(1);
    std::string module_path = default_module_path().string();
    app.add_option("--module", module_path, "Effect module file to load")->capture_default_str();
    CLI::App* demo = app.add_subcommand("demo", "Load the effect and show what it declares");
    CLI::App* controls = app.add_subcommand("controls", "List the effect's controls");
    CLI::App* about = app.add_subcommand("about", "Show the effect's About box as text");
    bool open_help = false;
    about->add_flag("--open-help", open_help, "Press its Help button: open the help page");
    CLI11_PARSE(app, argc, argv);

    host::desktop_record().on_message_box = [](const std::string& text) {
        fmt::print(stderr, "[message] {}\n", text);
    };
    try {
        host::EmulatedHost effect(module_path);
        if (demo->parsed()) {
            return run_demo(effect);
        }
        if (controls->parsed()) {
            return print_controls(effect);
        }
        if (about->parsed()) {
            return cli::show_about(effect, open_help);
        }
    } catch (const host::HostError& error) {
        fmt::print(stderr, "quillbloom: {}\n", error.what());
        return 1;
    }
    return 0;
}
