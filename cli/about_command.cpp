#include "cli/about_command.h"

#include <OpenImageIO/oiioversion.h>
#include <fmt/format.h>
#include <CLI/Version.hpp>

#include <algorithm>
#include <cstdio>
#include <sstream>

#include "host/desktop_recorder.h"
#include "platform/desktop_services.h"

namespace cli {
namespace {

// The About box's button ids.
constexpr A_long kOkButton = 1;
constexpr A_long kHelpButton = 3;
constexpr std::size_t kTextWidth = 72;

std::vector<std::string> wrap(const std::string& text, std::size_t width) {
    std::vector<std::string> lines;
    std::istringstream words(text);
    std::string line;
    for (std::string word; words >> word;) {
        if (!line.empty() && line.size() + 1 + word.size() > width) {
            lines.push_back(line);
            line.clear();
        }
        line += (line.empty() ? "" : " ") + word;
    }
    if (!line.empty()) {
        lines.push_back(line);
    }
    return lines;
}

std::vector<const host::DialogItemRecord*> items_of_type(const host::DialogRecord& dialog,
                                                         const char* type) {
    std::vector<const host::DialogItemRecord*> found;
    for (const host::DialogItemRecord& item : dialog.items) {
        if (item.type == type) {
            found.push_back(&item);
        }
    }
    return found;
}

// Reading order: top to bottom, then left to right.
void sort_by_position(std::vector<const host::DialogItemRecord*>& items) {
    std::sort(items.begin(), items.end(), [](const auto* a, const auto* b) {
        return std::tie(a->bounds.top, a->bounds.left) < std::tie(b->bounds.top, b->bounds.left);
    });
}

// The box credits what the module links; the tool links more.
void print_tool_libraries() {
    fmt::print(
        "\nThis command-line tool also links OpenImageIO {} (with its image format libraries) "
        "to read and write pictures, CLI11 {} for its command line and fmt {}.{}.{} for its "
        "text.\n",
        OIIO_VERSION_STRING, CLI11_VERSION, FMT_VERSION / 10000, FMT_VERSION / 100 % 100,
        FMT_VERSION % 100);
}

}  // namespace

std::vector<std::string> describe_dialog(const host::DialogRecord& dialog, std::size_t width) {
    std::vector<std::string> lines = {dialog.title, std::string(dialog.title.size(), '=')};
    auto texts = items_of_type(dialog, ADM_TEXT_STATIC_TYPE);
    sort_by_position(texts);
    for (const host::DialogItemRecord* text : texts) {
        lines.emplace_back();
        for (std::string& line : wrap(text->text, width)) {
            lines.push_back(std::move(line));
        }
    }
    auto buttons = items_of_type(dialog, ADM_TEXT_PUSH_BUTTON_TYPE);
    sort_by_position(buttons);
    std::string row;
    for (const host::DialogItemRecord* button : buttons) {
        row += fmt::format("{}[ {} ]", row.empty() ? "" : "  ", button->text);
    }
    lines.emplace_back();
    lines.push_back(row);
    return lines;
}

int show_about(host::EmulatedHost& effect, bool press_help) {
    host::DialogHost& dialogs = host::dialog_host();
    dialogs.clear();
    dialogs.on_alert = [](const std::string& text) { fmt::print(stderr, "[alert] {}\n", text); };
    host::register_dialog_suites(effect);
    host::desktop_record().opened_documents.clear();
    effect.global_setup();
    if (press_help) {
        dialogs.button_presses.push_back(kHelpButton);
    }
    dialogs.button_presses.push_back(kOkButton);

    effect.about();
    if (dialogs.dialogs.empty() || !dialogs.dialogs.front().shown) {
        fmt::print(stderr, "quillbloom: no About box: {}\n", effect.out_data().return_msg);
        return 1;
    }
    for (const std::string& line : describe_dialog(dialogs.dialogs.front(), kTextWidth)) {
        fmt::print("{}\n", line);
    }
    print_tool_libraries();
    // The module asked this program's recorded desktop; the page still has to reach a browser.
    for (const std::string& page : host::desktop_record().opened_documents) {
        fmt::print("Help page: {}\n", page);
        if (platform::system_shell_open(page.c_str()) != 0) {
            fmt::print(stderr,
                       "quillbloom: no application could open {}; open it in a web browser\n",
                       page);
            return 1;
        }
    }
    return dialogs.alerts.empty() ? 0 : 1;
}

}  // namespace cli
