#include "python/array_worlds.h"

#include <fmt/format.h>

#include <cstdint>
#include <stdexcept>
#include <string>

#include "session/channel_levels.h"
#include "session/effect_session.h"
#include "session/scene_light.h"

namespace qb_python {
namespace {

constexpr int kColourChannels = 3;
constexpr int kAlphaChannel = 3;
constexpr float kOpaqueLight = 1.0f;

template <class T>
using Packed = py::array_t<T, py::array::c_style | py::array::forcecast>;

// Only an exact match: forcecast below may then copy, but never convert.
template <class T>
bool holds(const py::array& array) {
    return py::isinstance<py::array_t<T>>(array);
}

// Where R, G, B and A of an ARGB world come from in one pixel of the array; a distance
// repeats its first channel.
struct ChannelMap {
    int channels = 0;
    int red = 0;
    int green = 0;
    int blue = 0;
    int alpha = -1;
};

struct Size {
    int height = 0;
    int width = 0;
};

Size checked_size(const py::array& array, const char* what) {
    const auto height = array.shape(0);
    const auto width = array.shape(1);
    if (height <= 0 || width <= 0) {
        throw py::value_error(fmt::format("{} holds no pixels", what));
    }
    if (height > session::kLargestSide || width > session::kLargestSide) {
        throw py::value_error(fmt::format("{} is {}x{} pixels; the effect takes at most {} a side",
                                          what, width, height, session::kLargestSide));
    }
    return {static_cast<int>(height), static_cast<int>(width)};
}

template <class T, class Pixel, class Convert>
std::unique_ptr<host::World> filled_world(const py::array& array, host::World::Depth depth,
                                          const ChannelMap& map, T opaque, Convert convert,
                                          Pixel& (host::World::*pixel)(int, int)) {
    const Size size = checked_size(array, "the image");
    const Packed<T> packed(array);
    const T* values = packed.data();
    auto world = std::make_unique<host::World>(size.width, size.height, depth);
    for (int y = 0; y < size.height; ++y) {
        for (int x = 0; x < size.width; ++x) {
            const T* source =
                values + (static_cast<std::size_t>(y) * size.width + x) * map.channels;
            Pixel& target = ((*world).*pixel)(x, y);
            target.alpha = convert(map.alpha < 0 ? opaque : source[map.alpha]);
            target.red = convert(source[map.red]);
            target.green = convert(source[map.green]);
            target.blue = convert(source[map.blue]);
        }
    }
    return world;
}

std::uint8_t as_stored(std::uint8_t value) {
    return value;
}

float as_light(float value) {
    return value;
}

template <class T, class Pixel, class Convert>
py::array read_world(const host::World& world, int channels,
                     const Pixel& (host::World::*pixel)(int, int) const, Convert convert) {
    py::array_t<T> result({world.height(), world.width(), channels});
    T* values = result.mutable_data();
    for (int y = 0; y < world.height(); ++y) {
        for (int x = 0; x < world.width(); ++x) {
            const Pixel& source = (world.*pixel)(x, y);
            T* target = values + (static_cast<std::size_t>(y) * world.width() + x) * channels;
            target[0] = convert(source.red);
            target[1] = convert(source.green);
            target[2] = convert(source.blue);
            if (channels > kColourChannels) {
                target[kAlphaChannel] = convert(source.alpha);
            }
        }
    }
    return result;
}

std::string type_text(const py::array& array) {
    return py::str(array.dtype()).cast<std::string>();
}

}  // namespace

ImageLayer image_layer(const py::array& image) {
    if (image.ndim() != 3 || (image.shape(2) != kColourChannels && image.shape(2) != 4)) {
        throw py::value_error(
            fmt::format("the image must be H x W x 3 or H x W x 4; it has shape {}",
                        py::str(py::tuple(image.attr("shape"))).cast<std::string>()));
    }
    ImageLayer layer;
    layer.channels = static_cast<int>(image.shape(2));
    const ChannelMap map{layer.channels, 0, 1, 2,
                         layer.channels > kColourChannels ? kAlphaChannel : -1};
    if (holds<std::uint8_t>(image)) {
        layer.samples = Samples::k8;
        layer.world = filled_world<std::uint8_t>(image, host::World::Depth::k8, map,
                                                 static_cast<std::uint8_t>(session::kMax8),
                                                 as_stored, &host::World::pixel8);
    } else if (holds<std::uint16_t>(image)) {
        layer.samples = Samples::k16;
        layer.world = filled_world<std::uint16_t>(
            image, host::World::Depth::k16, map, static_cast<std::uint16_t>(session::kMaxFile16),
            session::file16_to_world16, &host::World::pixel16);
    } else if (holds<float>(image)) {
        layer.samples = Samples::kFloat;
        layer.world = filled_world<float>(image, host::World::Depth::kFloat, map, kOpaqueLight,
                                          as_light, &host::World::pixel_float);
        session::clean_world(*layer.world);
    } else {
        throw py::value_error(fmt::format(
            "the image is of {}; the effect takes uint8, uint16 or float32", type_text(image)));
    }
    return layer;
}

std::unique_ptr<host::World> distance_layer(const py::array& distance) {
    if (distance.ndim() != 2 && distance.ndim() != 3) {
        throw py::value_error(
            fmt::format("distance must be H x W or H x W x C; it has {} axes", distance.ndim()));
    }
    const int channels = distance.ndim() == 3 ? static_cast<int>(distance.shape(2)) : 1;
    if (channels < 1) {
        throw py::value_error("distance has no channel");
    }
    const ChannelMap map{channels, 0, 0, 0, -1};
    if (holds<std::uint8_t>(distance)) {
        return filled_world<std::uint8_t>(distance, host::World::Depth::k8, map,
                                          static_cast<std::uint8_t>(session::kMax8), as_stored,
                                          &host::World::pixel8);
    }
    if (holds<std::uint16_t>(distance)) {
        return filled_world<std::uint16_t>(distance, host::World::Depth::k16, map,
                                           static_cast<std::uint16_t>(session::kMaxFile16),
                                           session::file16_to_world16, &host::World::pixel16);
    }
    if (holds<float>(distance)) {
        return filled_world<float>(distance, host::World::Depth::k16, map, kOpaqueLight,
                                   session::float_distance_to_world16, &host::World::pixel16);
    }
    if (holds<double>(distance)) {
        return filled_world<double>(
            distance, host::World::Depth::k16, map, static_cast<double>(kOpaqueLight),
            [](double value) {
                return session::float_distance_to_world16(static_cast<float>(value));
            },
            &host::World::pixel16);
    }
    throw py::value_error(
        fmt::format("distance is of {}; the effect takes uint8, uint16, float32 or float64",
                    type_text(distance)));
}

py::array image_array(const host::World& world, Samples samples, int channels) {
    switch (samples) {
        case Samples::k8:
            return read_world<std::uint8_t>(world, channels, &host::World::pixel8, as_stored);
        case Samples::k16:
            return read_world<std::uint16_t>(world, channels, &host::World::pixel16,
                                             session::world16_to_file16);
        case Samples::kFloat:
            return read_world<float>(world, channels, &host::World::pixel_float, as_light);
    }
    throw std::logic_error("unknown sample type");
}

}  // namespace qb_python
