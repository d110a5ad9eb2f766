// The desktop as the emulated host offers it to the module: message boxes and shell opens are
// recorded instead of shown, so a test or a tool can read them back. A program that links the
// host library exports the services the module looks for (link it with ENABLE_EXPORTS).
#ifndef QB_HOST_DESKTOP_RECORDER_H
#define QB_HOST_DESKTOP_RECORDER_H

#include <functional>
#include <string>
#include <vector>

namespace host {

struct DesktopRecord {
    std::vector<std::string> message_boxes;
    std::vector<std::string> opened_documents;
    // What a shell open answers; zero means a handler took the document.
    int shell_open_result = 0;
    // Called for every message box as well as recording it (a tool prints it to standard error).
    std::function<void(const std::string&)> on_message_box;
};

// The one record of this process.
DesktopRecord& desktop_record();

}  // namespace host

#endif
