// The About box: a modal dialog built with the host's dialog suites that credits the libraries
// Quillbloom uses, with an OK button that closes it and a Help button that opens the help page
// installed beside the module.
//
// The dialog suites are held only while the box is up. Failures to get them reach the host
// through out_data (return message and the display-error flag); the About command itself always
// succeeds, since there is nothing a host could do about a missing About box.
#ifndef QB_PLUGIN_ABOUT_BOX_H
#define QB_PLUGIN_ABOUT_BOX_H

#include "plugin/bokeh_plugin.h"
#include "sdk/effect_sdk.h"

class AboutBox {
  public:
    AboutBox(PF_InData* in_data, PF_OutData* out_data, const char* plugin_folder);

    // Acquires the dialog suites, runs the dialog until it is closed and releases the suites.
    void show();

    // The Help button's action: opens help/index.html from the plug-in folder with the desktop's
    // default handler, or says in an alert why it cannot.
    void open_help() const;

  private:
    PF_InData* in_data_;
    PF_OutData* out_data_;
    char plugin_folder_[kPathBufferSize] = {};
};

#endif
