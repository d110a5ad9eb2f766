/* Our declarations of the host's effect protocol: commands, records, callbacks and codes. */
#ifndef QB_SDK_EFFECT_SDK_H
#define QB_SDK_EFFECT_SDK_H

#include "sdk/pf_param.h"
#include "sdk/pf_records.h"
#include "sdk/pf_suites.h"
#include "sdk/pf_types.h"
#include "sdk/pf_world.h"

#endif
