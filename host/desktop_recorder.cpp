#include "host/desktop_recorder.h"

#include "platform/desktop_services.h"

namespace host {

DesktopRecord& desktop_record() {
    static DesktopRecord record;
    return record;
}

}  // namespace host

namespace {

void record_message_box(const char* text) {
    host::DesktopRecord& record = host::desktop_record();
    record.message_boxes.emplace_back(text);
    if (record.on_message_box) {
        record.on_message_box(text);
    }
}

int record_shell_open(const char* path) {
    host::DesktopRecord& record = host::desktop_record();
    record.opened_documents.emplace_back(path);
    return record.shell_open_result;
}

}  // namespace

// Looked up by name from the module (platform/desktop_services.cpp).
extern "C" __attribute__((visibility("default")))
const DesktopServices quillbloom_desktop_services = {record_message_box, record_shell_open};
