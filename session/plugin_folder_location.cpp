#include "session/plugin_folder_location.h"

#include <cstdlib>

#include "platform/module_path.h"

namespace session {

std::filesystem::path plugin_folder_location(const void* address_in_front_end,
                                             const std::filesystem::path& relative) {
    if (const char* chosen = std::getenv(kPluginFolderVariable); chosen && *chosen) {
        return chosen;
    }
    const std::filesystem::path own_file = platform::loaded_file_path(address_in_front_end);
    return (own_file.parent_path() / relative).lexically_normal();
}

}  // namespace session
