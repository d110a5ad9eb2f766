#include "cli/module_location.h"

#include "session/plugin_folder_location.h"

namespace cli {

// Set by the build from the install folders it was configured with.
const char* const kInstalledPluginFolder = QB_INSTALLED_PLUGIN_FOLDER;

std::filesystem::path default_module_path(const std::filesystem::path& program_folder) {
    const std::filesystem::path built = program_folder / kBuildPluginFolder;
    const std::filesystem::path folder =
        std::filesystem::is_directory(built) ? built : program_folder / kInstalledPluginFolder;
    return (folder / session::kModuleFileName).lexically_normal();
}

}  // namespace cli
