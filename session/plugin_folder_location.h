// Where a front end loaded by another program (the GEGL operation, the OpenFX bundle) finds the
// effect's plug-in folder: the folder named by QUILLBLOOM_PLUGIN_DIR when that is set and not
// empty, else a folder at a fixed place relative to the front end's own file, where the install
// puts it.
#ifndef QB_SESSION_PLUGIN_FOLDER_LOCATION_H
#define QB_SESSION_PLUGIN_FOLDER_LOCATION_H

#include <filesystem>

namespace session {

inline constexpr const char kPluginFolderVariable[] = "QUILLBLOOM_PLUGIN_DIR";
// The module file of the folder. A front end runs the module linked into it, telling it that it
// was loaded from here, so that it reads this folder as its own.
inline constexpr const char kModuleFileName[] = "QuilAE.aex";

// The plug-in folder for the front end whose file holds `address_in_front_end`: the variable's
// folder, else `relative` taken from the folder that file lies in.
std::filesystem::path plugin_folder_location(const void* address_in_front_end,
                                             const std::filesystem::path& relative);

}  // namespace session

#endif
