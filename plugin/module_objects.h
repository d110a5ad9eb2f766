// The module-wide objects: one plug-in object and one engine for every instance of the effect,
// constructed on first use and living until the module is unloaded.
#ifndef QB_PLUGIN_MODULE_OBJECTS_H
#define QB_PLUGIN_MODULE_OBJECTS_H

class BokehPlugin;
class BokehEngine;

BokehPlugin& the_plugin();
BokehEngine& the_engine();

#endif
