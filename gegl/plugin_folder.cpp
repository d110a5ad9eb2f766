#include "gegl/plugin_folder.h"

#include <cstdlib>

#include "platform/module_path.h"

namespace qb_gegl {

std::filesystem::path plugin_folder() {
    if (const char* chosen = std::getenv(kPluginFolderVariable); chosen && *chosen) {
        return chosen;
    }
    const std::filesystem::path own_file =
        platform::loaded_file_path(reinterpret_cast<const void*>(&plugin_folder));
    return own_file.parent_path() / kPluginFolderBeside;
}

std::filesystem::path effect_module_path() {
    return plugin_folder() / kModuleFileName;
}

}  // namespace qb_gegl
