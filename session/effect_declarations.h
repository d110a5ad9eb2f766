// The effect's controls as the module declares them. A front end that shows the controls in a
// host of its own (the GEGL operation, the OpenFX bundle) learns them once, when its host
// registers it, so that each takes its range, default and menu from the module and none is
// written down a second time.
#ifndef QB_SESSION_EFFECT_DECLARATIONS_H
#define QB_SESSION_EFFECT_DECLARATIONS_H

#include <filesystem>
#include <string>
#include <vector>

#include "host/emulated_host.h"
#include "sdk/effect_sdk.h"

namespace session {

struct SliderDeclaration {
    double valid_min = 0.0;
    double valid_max = 0.0;
    double slider_min = 0.0;
    double slider_max = 0.0;
    double default_value = 0.0;
    int decimals = 0;  // shown after the point
};

struct MenuDeclaration {
    std::vector<std::string> entries;
    int default_position = 0;  // 1-based; 0: the module names no default
};

struct EffectDeclarations {
    MenuDeclaration iris_shape;
    SliderDeclaration focus_distance;
    SliderDeclaration bokeh_amount;
    SliderDeclaration hardness;
    SliderDeclaration brightness;
    MenuDeclaration quality;
    SliderDeclaration distance_precision;
    SliderDeclaration alpha_bokeh;
};

// Global and parameter set-up of the module behind `entry`, told it lives at `module`, with the
// option file that adds the Alpha bokeh control. Throws SessionError when the plug-in
// folder cannot be viewed with that option or a set-up command fails.
EffectDeclarations learn_declarations(PF_EffectMain entry, const std::filesystem::path& module);

// Every control the module behind `entry` declares, in order, as `quillbloom controls` lists them
// (without the option file). Throws SessionError when a set-up command fails.
std::vector<host::DeclaredParam> declared_controls(PF_EffectMain entry,
                                                   const std::filesystem::path& module);

}  // namespace session

#endif
