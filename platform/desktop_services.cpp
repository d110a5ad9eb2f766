#include "platform/desktop_services.h"

#include <dlfcn.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>

extern char** environ;

namespace platform {
namespace {

const DesktopServices* process_services() {
    return static_cast<const DesktopServices*>(dlsym(RTLD_DEFAULT, kDesktopServicesSymbol));
}

bool xdg_open_available() {
    return access("/usr/bin/xdg-open", X_OK) == 0;
}

}  // namespace

void show_message_box(const char* text) {
    if (const DesktopServices* services = process_services(); services && services->message_box) {
        services->message_box(text);
        return;
    }
    std::fprintf(stderr, "%s\n", text);
}

int shell_open(const char* path) {
    if (const DesktopServices* services = process_services(); services && services->shell_open) {
        return services->shell_open(path);
    }
    return system_shell_open(path);
}

int system_shell_open(const char* path) {
    if (!xdg_open_available()) {
        return -1;
    }
    pid_t child = 0;
    char program[] = "xdg-open";
    char* argv[] = {program, const_cast<char*>(path), nullptr};
    if (posix_spawnp(&child, program, nullptr, nullptr, argv, environ) != 0) {
        return -1;
    }
    int status = 0;
    if (waitpid(child, &status, 0) < 0) {
        return -1;
    }
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

}  // namespace platform
