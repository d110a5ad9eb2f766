#include "plugin/host_suites.h"

#include <cstdio>

#include "sdk/adm_suites.h"

namespace {

constexpr const char kDefaultAcquireFailure[] = "Not able to acquire AEFX Suite.";
constexpr const char kDefaultReleaseFailure[] = "Not able to release AEFX Suite.";

struct DialogSuiteSlot {
    const char* name;
    A_long version;
    const char* load_failure;
    const char* unload_failure;
    const void* pointer;
};

// Module-level, like the host's own suite registry: held from About's start to its end.
DialogSuiteSlot dialog_suites[kDialogSuiteCount] = {
    {ADM_BASIC_SUITE_NAME, ADM_BASIC_SUITE_VERSION, "Couldn't load ADM Basic suite.",
     "Couldn't unload ADM Basic suite.", nullptr},
    {ADM_DIALOG_SUITE_NAME, ADM_DIALOG_SUITE_VERSION, "Couldn't load ADM Dialog suite.",
     "Couldn't unload ADM Dialog suite.", nullptr},
    {ADM_ITEM_SUITE_NAME, ADM_ITEM_SUITE_VERSION, "Couldn't load ADM Item suite.",
     "Couldn't unload ADM Item suite.", nullptr},
    {ADM_IMAGE_SUITE_NAME, ADM_IMAGE_SUITE_VERSION, "Couldn't load ADM Image suite.",
     "Couldn't unload ADM Image suite.", nullptr},
    {ADM_DRAWER_SUITE_NAME, ADM_DRAWER_SUITE_VERSION, "Couldn't load ADM Drawer suite.",
     "Couldn't unload ADM Drawer suite.", nullptr},
    {ADM_LIST_SUITE_NAME, ADM_LIST_SUITE_VERSION, "Couldn't load ADM List suite.",
     "Couldn't unload ADM List suite.", nullptr},
    {ADM_ENTRY_SUITE_NAME, ADM_ENTRY_SUITE_VERSION, "Couldn't load ADM Entry suite.",
     "Couldn't unload ADM Entry suite.", nullptr},
};

PF_Err report_suite_failure(PF_InData* in_data, PF_OutData* out_data, const char* message) {
    out_data->out_flags |= PF_OutFlag_DISPLAY_ERROR_MESSAGE;
    // The text is handed over as the format, the way the host's own print is asked for it.
    if (in_data->utils && in_data->utils->ansi.sprintf) {
        in_data->utils->ansi.sprintf(out_data->return_msg, message);
    } else {
        std::snprintf(out_data->return_msg, sizeof out_data->return_msg, "%s", message);
    }
    return PF_Err_BAD_CALLBACK_PARAM;
}

}  // namespace

PF_Err acquire_suite(PF_InData* in_data, PF_OutData* out_data, const char* name, A_long version,
                     const char* message, const void** suite) {
    if (in_data->pica_basicP) {
        // Only the pointer tells whether the suite exists; the call's own result does not.
        in_data->pica_basicP->AcquireSuite(name, version, suite);
        if (*suite) {
            return PF_Err_NONE;
        }
    }
    return report_suite_failure(in_data, out_data, message ? message : kDefaultAcquireFailure);
}

PF_Err release_suite(PF_InData* in_data, PF_OutData* out_data, const char* name, A_long version,
                     const char* message) {
    if (in_data->pica_basicP) {
        in_data->pica_basicP->ReleaseSuite(name, version);
        return PF_Err_NONE;
    }
    return report_suite_failure(in_data, out_data, message ? message : kDefaultReleaseFailure);
}

PF_Err load_dialog_suites(PF_InData* in_data, PF_OutData* out_data) {
    for (DialogSuiteSlot& slot : dialog_suites) {
        if (const PF_Err err = acquire_suite(in_data, out_data, slot.name, slot.version,
                                             slot.load_failure, &slot.pointer)) {
            return err;
        }
    }
    return PF_Err_NONE;
}

PF_Err unload_dialog_suites(PF_InData* in_data, PF_OutData* out_data) {
    PF_Err result = PF_Err_NONE;
    for (DialogSuiteSlot& slot : dialog_suites) {
        if (!slot.pointer) {
            continue;
        }
        result = release_suite(in_data, out_data, slot.name, slot.version, slot.unload_failure);
        if (result == PF_Err_NONE) {
            slot.pointer = nullptr;
        }
    }
    return result;
}

const void* dialog_suite(DialogSuite which) {
    return dialog_suites[static_cast<int>(which)].pointer;
}
