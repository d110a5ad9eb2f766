#include "platform/module_path.h"

#include <dlfcn.h>
#include <limits.h>
#include <stdlib.h>

namespace platform {

std::string loaded_file_path(const void* address_in_it) {
    Dl_info info{};
    if (dladdr(address_in_it, &info) == 0 || info.dli_fname == nullptr) {
        return {};
    }
    char resolved[PATH_MAX];
    if (realpath(info.dli_fname, resolved) == nullptr) {
        return info.dli_fname;
    }
    return resolved;
}

}  // namespace platform
