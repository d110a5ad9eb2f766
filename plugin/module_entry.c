/* The module's only exported function. It lives in its own C file because the host looks it up
 * by the name `main`, which C++ reserves for programs. */
#include "plugin/effect_entry.h"

__attribute__((visibility("default"))) PF_Err main(PF_Cmd cmd, PF_InData* in_data,
                                                   PF_OutData* out_data, PF_ParamDef* params[],
                                                   PF_LayerDef* output, void* extra) {
    return quillbloom_effect_main(cmd, in_data, out_data, params, output, extra);
}
