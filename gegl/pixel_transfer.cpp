#include "gegl/pixel_transfer.h"

#include <cstddef>
#include <cstdint>

#include "cli/channel_levels.h"

namespace qb_gegl {
namespace {

// A model of each tone-curve family and its colour component names, alpha first as in a world.
struct ArgbModel {
    const char* model;
    const char* red;
    const char* green;
    const char* blue;
};

constexpr ArgbModel kLinear{"RGBA", "R", "G", "B"};
constexpr ArgbModel kSpaceCurve{"R'G'B'A", "R'", "G'", "B'"};
constexpr ArgbModel kSrgbCurve{"R~G~B~A", "R~", "G~", "B~"};

const Babl* space_of(const Babl* format) {
    const Babl* space = format ? babl_format_get_space(format) : nullptr;
    return space ? space : babl_space("sRGB");
}

const Babl* argb(const ArgbModel& family, const Babl* type, const Babl* space) {
    return babl_format_new(babl_model_with_space(family.model, space), type, babl_component("A"),
                           babl_component(family.red), babl_component(family.green),
                           babl_component(family.blue), nullptr);
}

const Babl* depth_type(host::World::Depth depth) {
    return babl_type(depth == host::World::Depth::k8 ? "u8" : "u16");
}

const ArgbModel& curve_family(const Babl* format) {
    const BablModelFlag flags =
        format ? babl_get_model_flags(babl_format_get_model(format)) : BablModelFlag{};
    if (flags & BABL_MODEL_FLAG_LINEAR) {
        return kLinear;
    }
    if (flags & BABL_MODEL_FLAG_PERCEPTUAL) {
        return kSrgbCurve;
    }
    return kSpaceCurve;
}

std::uint16_t* world_values16(host::World& world) {
    return static_cast<std::uint16_t*>(world.def().data);
}

std::size_t value_count(const host::World& world) {
    constexpr std::size_t kChannels = 4;
    return static_cast<std::size_t>(world.width()) * static_cast<std::size_t>(world.height()) *
           kChannels;
}

}  // namespace

host::World::Depth render_depth(const Babl* format) {
    const bool eight_bit = format && babl_format_get_type(format, 0) == babl_type("u8");
    return eight_bit ? host::World::Depth::k8 : host::World::Depth::k16;
}

const Babl* colour_format(const Babl* layer_format, host::World::Depth depth) {
    return argb(kSpaceCurve, depth_type(depth), space_of(layer_format));
}

const Babl* output_format(const Babl* layer_format) {
    const Babl* type = layer_format ? babl_format_get_type(layer_format, 0) : babl_type("u8");
    return argb(kSpaceCurve, type, space_of(layer_format));
}

const Babl* distance_format(const Babl* layer_format, host::World::Depth depth) {
    return argb(curve_family(layer_format), depth_type(depth), space_of(layer_format));
}

std::unique_ptr<host::World> read_world(GeglBuffer* buffer, const GeglRectangle& rect, int level,
                                        const Babl* format, host::World::Depth depth) {
    auto world = std::make_unique<host::World>(rect.width, rect.height, depth);
    gegl_buffer_get(buffer, &rect, 1.0 / static_cast<double>(1 << level), format, world->def().data,
                    world->rowbytes(), GEGL_ABYSS_NONE);
    if (depth == host::World::Depth::k16) {
        std::uint16_t* values = world_values16(*world);
        for (std::size_t i = 0; i < value_count(*world); ++i) {
            values[i] = cli::file16_to_world16(values[i]);
        }
    }
    return world;
}

void write_world(host::World& world, GeglBuffer* buffer, const GeglRectangle& rect, int level,
                 const Babl* format) {
    // The world is the render's own result and is not read again, so its 16-bit levels are
    // turned into GEGL's where they lie.
    if (world.depth() == host::World::Depth::k16) {
        std::uint16_t* values = world_values16(world);
        for (std::size_t i = 0; i < value_count(world); ++i) {
            values[i] = cli::world16_to_file16(values[i]);
        }
    }
    gegl_buffer_set(buffer, &rect, level, format, world.def().data, world.rowbytes());
}

void copy_layer(GeglBuffer* from, GeglBuffer* to, const GeglRectangle& rect, int level,
                const Babl* format) {
    const std::size_t size = static_cast<std::size_t>(rect.width) *
                             static_cast<std::size_t>(rect.height) *
                             static_cast<std::size_t>(babl_format_get_bytes_per_pixel(format));
    const std::unique_ptr<void, decltype(&g_free)> pixels(g_try_malloc(size), g_free);
    if (!pixels) {
        g_warning("not enough memory to hand on the %dx%d layer", rect.width, rect.height);
        return;
    }
    gegl_buffer_get(from, &rect, 1.0 / static_cast<double>(1 << level), format, pixels.get(),
                    GEGL_AUTO_ROWSTRIDE, GEGL_ABYSS_NONE);
    gegl_buffer_set(to, &rect, level, format, pixels.get(), GEGL_AUTO_ROWSTRIDE);
}

}  // namespace qb_gegl
