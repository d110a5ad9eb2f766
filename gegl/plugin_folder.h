// Where the operation finds the effect's plug-in folder (the iris shapes under `pattern/` and
// the option files): as session/plugin_folder_location.h says, beside the operation's own file
// in the folder `quillbloom`.
#ifndef QB_GEGL_PLUGIN_FOLDER_H
#define QB_GEGL_PLUGIN_FOLDER_H

#include <filesystem>

namespace qb_gegl {

inline constexpr const char kPluginFolderBeside[] = "quillbloom";

std::filesystem::path plugin_folder();

std::filesystem::path effect_module_path();

}  // namespace qb_gegl

#endif
