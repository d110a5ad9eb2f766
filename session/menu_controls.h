// The effect's controls as a front end with menus and sliders of its own holds them (GEGL
// properties, OpenFX parameters): menus by position, values as set. One place turns them into
// a render's settings, so that every such front end names shapes and menu entries alike.
#ifndef QB_SESSION_MENU_CONTROLS_H
#define QB_SESSION_MENU_CONTROLS_H

#include <optional>

#include "session/effect_declarations.h"
#include "session/render_settings.h"

namespace session {

struct MenuControls {
    int shape_position = 0;    // in the Iris Shape menu, from 0
    int quality_position = 1;  // in the Quality menu, from 1 as the module counts
    double focus_distance = 0.0;
    double bokeh_amount = 0.0;
    double hardness = 0.0;
    double brightness = 0.0;
    double distance_precision = 0.0;
    std::optional<double> alpha_bokeh;  // set: alpha bokeh, at this value
};

// The settings of a render with these controls; a shape position the menu does not have leaves
// the module's own shape.
RenderSettings settings_of_controls(const MenuControls& controls,
                                    const EffectDeclarations& declarations);

}  // namespace session

#endif
