// The emulated host's dialog suites. Nothing is drawn: a modal dialog is built by the module's
// initialisation, recorded, then "used" by a scripted list of button presses, and closes when a
// button's action ends it or the script runs out. Alerts are recorded instead of shown.
//
// The suites' functions are plain C with no context argument, so their state is one record per
// process, like the desktop recorder's; a host or test clears it before driving a command.
#ifndef QB_HOST_DIALOG_SUITES_H
#define QB_HOST_DIALOG_SUITES_H

#include <deque>
#include <functional>
#include <span>
#include <string>
#include <vector>

#include "sdk/adm_suites.h"

namespace host {

// What run_modal answers when the presses ran out and the user closed the window instead.
inline constexpr A_long kDialogClosedByWindow = 0;

struct DialogItemRecord {
    A_long id = 0;
    std::string type;
    ADMRect bounds = {};
    std::string text;
    bool has_action = false;
};

struct DialogRecord {
    std::string name;
    std::string title;
    A_long width = 0;
    A_long height = 0;
    std::vector<DialogItemRecord> items;
    // False when the module's initialisation refused the dialog, so nothing was shown.
    bool shown = false;
    // Every press the dialog received, including presses on ids it does not have.
    std::vector<A_long> presses;
    // What run_modal answered.
    A_long result = ADM_NO_DIALOG;

    // The item with this id, or null.
    const DialogItemRecord* item(A_long id) const;
};

struct DialogHost {
    // Buttons the user presses, in order; every modal dialog takes presses from the front until
    // one of them ends it.
    std::deque<A_long> button_presses;
    std::vector<DialogRecord> dialogs;
    std::vector<std::string> alerts;
    // Called for every alert as well as recording it (a tool prints it).
    std::function<void(const std::string&)> on_alert;

    // Forgets every record and press; keeps on_alert.
    void clear();
};

// The one dialog host of this process.
DialogHost& dialog_host();

struct DialogSuiteEntry {
    const char* name;
    A_long version;
    const void* table;
};

// The seven dialog suites, in the order the About box acquires them, for registering with the
// host's basic suite.
std::span<const DialogSuiteEntry> dialog_suite_entries();

class EmulatedHost;

// Registers the seven with `host`'s basic suite.
void register_dialog_suites(EmulatedHost& host);

}  // namespace host

#endif
