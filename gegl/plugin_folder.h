// Where the operation finds the effect's plug-in folder: the iris shapes under `pattern/` and
// the option files. The folder named by QUILLBLOOM_PLUGIN_DIR when that is set and not empty,
// else the folder `quillbloom` beside the operation's own file, where the install puts it.
#ifndef QB_GEGL_PLUGIN_FOLDER_H
#define QB_GEGL_PLUGIN_FOLDER_H

#include <filesystem>

namespace qb_gegl {

inline constexpr const char kPluginFolderVariable[] = "QUILLBLOOM_PLUGIN_DIR";
inline constexpr const char kPluginFolderBeside[] = "quillbloom";
// The module file of the folder. The operation runs the module linked into it, telling it that
// it was loaded from here, so that it reads this folder as its own.
inline constexpr const char kModuleFileName[] = "QuilAE.aex";

std::filesystem::path plugin_folder();

std::filesystem::path effect_module_path();

}  // namespace qb_gegl

#endif
