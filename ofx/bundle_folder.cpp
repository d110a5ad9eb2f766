#include "ofx/bundle_folder.h"

#include "session/plugin_folder_location.h"

namespace qb_ofx {

std::filesystem::path bundle_plugin_folder() {
    return session::plugin_folder_location(reinterpret_cast<const void*>(&bundle_plugin_folder),
                                           kResourcesFromBinary);
}

std::filesystem::path effect_module_path() {
    return bundle_plugin_folder() / session::kModuleFileName;
}

}  // namespace qb_ofx
