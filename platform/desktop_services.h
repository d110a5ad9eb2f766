// The desktop services the module shows things through: a modal message box and the shell's
// "open" action. A process that hosts the module (the emulated host, a test) may provide its own
// by exporting a `DesktopServices` record under kDesktopServicesSymbol; the module looks for it
// at each use, and falls back to standard error and xdg-open when the process offers none.
#ifndef QB_PLATFORM_DESKTOP_SERVICES_H
#define QB_PLATFORM_DESKTOP_SERVICES_H

extern "C" {
struct DesktopServices {
    void (*message_box)(const char* text);
    // Zero when a handler took the document.
    int (*shell_open)(const char* path);
};
}

inline constexpr const char* kDesktopServicesSymbol = "quillbloom_desktop_services";

namespace platform {

// Shows `text` with an OK button and returns when it is dismissed.
void show_message_box(const char* text);

// Asks the system's default handler to open `path`; zero on success.
int shell_open(const char* path);

// The system's own default handler (xdg-open), even in a process that records shell opens;
// zero on success.
int system_shell_open(const char* path);

}  // namespace platform

#endif
