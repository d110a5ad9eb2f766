#include "plugin/about_box.h"

#include <cstdio>

#include "platform/desktop_services.h"
#include "platform/file_system.h"
#include "plugin/host_suites.h"
#include "sdk/adm_suites.h"
#include "sdk/effect_messages.h"

namespace {

constexpr const char kDialogName[] = "About Quillbloom8.0";
constexpr A_long kDialogWidth = 400;
constexpr A_long kDialogHeight = 495;

constexpr A_long kOkItem = 1;
constexpr A_long kHelpItem = 3;
constexpr A_long kCreditsItem = 6;
constexpr ADMRect kOkBounds = {330, 460, 390, 485};
constexpr ADMRect kHelpBounds = {260, 460, 320, 485};
constexpr ADMRect kCreditsBounds = {10, 310, 390, 400};

constexpr const char kCredits[] =
    "Quillbloom8.0 reads its iris shapes with libtiff and runs its parallel work on the OpenMP "
    "runtime of GCC (libgomp). The quillbloom command-line tool reads and writes images with "
    "OpenImageIO, takes its options with CLI11 and formats its text with fmt. Our thanks to the "
    "authors of these libraries.";

// Shown in the About box's own alert, not handed to the host with an error code, and kept word
// for word as earlier releases showed it, so that users and support searching for it find it.
constexpr const char kHelpNotFound[] = "Glimmerdeep: Help file not found";
constexpr const char kNoHelpHandler[] =
    QB_MESSAGE "No application could open the help page. Open it in a web browser: ";

const ADMBasicSuite2* held_basic_suite() {
    return static_cast<const ADMBasicSuite2*>(dialog_suite(DialogSuite::basic));
}

const ADMDialogSuite5* held_dialog_suite() {
    return static_cast<const ADMDialogSuite5*>(dialog_suite(DialogSuite::dialog));
}

const ADMItemSuite4* held_item_suite() {
    return static_cast<const ADMItemSuite4*>(dialog_suite(DialogSuite::item));
}

// The box is only ever opened with the basic suite held; the message box is a fallback so that
// a host that lost it mid-dialog still tells the user something.
void alert(const char* text) {
    if (const ADMBasicSuite2* basic = held_basic_suite(); basic && basic->alert) {
        basic->alert(text);
        return;
    }
    platform::show_message_box(text);
}

void close_dialog(ADMItemRef item) {
    const ADMItemSuite4* items = held_item_suite();
    const ADMDialogSuite5* dialogs = held_dialog_suite();
    if (items && dialogs) {
        dialogs->end_modal(items->get_dialog(item), items->get_id(item));
    }
}

void help_pressed(ADMItemRef item) {
    const ADMItemSuite4* items = held_item_suite();
    const ADMDialogSuite5* dialogs = held_dialog_suite();
    if (!items || !dialogs) {
        return;
    }
    const auto* box = static_cast<const AboutBox*>(dialogs->get_user_data(items->get_dialog(item)));
    if (box) {
        box->open_help();
    }
}

bool add_item(ADMDialogRef dialog, A_long id, const char* type, const ADMRect& bounds,
              const char* text, ADMItemNotifyProc action) {
    const ADMItemSuite4* items = held_item_suite();
    ADMItemRef item = items->create(dialog, id, type, &bounds);
    if (!item) {
        return false;
    }
    items->set_text(item, text);
    if (action) {
        items->set_notify_proc(item, action);
    }
    return true;
}

A_long build_dialog(ADMDialogRef dialog) {
    const ADMDialogSuite5* dialogs = held_dialog_suite();
    if (!dialogs || !held_item_suite()) {
        return 0;
    }
    dialogs->set_size(dialog, kDialogWidth, kDialogHeight);
    dialogs->set_title(dialog, kDialogName);
    const bool built =
        add_item(dialog, kOkItem, ADM_TEXT_PUSH_BUTTON_TYPE, kOkBounds, "OK", close_dialog) &&
        add_item(dialog, kHelpItem, ADM_TEXT_PUSH_BUTTON_TYPE, kHelpBounds, "Help", help_pressed) &&
        add_item(dialog, kCreditsItem, ADM_TEXT_STATIC_TYPE, kCreditsBounds, kCredits, nullptr);
    return built ? 1 : 0;
}

}  // namespace

AboutBox::AboutBox(PF_InData* in_data, PF_OutData* out_data, const char* plugin_folder)
    : in_data_(in_data), out_data_(out_data) {
    std::snprintf(plugin_folder_, sizeof plugin_folder_, "%s", plugin_folder);
}

void AboutBox::show() {
    // On failure the suite layer has already put its message into out_data; the suites it did
    // get are released below all the same.
    if (load_dialog_suites(in_data_, out_data_) == PF_Err_NONE) {
        if (const ADMDialogSuite5* dialogs = held_dialog_suite()) {
            dialogs->run_modal(kDialogName, build_dialog, this);
        }
    }
    unload_dialog_suites(in_data_, out_data_);
}

void AboutBox::open_help() const {
    char path[kPathBufferSize];
    const int length = std::snprintf(path, sizeof path, "%s%chelp%cindex.html", plugin_folder_,
                                     platform::kPathSeparator, platform::kPathSeparator);
    // A path cut short by the buffer would name some other file: treat it as missing.
    const bool fits = length >= 0 && length < static_cast<int>(sizeof path);
    if (plugin_folder_[0] == '\0' || !fits || !platform::file_readable(path)) {
        alert(kHelpNotFound);
        return;
    }
    if (platform::shell_open(path) != 0) {
        char text[sizeof kNoHelpHandler + kPathBufferSize];
        std::snprintf(text, sizeof text, "%s%s", kNoHelpHandler, path);
        alert(text);
    }
}

PF_Err BokehPlugin::about(PF_InData* in_data, PF_OutData* out_data) {
    // A host may ask for the About box before global set-up; without the plug-in folder the Help
    // button would look for the page at the root of the file system. The render finds the
    // folder the same way when it comes first. A host that cannot say where the module is
    // leaves the folder empty, and Help then reports the page missing.
    if (plugin_folder[0] == '\0') {
        global_setup(in_data, out_data);
    }
    AboutBox box(in_data, out_data, plugin_folder);
    box.show();
    return PF_Err_NONE;
}
