// How an engine failure reaches the host.
#ifndef QB_PLUGIN_ENGINE_ERRORS_H
#define QB_PLUGIN_ENGINE_ERRORS_H

#include <cstdint>

#include "sdk/effect_sdk.h"

// The host code for the engine's `error_code` after a pass: none for 0, a cancel for 1, out of
// memory for the stages' allocation failures (2 to 18), a request error for anything else.
PF_Err host_error_of_engine(int32_t code);

#endif
