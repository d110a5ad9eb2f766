// Placeholders for handlers whose subsystems are being built; each is deleted from here when its
// real definition lands.
#include "plugin/bokeh_plugin.h"

void BokehPlugin::global_setup(PF_InData*, PF_OutData*) {}

PF_Err BokehPlugin::params_setup(PF_InData*, PF_OutData*) {
    return PF_Err_NONE;
}

PF_Err BokehPlugin::about(PF_InData*, PF_OutData*) {
    return PF_Err_NONE;
}

void BokehPlugin::list_shape_folders(char*, int*) {}
