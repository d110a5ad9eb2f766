// Placeholders for handlers whose subsystems are being built; each is deleted from here when its
// real definition lands.
#include "plugin/bokeh_plugin.h"
