#include "session/menu_controls.h"

#include <cstddef>
#include <string>
#include <vector>

namespace session {

RenderSettings settings_of_controls(const MenuControls& controls,
                                    const EffectDeclarations& declarations) {
    RenderSettings settings;
    const std::vector<std::string>& shapes = declarations.iris_shape.entries;
    if (controls.shape_position >= 0 &&
        static_cast<std::size_t>(controls.shape_position) < shapes.size()) {
        settings.shape = shapes[static_cast<std::size_t>(controls.shape_position)];
    }
    settings.focus = controls.focus_distance;
    settings.amount = controls.bokeh_amount;
    settings.hardness = controls.hardness;
    settings.brightness = controls.brightness;
    settings.quality = std::to_string(controls.quality_position);
    settings.precision = controls.distance_precision;
    if (controls.alpha_bokeh) {
        settings.alpha_bokeh = true;
        settings.alpha_bokeh_value = *controls.alpha_bokeh;
    }
    return settings;
}

}  // namespace session
