#include "gegl/plugin_folder.h"

#include "session/plugin_folder_location.h"

namespace qb_gegl {

std::filesystem::path plugin_folder() {
    return session::plugin_folder_location(reinterpret_cast<const void*>(&plugin_folder),
                                           kPluginFolderBeside);
}

std::filesystem::path effect_module_path() {
    return plugin_folder() / session::kModuleFileName;
}

}  // namespace qb_gegl
