#include "gegl/pixel_transfer.h"

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <string>

#include "session/channel_levels.h"

namespace qb_gegl {
namespace {

// RGBA models of the three tone-curve families: linear, the space's own curve, sRGB's curve.
constexpr const char kLinear[] = "RGBA";
constexpr const char kSpaceCurve[] = "R'G'B'A";
constexpr const char kSrgbCurve[] = "R~G~B~A";

constexpr std::size_t kChannels = 4;

const Babl* space_of(const Babl* format) {
    return format ? babl_format_get_space(format) : babl_space("sRGB");
}

const Babl* rgba(const char* model, const char* type, const Babl* space) {
    return babl_format_with_space((std::string(model) + " " + type).c_str(), space);
}

const char* depth_type(host::World::Depth depth) {
    switch (depth) {
        case host::World::Depth::k16:
            return "u16";
        case host::World::Depth::kFloat:
            return "float";
        case host::World::Depth::k8:
            break;
    }
    return "u8";
}

bool float_type(const Babl* type) {
    return type == babl_type("float") || type == babl_type("half") || type == babl_type("double");
}

const char* curve_family(const Babl* format) {
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

std::size_t value_count(const host::World& world) {
    return static_cast<std::size_t>(world.width()) * static_cast<std::size_t>(world.height()) *
           kChannels;
}

// GEGL keeps alpha last, a world first. The channels are moved by hand rather than by a babl
// format in world order: babl converts between two channel orders through floats, which
// changes the colour of partly transparent pixels.
template <class Sample, class Level>
void rgba_to_world(Sample* values, std::size_t count, Level level) {
    for (std::size_t i = 0; i < count; i += kChannels) {
        std::rotate(values + i, values + i + kChannels - 1, values + i + kChannels);
        for (std::size_t c = 0; c < kChannels; ++c) {
            values[i + c] = level(values[i + c]);
        }
    }
}

template <class Sample, class Level>
void world_to_rgba(Sample* values, std::size_t count, Level level) {
    for (std::size_t i = 0; i < count; i += kChannels) {
        std::rotate(values + i, values + i + 1, values + i + kChannels);
        for (std::size_t c = 0; c < kChannels; ++c) {
            values[i + c] = level(values[i + c]);
        }
    }
}

template <class Sample>
Sample same_level(Sample value) {
    return value;
}

}  // namespace

host::World::Depth render_depth(const Babl* format) {
    const Babl* type = format ? babl_format_get_type(format, 0) : nullptr;
    if (type == babl_type("u8")) {
        return host::World::Depth::k8;
    }
    return type && float_type(type) ? host::World::Depth::kFloat : host::World::Depth::k16;
}

const Babl* colour_format(const Babl* layer_format, host::World::Depth depth) {
    // Float layers are light: linear, unbounded, straight alpha.
    const char* model = depth == host::World::Depth::kFloat ? kLinear : kSpaceCurve;
    return rgba(model, depth_type(depth), space_of(layer_format));
}

const Babl* output_format(const Babl* layer_format) {
    const Babl* type = layer_format ? babl_format_get_type(layer_format, 0) : babl_type("u8");
    if (float_type(type)) {
        return colour_format(layer_format, host::World::Depth::kFloat);
    }
    return rgba(kSpaceCurve, babl_get_name(type), space_of(layer_format));
}

const Babl* distance_format(const Babl* layer_format, host::World::Depth depth) {
    return rgba(curve_family(layer_format), depth_type(depth), space_of(layer_format));
}

std::unique_ptr<host::World> read_world(GeglBuffer* buffer, const GeglRectangle& rect, int level,
                                        const Babl* format, host::World::Depth depth) {
    auto world = std::make_unique<host::World>(rect.width, rect.height, depth);
    gegl_buffer_get(buffer, &rect, 1.0 / static_cast<double>(1 << level), format, world->def().data,
                    world->rowbytes(), GEGL_ABYSS_NONE);
    switch (depth) {
        case host::World::Depth::k16:
            rgba_to_world(static_cast<std::uint16_t*>(world->def().data), value_count(*world),
                          session::file16_to_world16);
            break;
        case host::World::Depth::kFloat:
            rgba_to_world(static_cast<float*>(world->def().data), value_count(*world),
                          same_level<float>);
            break;
        case host::World::Depth::k8:
            rgba_to_world(static_cast<std::uint8_t*>(world->def().data), value_count(*world),
                          same_level<std::uint8_t>);
            break;
    }
    return world;
}

void write_world(host::World& world, GeglBuffer* buffer, const GeglRectangle& rect, int level,
                 const Babl* format) {
    // The world is the render's own result and is not read again, so it is turned into GEGL's
    // order and levels where it lies.
    switch (world.depth()) {
        case host::World::Depth::k16:
            world_to_rgba(static_cast<std::uint16_t*>(world.def().data), value_count(world),
                          session::world16_to_file16);
            break;
        case host::World::Depth::kFloat:
            world_to_rgba(static_cast<float*>(world.def().data), value_count(world),
                          same_level<float>);
            break;
        case host::World::Depth::k8:
            world_to_rgba(static_cast<std::uint8_t*>(world.def().data), value_count(world),
                          same_level<std::uint8_t>);
            break;
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
