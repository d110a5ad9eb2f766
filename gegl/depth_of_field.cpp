// The GEGL operation quillbloom:depth-of-field: the effect for GEGL hosts (GIMP, the gegl
// program). It runs the effect module linked into this file through the emulated host, exactly
// as the command-line tool runs it, on the whole layer with the Distance Layer from the aux pad.
//
// Every render has an effect instance and an emulated host of its own, and the module keeps no
// process-wide state, so renders of several graphs run at once; each spreads its own work over
// GEGL's thread count instead of GEGL cutting the layer into tiles. A render that fails is logged
// with the effect's message and leaves the layer as it came in.
#include <dlfcn.h>
#include <gegl-plugin.h>
#include <omp.h>

#include <algorithm>
#include <cmath>
#include <exception>
#include <new>
#include <string>

#include "gegl/operation_properties.h"
#include "gegl/pixel_transfer.h"
#include "gegl/plugin_folder.h"
#include "platform/module_path.h"
#include "plugin/effect_entry.h"
#include "sdk/effect_controls.h"
#include "session/effect_declarations.h"
#include "session/effect_session.h"
#include "session/plugin_folder_location.h"

namespace {

struct QbDepthOfField {
    GeglOperationComposer parent_instance;
    qb_gegl::PropertyValues values;
};

struct QbDepthOfFieldClass {
    GeglOperationComposerClass parent_class;
};

session::EffectDeclarations& declarations() {
    static session::EffectDeclarations learnt;
    return learnt;
}

qb_gegl::MenuTypes& menu_types() {
    static qb_gegl::MenuTypes types;
    return types;
}

}  // namespace

G_DEFINE_DYNAMIC_TYPE(QbDepthOfField, qb_depth_of_field, GEGL_TYPE_OPERATION_COMPOSER)

namespace {

QbDepthOfField* self_of(gpointer object) {
    return G_TYPE_CHECK_INSTANCE_CAST(object, qb_depth_of_field_get_type(), QbDepthOfField);
}

void set_property(GObject* object, guint id, const GValue* value, GParamSpec*) {
    qb_gegl::set_property_value(self_of(object)->values, id, value);
}

void get_property(GObject* object, guint id, GValue* value, GParamSpec*) {
    qb_gegl::get_property_value(self_of(object)->values, id, value);
}

GeglRectangle source_extent(GeglOperation* operation, const char* pad) {
    const GeglRectangle* extent = gegl_operation_source_get_bounding_box(operation, pad);
    return extent ? *extent : GeglRectangle{0, 0, 0, 0};
}

void prepare(GeglOperation* operation) {
    const Babl* layer = gegl_operation_get_source_format(operation, "input");
    const Babl* distance = gegl_operation_get_source_format(operation, "aux");
    gegl_operation_set_format(operation, "input",
                              qb_gegl::colour_format(layer, qb_gegl::render_depth(layer)));
    gegl_operation_set_format(operation, "aux",
                              qb_gegl::distance_format(distance, qb_gegl::render_depth(distance)));
    gegl_operation_set_format(operation, "output", qb_gegl::output_format(layer));
}

// The layer is one piece for the effect: its blur reaches across the whole frame in steps that
// the effect chooses from all of the Distance Layer, so every output pixel needs all of both
// inputs, and any change anywhere changes the whole output.
GeglRectangle get_bounding_box(GeglOperation* operation) {
    return source_extent(operation, "input");
}

GeglRectangle get_required_for_output(GeglOperation* operation, const gchar* pad,
                                      const GeglRectangle*) {
    return source_extent(operation, pad);
}

GeglRectangle get_invalidated_by_change(GeglOperation* operation, const gchar*,
                                        const GeglRectangle*) {
    return get_bounding_box(operation);
}

GeglRectangle get_cached_region(GeglOperation* operation, const GeglRectangle*) {
    return get_bounding_box(operation);
}

int gegl_thread_count() {
    gint threads = 1;
    g_object_get(gegl_config(), "threads", &threads, nullptr);
    return std::max(threads, 1);
}

// A rectangle of the full-resolution layer as the pixels of mipmap `level` cover it.
GeglRectangle at_level(const GeglRectangle& rect, int level) {
    const int scale = 1 << level;
    const int x0 = static_cast<int>(std::floor(static_cast<double>(rect.x) / scale));
    const int y0 = static_cast<int>(std::floor(static_cast<double>(rect.y) / scale));
    const int x1 = static_cast<int>(std::ceil(static_cast<double>(rect.x + rect.width) / scale));
    const int y1 = static_cast<int>(std::ceil(static_cast<double>(rect.y + rect.height) / scale));
    return {x0, y0, x1 - x0, y1 - y0};
}

void render(GeglOperation* operation, GeglBuffer* input, GeglBuffer* aux, GeglBuffer* output,
            const GeglRectangle& result, int level) {
    const GeglRectangle rect = at_level(result, level);
    const Babl* layer_format = gegl_operation_get_format(operation, "input");
    std::unique_ptr<host::World> layer =
        qb_gegl::read_world(input, rect, level, layer_format, qb_gegl::render_depth(layer_format));
    std::unique_ptr<host::World> distance;
    if (aux) {
        const Babl* distance_format = gegl_operation_get_format(operation, "aux");
        distance = qb_gegl::read_world(aux, at_level(source_extent(operation, "aux"), level), level,
                                       distance_format, qb_gegl::render_depth(distance_format));
    }
    const GeglRectangle full = source_extent(operation, "input");
    const session::RenderSettings settings = qb_gegl::render_settings(
        self_of(operation)->values, declarations(), full.width, full.height, aux != nullptr, level);

    omp_set_num_threads(gegl_thread_count());
    session::EffectSession session(quillbloom_effect_main, qb_gegl::effect_module_path(), settings);
    std::unique_ptr<host::World> rendered =
        session.render(*layer, distance.get(), [operation](A_long current, A_long total) {
            if (total > 0) {
                gegl_operation_progress(operation,
                                        std::clamp(static_cast<double>(current) / total, 0.0, 1.0),
                                        const_cast<gchar*>(""));
            }
            return 0;
        });
    qb_gegl::write_world(*rendered, output, rect, level, layer_format);
}

gboolean process(GeglOperation* operation, GeglBuffer* input, GeglBuffer* aux, GeglBuffer* output,
                 const GeglRectangle* result, gint level) {
    // Nothing to blur: no layer, or an empty one.
    if (!input || result->width <= 0 || result->height <= 0) {
        return TRUE;
    }
    try {
        render(operation, input, aux, output, *result, level);
        return TRUE;
    } catch (const std::bad_alloc&) {
        g_warning("not enough memory to render a %dx%d layer", result->width, result->height);
    } catch (const std::exception& error) {
        g_warning("%s", error.what());
    } catch (...) {
        g_warning("the render of a %dx%d layer failed", result->width, result->height);
    }
    qb_gegl::copy_layer(input, output, at_level(*result, level), level,
                        gegl_operation_get_format(operation, "output"));
    return TRUE;
}

}  // namespace

