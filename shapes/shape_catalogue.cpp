#include "plugin/bokeh_plugin.h"
