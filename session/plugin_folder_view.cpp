#include "session/plugin_folder_view.h"

#include <fmt/format.h>
#include <stdlib.h>

#include <fstream>
#include <system_error>

#include "session/session_error.h"

namespace session {
namespace {

namespace fs = std::filesystem;

fs::path make_temporary_folder() {
    std::string pattern = (fs::temp_directory_path() / "quillbloom-plugin-XXXXXX").string();
    if (!mkdtemp(pattern.data())) {
        fail_input("cannot make a temporary plug-in folder for the effect's options");
    }
    return pattern;
}

}  // namespace

PluginFolderView::PluginFolderView(const fs::path& module, const std::vector<std::string>& markers)
    : folder_(make_temporary_folder()), module_(folder_ / module.filename()) {
    std::error_code error;
    const fs::path real_folder = fs::absolute(module, error).parent_path();
    for (const fs::directory_entry& entry : fs::directory_iterator(real_folder, error)) {
        fs::create_symlink(entry.path(), folder_ / entry.path().filename(), error);
        if (error) {
            break;
        }
    }
    bool made = !error;
    for (const std::string& marker : markers) {
        made = made && static_cast<bool>(std::ofstream(folder_ / marker));
    }
    if (!made || !fs::exists(module_)) {
        fs::remove_all(folder_, error);
        fail_input(
            fmt::format("cannot set the effect's options beside a copy of {}", module.string()));
    }
}

PluginFolderView::~PluginFolderView() {
    std::error_code ignored;
    fs::remove_all(folder_, ignored);
}

}  // namespace session