static void qb_depth_of_field_init(QbDepthOfField*) {}

static void qb_depth_of_field_class_finalize(QbDepthOfFieldClass*) {}

static void qb_depth_of_field_class_init(QbDepthOfFieldClass* klass) {
    GObjectClass* object_class = G_OBJECT_CLASS(klass);
    GeglOperationClass* operation_class = GEGL_OPERATION_CLASS(klass);
    GeglOperationComposerClass* composer_class = GEGL_OPERATION_COMPOSER_CLASS(klass);

    object_class->set_property = set_property;
    object_class->get_property = get_property;
    qb_gegl::install_properties(object_class, declarations(), menu_types());

    operation_class->prepare = prepare;
    operation_class->get_bounding_box = get_bounding_box;
    operation_class->get_required_for_output = get_required_for_output;
    operation_class->get_invalidated_by_change = get_invalidated_by_change;
    operation_class->get_cached_region = get_cached_region;
    operation_class->threaded = FALSE;
    composer_class->process = process;
    composer_class->aux_label = effect_controls::kDistanceLayer;
    composer_class->aux_description =
        "How far each pixel is: its red channel, or its grey, 0 (one end of the range) to the "
        "top value (the other); it must have the layer's size. Without it everything blurs as "
        "far from focus.";

    gegl_operation_class_set_keys(
        operation_class, "name", "quillbloom:depth-of-field", "title",
        "Depth of Field (Quillbloom)", "categories", "blur", "description",
        "Renders the layer as a lens focused at one distance would: pixels away from that "
        "distance, as the Distance Layer tells it, spread into discs of the iris shape, and "
        "bright points bloom into iris-shaped highlights.",
        // GEGL reads none of its own from a `version` key; hosts and scripts can ask it.
        "version", QB_VERSION, nullptr);
}

namespace {

// GEGL closes a module whose types are not in use and opens it again when they are. This file
// stays mapped all the same: GLib keeps pointers to the menus' value tables, and the effect
// keeps its state for the life of the process.
void stay_loaded() {
    const std::string own_file =
        platform::loaded_file_path(reinterpret_cast<const void*>(&stay_loaded));
    dlopen(own_file.c_str(), RTLD_NOW | RTLD_NOLOAD | RTLD_NODELETE);
}

bool learn_effect_declarations() {
    const std::filesystem::path effect_module = qb_gegl::effect_module_path();
    try {
        declarations() = session::learn_declarations(quillbloom_effect_main, effect_module);
    } catch (const std::exception& error) {
        g_warning(
            "quillbloom:depth-of-field is not available: %s (its plug-in folder is %s; %s "
            "chooses another)",
            error.what(), effect_module.parent_path().c_str(), session::kPluginFolderVariable);
        return false;
    }
    stay_loaded();
    return true;
}

}  // namespace

extern "C" {

G_MODULE_EXPORT const GeglModuleInfo* gegl_module_query(GTypeModule*) {
    static const GeglModuleInfo info{GEGL_MODULE_ABI_VERSION};
    return &info;
}

G_MODULE_EXPORT gboolean gegl_module_register(GTypeModule* module) {
    // Learnt once: GEGL registers the module again each time it loads it anew.
    static const bool learnt = learn_effect_declarations();
    if (!learnt) {
        return FALSE;
    }
    menu_types() = qb_gegl::register_menu_types(module, declarations());
    qb_depth_of_field_register_type(module);
    return TRUE;
}

}  // extern "C"
