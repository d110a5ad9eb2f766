// Where the tool finds the effect module when no --module is given: in the plug-in folder the
// build leaves beside the program, else where the install puts that folder relative to the
// program (/usr/bin/quillbloom and /usr/lib/quillbloom/, say).
#ifndef QB_CLI_MODULE_LOCATION_H
#define QB_CLI_MODULE_LOCATION_H

#include <filesystem>

namespace cli {

// The plug-in folder beside the program in the build folder.
inline constexpr const char kBuildPluginFolder[] = "plugin";
// The installed plug-in folder, relative to the installed program's folder.
extern const char* const kInstalledPluginFolder;

// The module file for the program in `program_folder`.
std::filesystem::path default_module_path(const std::filesystem::path& program_folder);

}  // namespace cli

#endif
