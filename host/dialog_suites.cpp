#include "host/dialog_suites.h"

#include "host/emulated_host.h"

#include <memory>
#include <utility>

// The host's side of the opaque references the suites hand to a module.
struct ADMItem {
    ADMDialog* dialog;
    std::size_t record_index;
    ADMItemNotifyProc notify = nullptr;
};

struct ADMDialog {
    // An index, not a pointer: a dialog opened from a button's action appends to the records.
    std::size_t record_index;
    void* user_data;
    std::vector<std::unique_ptr<ADMItem>> items;
    bool ended = false;
    A_long end_id = 0;
};

namespace host {

const DialogItemRecord* DialogRecord::item(A_long id) const {
    for (const DialogItemRecord& candidate : items) {
        if (candidate.id == id) {
            return &candidate;
        }
    }
    return nullptr;
}

void DialogHost::clear() {
    button_presses.clear();
    dialogs.clear();
    alerts.clear();
}

DialogHost& dialog_host() {
    static DialogHost dialog_host;
    return dialog_host;
}

namespace {

DialogRecord& record_of(const ADMDialog* dialog) {
    return dialog_host().dialogs[dialog->record_index];
}

DialogItemRecord& record_of(const ADMItem* item) {
    return record_of(item->dialog).items[item->record_index];
}

ADMItem* find_item(ADMDialog& dialog, A_long id) {
    for (const std::unique_ptr<ADMItem>& item : dialog.items) {
        if (record_of(item.get()).id == id) {
            return item.get();
        }
    }
    return nullptr;
}

void alert(const char* text) {
    DialogHost& host = dialog_host();
    host.alerts.emplace_back(text);
    if (host.on_alert) {
        host.on_alert(text);
    }
}

// The user works the dialog: presses buttons until one of them ends it, or, when the script
// runs out first, closes the window.
A_long run_presses(ADMDialog& dialog) {
    DialogHost& host = dialog_host();
    while (!dialog.ended && !host.button_presses.empty()) {
        const A_long pressed = host.button_presses.front();
        host.button_presses.pop_front();
        record_of(&dialog).presses.push_back(pressed);
        if (ADMItem* item = find_item(dialog, pressed); item && item->notify) {
            item->notify(item);
        }
    }
    return dialog.ended ? dialog.end_id : kDialogClosedByWindow;
}

A_long run_modal(const char* name, ADMDialogInitProc init, void* user_data) {
    DialogHost& host = dialog_host();
    DialogRecord record;
    record.name = name ? name : "";
    host.dialogs.push_back(std::move(record));
    ADMDialog dialog{host.dialogs.size() - 1, user_data, {}};
    const bool accepted = init && init(&dialog) != 0;
    record_of(&dialog).shown = accepted;
    const A_long result = accepted ? run_presses(dialog) : ADM_NO_DIALOG;
    record_of(&dialog).result = result;
    return result;
}

void* get_user_data(ADMDialogRef dialog) {
    return dialog ? dialog->user_data : nullptr;
}

void set_size(ADMDialogRef dialog, A_long width, A_long height) {
    if (dialog) {
        record_of(dialog).width = width;
        record_of(dialog).height = height;
    }
}

void set_title(ADMDialogRef dialog, const char* title) {
    if (dialog && title) {
        record_of(dialog).title = title;
    }
}

void end_modal(ADMDialogRef dialog, A_long item_id) {
    if (dialog) {
        dialog->ended = true;
        dialog->end_id = item_id;
    }
}

bool known_item_type(const std::string& type) {
    return type == ADM_TEXT_PUSH_BUTTON_TYPE || type == ADM_TEXT_STATIC_TYPE;
}

ADMItemRef create_item(ADMDialogRef dialog, A_long item_id, const char* item_type,
                       const ADMRect* bounds) {
    if (!dialog || !item_type || !bounds || !known_item_type(item_type)) {
        return nullptr;
    }
    DialogRecord& record = record_of(dialog);
    DialogItemRecord item;
    item.id = item_id;
    item.type = item_type;
    item.bounds = *bounds;
    record.items.push_back(std::move(item));
    dialog->items.push_back(std::make_unique<ADMItem>(ADMItem{dialog, record.items.size() - 1}));
    return dialog->items.back().get();
}

ADMDialogRef get_dialog(ADMItemRef item) {
    return item ? item->dialog : nullptr;
}

A_long get_id(ADMItemRef item) {
    return item ? record_of(item).id : 0;
}

void set_text(ADMItemRef item, const char* text) {
    if (item && text) {
        record_of(item).text = text;
    }
}

void set_notify_proc(ADMItemRef item, ADMItemNotifyProc notify) {
    if (item) {
        item->notify = notify;
        record_of(item).has_action = notify != nullptr;
    }
}

constexpr ADMBasicSuite2 kBasicSuite = {alert};
constexpr ADMDialogSuite5 kDialogSuite = {run_modal, get_user_data, set_size, set_title, end_modal};
constexpr ADMItemSuite4 kItemSuite = {create_item, get_dialog, get_id, set_text, set_notify_proc};

// The suites a module holds without calling: any distinct non-null table will do.
constexpr char kImageSuite = 0;
constexpr char kDrawerSuite = 0;
constexpr char kListSuite = 0;
constexpr char kEntrySuite = 0;

constexpr DialogSuiteEntry kDialogSuites[] = {
    {ADM_BASIC_SUITE_NAME, ADM_BASIC_SUITE_VERSION, &kBasicSuite},
    {ADM_DIALOG_SUITE_NAME, ADM_DIALOG_SUITE_VERSION, &kDialogSuite},
    {ADM_ITEM_SUITE_NAME, ADM_ITEM_SUITE_VERSION, &kItemSuite},
    {ADM_IMAGE_SUITE_NAME, ADM_IMAGE_SUITE_VERSION, &kImageSuite},
    {ADM_DRAWER_SUITE_NAME, ADM_DRAWER_SUITE_VERSION, &kDrawerSuite},
    {ADM_LIST_SUITE_NAME, ADM_LIST_SUITE_VERSION, &kListSuite},
    {ADM_ENTRY_SUITE_NAME, ADM_ENTRY_SUITE_VERSION, &kEntrySuite},
};

}  // namespace

std::span<const DialogSuiteEntry> dialog_suite_entries() {
    return kDialogSuites;
}

void register_dialog_suites(EmulatedHost& host) {
    for (const DialogSuiteEntry& suite : kDialogSuites) {
        host.register_suite(suite.name, suite.version, suite.table);
    }
}

}  // namespace host
