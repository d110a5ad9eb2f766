// What the rest of the plug-in reads from the controls' one table.
#ifndef QB_PLUGIN_EFFECT_PARAMS_H
#define QB_PLUGIN_EFFECT_PARAMS_H

#include "plugin/bokeh_plugin.h"

// `value` clamped into the valid range the slider at `index` declares. A host keeps values
// inside it; a value from anywhere else must not reach the light curve.
A_long within_valid_range(int BokehPlugin::*index, A_long value);

#endif
