// Where the extension finds the effect's plug-in folder (the iris shapes under `pattern/` and the
// option files): as session/plugin_folder_location.h says, beside the extension's own file in the
// folder `quillbloom`.
#ifndef QB_PYTHON_PLUGIN_FOLDER_H
#define QB_PYTHON_PLUGIN_FOLDER_H

#include <filesystem>

namespace qb_python {

inline constexpr const char kPluginFolderBeside[] = "quillbloom";

std::filesystem::path effect_module_path();

}  // namespace qb_python

#endif
