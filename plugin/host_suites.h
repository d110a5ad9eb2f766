// The host's named suites as the plug-in uses them: acquisition and release through the basic
// suite, and the seven dialog suites of the About box, held at module level.
//
// A failure ORs PF_OutFlag_DISPLAY_ERROR_MESSAGE into the out-flags, leaves its message (no
// prefix) in the return message and answers PF_Err_BAD_CALLBACK_PARAM. These are the only
// failures that set that flag; every other one relies on the host showing the return message.
#ifndef QB_PLUGIN_HOST_SUITES_H
#define QB_PLUGIN_HOST_SUITES_H

#include "sdk/effect_sdk.h"

// `message` may be null for the default text. `suite` is filled by the host.
PF_Err acquire_suite(PF_InData* in_data, PF_OutData* out_data, const char* name, A_long version,
                     const char* message, const void** suite);
PF_Err release_suite(PF_InData* in_data, PF_OutData* out_data, const char* name, A_long version,
                     const char* message);

// The dialog suites, in the order they are acquired and released.
enum class DialogSuite { basic, dialog, item, image, drawer, list, entry };
inline constexpr int kDialogSuiteCount = 7;

// Acquires the seven in order, stopping at the first failure, whose result it answers; the
// suites acquired before it stay held.
PF_Err load_dialog_suites(PF_InData* in_data, PF_OutData* out_data);
// Releases every held suite, going on past failures; answers the result of the last release
// attempted (0 when none was held).
PF_Err unload_dialog_suites(PF_InData* in_data, PF_OutData* out_data);

// The suite's function table while it is held, else null. Callers cast it to the table type
// the suite's name and version stand for.
const void* dialog_suite(DialogSuite which);

#endif
