/* The command dispatch behind the exported `main`, callable from C. */
#ifndef QB_PLUGIN_EFFECT_ENTRY_H
#define QB_PLUGIN_EFFECT_ENTRY_H

#include "sdk/effect_sdk.h"

#ifdef __cplusplus
extern "C" {
#endif

PF_Err quillbloom_effect_main(PF_Cmd cmd, PF_InData* in_data, PF_OutData* out_data,
                              PF_ParamDef* params[], PF_LayerDef* output, void* extra);

#ifdef __cplusplus
}
#endif

#endif
