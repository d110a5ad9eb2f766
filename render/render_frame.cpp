#include <cstring>

#include "plugin/bokeh_plugin.h"

namespace {

constexpr const char kNoRenderer[] = "[Quillbloom8.0] Rendering is not available in this build";

}  // namespace

// The render driver is not part of this build yet; say so rather than hand back an untouched
// output world as if it had been rendered.
PF_Err BokehPlugin::render_frame(PF_InData*, PF_OutData* out_data, PF_ParamDef*[], PF_LayerDef*) {
    std::memcpy(out_data->return_msg, kNoRenderer, sizeof kNoRenderer);
    return PF_Err_INVALID_INDEX;
}
