#include "gegl/operation_properties.h"

#include <fmt/format.h>

#include <cctype>
#include <cmath>
#include <string>
#include <vector>

#include "sdk/effect_controls.h"
#include "session/menu_controls.h"
#include "session/session_error.h"

namespace qb_gegl {
namespace {

constexpr GParamFlags kPropertyFlags =
    static_cast<GParamFlags>(G_PARAM_READWRITE | G_PARAM_CONSTRUCT | GEGL_PARAM_PAD_INPUT);

// A focus point coordinate below zero means that no point is chosen.
constexpr double kNoFocusPoint = -1.0;
// The sliders of the focus point end here; the property itself takes any point.
constexpr double kFocusPointSliderEnd = 8192.0;

// Stands in for the shape menu when the plug-in folder holds no shape: an enumeration needs a
// value, and a render with it fails with the module's own message about the missing shape.
constexpr const char kNoShapeName[] = "(no iris shape found)";
constexpr const char kNoShapeNick[] = "none";

// "Auto (Speed)" becomes "auto-speed": a nick one can type on a command line.
std::string nick_of(const std::string& text) {
    std::string nick;
    for (const char c : text) {
        if (std::isalnum(static_cast<unsigned char>(c))) {
            nick += static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
        } else if (!nick.empty() && nick.back() != '-') {
            nick += '-';
        }
    }
    while (!nick.empty() && nick.back() == '-') {
        nick.pop_back();
    }
    return nick;
}

struct MenuEntry {
    std::string name;
    std::string nick;
};

// GObject keeps the values and their texts for as long as the process runs, so they are never
// freed, not even when the process ends. They are made once and handed over at every load.
GType register_menu(GTypeModule* module, const char* type_name,
                    const std::vector<MenuEntry>& entries, int first_value,
                    std::vector<GEnumValue>& values) {
    if (values.empty()) {
        for (std::size_t i = 0; i < entries.size(); ++i) {
            values.push_back({first_value + static_cast<gint>(i), g_strdup(entries[i].name.c_str()),
                              g_strdup(entries[i].nick.c_str())});
        }
        values.push_back({0, nullptr, nullptr});
    }
    return g_type_module_register_enum(module, type_name, values.data());
}

void install(GObjectClass* object_class, PropertyId id, GParamSpec* spec) {
    g_object_class_install_property(object_class, id, spec);
}

GParamSpec* slider(const char* name, const char* label, const char* description,
                   const session::SliderDeclaration& declared) {
    GParamSpec* spec = gegl_param_spec_double(
        name, label, description, declared.valid_min, declared.valid_max, declared.default_value,
        declared.slider_min, declared.slider_max, 1.0, kPropertyFlags);
    const double small_step = std::pow(10.0, -declared.decimals);
    gegl_param_spec_double_set_steps(GEGL_PARAM_SPEC_DOUBLE(spec), small_step, 10 * small_step);
    gegl_param_spec_double_set_digits(GEGL_PARAM_SPEC_DOUBLE(spec), declared.decimals);
    return spec;
}

GParamSpec* focus_coordinate(const char* name, const char* label, const char* axis) {
    GParamSpec* spec = gegl_param_spec_double(
        name, label,
        "With a Distance Layer, On-Focus Distance becomes the distance under this pixel, as a "
        "click on Focus Here does; negative: not used",
        kNoFocusPoint, G_MAXDOUBLE, kNoFocusPoint, kNoFocusPoint, kFocusPointSliderEnd, 1.0,
        kPropertyFlags);
    gegl_param_spec_set_property_key(spec, "unit", "pixel-coordinate");
    gegl_param_spec_set_property_key(spec, "axis", axis);
    return spec;
}

int position_or_first(int position) {
    return position > 0 ? position : 1;
}

}  // namespace

MenuTypes register_menu_types(GTypeModule* module,
                              const session::EffectDeclarations& declarations) {
    static auto* const shape_values = new std::vector<GEnumValue>;
    static auto* const quality_values = new std::vector<GEnumValue>;
    // Shapes keep their folder names as nicks: that is how the tool names them too.
    std::vector<MenuEntry> shapes;
    for (const std::string& folder : declarations.iris_shape.entries) {
        shapes.push_back({folder, folder});
    }
    if (shapes.empty()) {
        shapes.push_back({kNoShapeName, kNoShapeNick});
    }
    std::vector<MenuEntry> qualities;
    for (const std::string& text : declarations.quality.entries) {
        qualities.push_back({text, nick_of(text)});
    }
    return {register_menu(module, "QuillbloomIrisShape", shapes, 0, *shape_values),
            register_menu(module, "QuillbloomQuality", qualities, 1, *quality_values)};
}

void install_properties(GObjectClass* object_class, const session::EffectDeclarations& declarations,
                        const MenuTypes& menus) {
    install(object_class, kPropertyShape,
            gegl_param_spec_enum(
                "shape", effect_controls::kIrisShape,
                "The lens iris: one of the shape folders in the plug-in folder's pattern folder",
                menus.shape, position_or_first(declarations.iris_shape.default_position) - 1,
                kPropertyFlags));
    install(object_class, kPropertyFocusDistance,
            slider("focus-distance", effect_controls::kFocusDistance,
                   "The distance that stays sharp, in the Distance Layer's values (0 to 255)",
                   declarations.focus_distance));
    install(object_class, kPropertyFocusX, focus_coordinate("focus-x", "Focus Here X", "x"));
    install(object_class, kPropertyFocusY, focus_coordinate("focus-y", "Focus Here Y", "y"));
    install(object_class, kPropertyBokehAmount,
            slider("bokeh-amount", effect_controls::kBokehAmount,
                   "How strongly out-of-focus pixels are blurred: the farthest pixel gets a disc "
                   "this many pixels across, plus one",
                   declarations.bokeh_amount));
    install(object_class, kPropertyHardness,
            slider("hardness", effect_controls::kHardness,
                   "Contrast of the light curve: higher values make highlights bloom into "
                   "distinct iris shapes",
                   declarations.hardness));
    install(object_class, kPropertyBrightness,
            slider("brightness", effect_controls::kBrightness,
                   "Multiplies the light before it is turned back into pixel values",
                   declarations.brightness));
    install(object_class, kPropertyQuality,
            gegl_param_spec_enum(
                "quality", effect_controls::kQuality,
                "How faithfully the soft edges of the iris shape are kept", menus.quality,
                position_or_first(declarations.quality.default_position), kPropertyFlags));
    const session::SliderDeclaration& precision = declarations.distance_precision;
    install(object_class, kPropertyDistancePrecision,
            gegl_param_spec_int(
                "distance-precision", effect_controls::kDistancePrecision,
                "How finely distances are cut into steps: higher values give "
                "smoother changes of blur with depth and take longer",
                static_cast<gint>(precision.valid_min), static_cast<gint>(precision.valid_max),
                static_cast<gint>(precision.default_value), static_cast<gint>(precision.slider_min),
                static_cast<gint>(precision.slider_max), 1.0, kPropertyFlags));
    install(object_class, kPropertyAlphaBokeh,
            g_param_spec_boolean("alpha-bokeh", "Blur Opacity",
                                 "Spread the layer's opacity into discs like its colours, so "
                                 "transparent areas and cut-out edges blur too",
                                 FALSE, kPropertyFlags));
    GParamSpec* alpha_value =
        slider("alpha-bokeh-value", effect_controls::kAlphaBokeh,
               "With Blur Opacity: scales the opacity before it is spread and divides the blurred "
               "opacity by it again, so it sets how solid blurred edges look",
               declarations.alpha_bokeh);
    gegl_param_spec_set_property_key(alpha_value, "sensitive", "alpha-bokeh");
    install(object_class, kPropertyAlphaBokehValue, alpha_value);
}

void set_property_value(PropertyValues& values, guint id, const GValue* value) {
    switch (id) {
        case kPropertyShape:
            values.shape = g_value_get_enum(value);
            break;
        case kPropertyFocusDistance:
            values.focus_distance = g_value_get_double(value);
            break;
        case kPropertyFocusX:
            values.focus_x = g_value_get_double(value);
            break;
        case kPropertyFocusY:
            values.focus_y = g_value_get_double(value);
            break;
        case kPropertyBokehAmount:
            values.bokeh_amount = g_value_get_double(value);
            break;
        case kPropertyHardness:
            values.hardness = g_value_get_double(value);
            break;
        case kPropertyBrightness:
            values.brightness = g_value_get_double(value);
            break;
        case kPropertyQuality:
            values.quality = g_value_get_enum(value);
            break;
        case kPropertyDistancePrecision:
            values.distance_precision = g_value_get_int(value);
            break;
        case kPropertyAlphaBokeh:
            values.alpha_bokeh = g_value_get_boolean(value);
            break;
        case kPropertyAlphaBokehValue:
            values.alpha_bokeh_value = g_value_get_double(value);
            break;
        default:
            break;
    }
}

void get_property_value(const PropertyValues& values, guint id, GValue* value) {
    switch (id) {
        case kPropertyShape:
            g_value_set_enum(value, values.shape);
            break;
        case kPropertyFocusDistance:
            g_value_set_double(value, values.focus_distance);
            break;
        case kPropertyFocusX:
            g_value_set_double(value, values.focus_x);
            break;
        case kPropertyFocusY:
            g_value_set_double(value, values.focus_y);
            break;
        case kPropertyBokehAmount:
            g_value_set_double(value, values.bokeh_amount);
            break;
        case kPropertyHardness:
            g_value_set_double(value, values.hardness);
            break;
        case kPropertyBrightness:
            g_value_set_double(value, values.brightness);
            break;
        case kPropertyQuality:
            g_value_set_enum(value, values.quality);
            break;
        case kPropertyDistancePrecision:
            g_value_set_int(value, values.distance_precision);
            break;
        case kPropertyAlphaBokeh:
            g_value_set_boolean(value, values.alpha_bokeh);
            break;
        case kPropertyAlphaBokehValue:
            g_value_set_double(value, values.alpha_bokeh_value);
            break;
        default:
            break;
    }
}

session::RenderSettings render_settings(const PropertyValues& values,
                                        const session::EffectDeclarations& declarations,
                                        int layer_width, int layer_height, bool with_distance,
                                        int level) {
    session::MenuControls controls;
    controls.shape_position = values.shape;
    controls.quality_position = values.quality;
    controls.focus_distance = values.focus_distance;
    controls.bokeh_amount = values.bokeh_amount;
    controls.hardness = values.hardness;
    controls.brightness = values.brightness;
    controls.distance_precision = values.distance_precision;
    if (values.alpha_bokeh) {
        controls.alpha_bokeh = values.alpha_bokeh_value;
    }
    session::RenderSettings settings = session::settings_of_controls(controls, declarations);
    const bool focus_point = values.focus_x >= 0.0 && values.focus_y >= 0.0;
    if (with_distance && focus_point) {
        if (values.focus_x >= layer_width || values.focus_y >= layer_height) {
            session::fail_input(
                fmt::format("the focus point {:g},{:g} lies outside the {}x{} layer",
                            values.focus_x, values.focus_y, layer_width, layer_height));
        }
        settings.focus_at = session::PointXY{values.focus_x, values.focus_y};
    }
    settings.downsample = 1 << level;
    return settings;
}

}  // namespace qb_gegl
