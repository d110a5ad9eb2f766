// Where the bundle finds the effect's plug-in folder (module file, `pattern/`, `help/`): its own
// Contents/Resources, reached from the .ofx file in Contents/Linux-x86-64, or the folder named by
// QUILLBLOOM_PLUGIN_DIR (session/plugin_folder_location.h).
#ifndef QB_OFX_BUNDLE_FOLDER_H
#define QB_OFX_BUNDLE_FOLDER_H

#include <filesystem>

namespace qb_ofx {

inline constexpr const char kResourcesFromBinary[] = "../Resources";

std::filesystem::path bundle_plugin_folder();

std::filesystem::path effect_module_path();

}  // namespace qb_ofx

#endif
