#ifndef QB_PLATFORM_MODULE_PATH_H
#define QB_PLATFORM_MODULE_PATH_H

#include <string>

namespace platform {

// The full path of the loaded file (module or program) that holds `address_in_it`, as the
// dynamic loader knows it; empty when the loader cannot tell.
std::string loaded_file_path(const void* address_in_it);

}  // namespace platform

#endif
