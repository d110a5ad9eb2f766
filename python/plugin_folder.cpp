#include "python/plugin_folder.h"

#include "session/plugin_folder_location.h"

namespace qb_python {

std::filesystem::path effect_module_path() {
    return session::plugin_folder_location(reinterpret_cast<const void*>(&effect_module_path),
                                           kPluginFolderBeside) /
           session::kModuleFileName;
}

}  // namespace qb_python
