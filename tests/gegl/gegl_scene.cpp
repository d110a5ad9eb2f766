#include "tests/gegl/gegl_scene.h"

#include <algorithm>
#include <limits>
#include <type_traits>

namespace qb_test {
namespace {

constexpr int kRgba = 4;

// Levels 0..1 of pixel (x, y), channel c (red, green, blue, alpha).
double scene_level(int x, int y, int c, int width, int height, Corner corner) {
    if (c == 3) {
        // The bottom right corner fades out over a few pixels.
        const int inside = std::min(width - x, height - y);
        return corner == Corner::opaque ? 1.0 : std::clamp((inside - 8) / 6.0, 0.0, 1.0);
    }
    if (x % 14 == 6 && y % 14 == 6) {
        return c == 2 ? 0.8 : 1.0;
    }
    return 0.12 + 0.3 * ((x + 2 * y + 5 * c) % 11) / 11.0;
}

// Near (high values) on the left, far on the right.
double distance_level(int x, int width) {
    return 1.0 - static_cast<double>(x) / width;
}

template <class Sample>
Sample quantised(double level) {
    constexpr double kTop = std::numeric_limits<Sample>::max();
    return static_cast<Sample>(std::clamp(level, 0.0, 1.0) * kTop + 0.5);
}

template <class Sample>
Picture<Sample> make_scene(int width, int height, Corner corner) {
    Picture<Sample> picture{width, height, kRgba, {}};
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
            for (int c = 0; c < kRgba; ++c) {
                picture.values.push_back(
                    quantised<Sample>(scene_level(x, y, c, width, height, corner)));
            }
        }
    }
    return picture;
}

template <class Sample>
Picture<Sample> make_distance(int width, int height) {
    Picture<Sample> picture{width, height, 1, {}};
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
            picture.values.push_back(quantised<Sample>(distance_level(x, width)));
        }
    }
    return picture;
}

template <class Sample>
OIIO::TypeDesc type_of() {
    if constexpr (std::is_floating_point_v<Sample>) {
        return OIIO::TypeDesc::FLOAT;
    }
    return sizeof(Sample) == 1 ? OIIO::TypeDesc::UINT8 : OIIO::TypeDesc::UINT16;
}

}  // namespace

Picture<std::uint8_t> scene8(Corner corner, int width, int height) {
    return make_scene<std::uint8_t>(width, height, corner);
}

Picture<std::uint16_t> scene16(Corner corner) {
    return make_scene<std::uint16_t>(kSceneWidth, kSceneHeight, corner);
}

Picture<float> scene_light() {
    constexpr double kHighlightGain = 40.0;
    Picture<float> picture{kSceneWidth, kSceneHeight, kRgba, {}};
    for (int y = 0; y < kSceneHeight; ++y) {
        for (int x = 0; x < kSceneWidth; ++x) {
            for (int c = 0; c < kRgba; ++c) {
                const double level =
                    scene_level(x, y, c, kSceneWidth, kSceneHeight, Corner::opaque);
                const bool highlight = c != 3 && level > 0.5;
                picture.values.push_back(
                    static_cast<float>(highlight ? level * kHighlightGain : level));
            }
        }
    }
    return picture;
}

Picture<std::uint8_t> distance8(int width, int height) {
    return make_distance<std::uint8_t>(width, height);
}

Picture<std::uint16_t> distance16() {
    return make_distance<std::uint16_t>(kSceneWidth, kSceneHeight);
}

template <class Sample>
bool write_picture(const std::filesystem::path& path, const Picture<Sample>& picture) {
    const OIIO::ImageSpec spec(picture.width, picture.height, picture.channels, type_of<Sample>());
    auto out = OIIO::ImageOutput::create(path.string());
    return out && out->open(path.string(), spec) &&
           out->write_image(type_of<Sample>(), picture.values.data()) && out->close();
}

template <class Sample>
Picture<Sample> read_picture(const std::filesystem::path& path) {
    Picture<Sample> picture;
    auto in = OIIO::ImageInput::open(path.string());
    if (!in) {
        OIIO::geterror();
        return picture;
    }
    const OIIO::ImageSpec& spec = in->spec();
    picture.width = spec.width;
    picture.height = spec.height;
    picture.channels = spec.nchannels;
    picture.values.resize(static_cast<std::size_t>(spec.image_pixels()) * spec.nchannels);
    if (!in->read_image(0, 0, 0, spec.nchannels, type_of<Sample>(), picture.values.data())) {
        picture.values.clear();
    }
    return picture;
}

template bool write_picture(const std::filesystem::path&, const Picture<std::uint8_t>&);
template bool write_picture(const std::filesystem::path&, const Picture<std::uint16_t>&);
template bool write_picture(const std::filesystem::path&, const Picture<float>&);
template Picture<std::uint8_t> read_picture(const std::filesystem::path&);
template Picture<std::uint16_t> read_picture(const std::filesystem::path&);
template Picture<float> read_picture(const std::filesystem::path&);

}  // namespace qb_test
