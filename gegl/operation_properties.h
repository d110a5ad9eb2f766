// The operation's properties: every control of the effect, labelled with the control's own name
// and carrying the range, default and menu the module declared, plus the focus point that
// stands for clicking "Focus Here". Values live in plain fields of the operation object, since
// GObject allocates it; `render_settings` turns them into one render's settings.
#ifndef QB_GEGL_OPERATION_PROPERTIES_H
#define QB_GEGL_OPERATION_PROPERTIES_H

#include <gegl-plugin.h>

#include "session/effect_declarations.h"
#include "session/render_settings.h"

namespace qb_gegl {

enum PropertyId : guint {
    kPropertyShape = 1,
    kPropertyFocusDistance,
    kPropertyFocusX,
    kPropertyFocusY,
    kPropertyBokehAmount,
    kPropertyHardness,
    kPropertyBrightness,
    kPropertyQuality,
    kPropertyDistancePrecision,
    kPropertyAlphaBokeh,
    kPropertyAlphaBokehValue,
};

struct PropertyValues {
    gint shape;  // position in the shape menu, from 0
    gdouble focus_distance;
    gdouble focus_x;  // layer pixels; negative: no focus point
    gdouble focus_y;
    gdouble bokeh_amount;
    gdouble hardness;
    gdouble brightness;
    gint quality;  // menu position, from 1 as the module counts
    gint distance_precision;
    gboolean alpha_bokeh;
    gdouble alpha_bokeh_value;
};

// The enumerations of the two menus, registered with the module that holds the operation.
struct MenuTypes {
    GType shape = 0;
    GType quality = 0;
};

MenuTypes register_menu_types(GTypeModule* module, const session::EffectDeclarations& declarations);

void install_properties(GObjectClass* object_class, const session::EffectDeclarations& declarations,
                        const MenuTypes& menus);

void set_property_value(PropertyValues& values, guint id, const GValue* value);
void get_property_value(const PropertyValues& values, guint id, GValue* value);

// The settings of a render of a layer of `layer_width` x `layer_height` pixels (at full
// resolution) at mipmap `level`. The focus point counts only with a Distance Layer, the only
// place a distance can be picked from. Throws session::SessionError for a focus point outside the
// layer.
session::RenderSettings render_settings(const PropertyValues& values,
                                        const session::EffectDeclarations& declarations,
                                        int layer_width, int layer_height, bool with_distance,
                                        int level);

}  // namespace qb_gegl

#endif
