// Pictures for the GEGL operation's tests, the same values as files for the tool and as GEGL
// buffers for the operation: dim ground with bright points (so that shape, hardness and
// brightness show), on request a corner fading to transparent (so that alpha bokeh shows), and
// a Distance Layer from near on the left to far on the right.
#ifndef QB_TESTS_GEGL_GEGL_SCENE_H
#define QB_TESTS_GEGL_GEGL_SCENE_H

#include <OpenImageIO/imageio.h>

#include <cstdint>
#include <filesystem>
#include <vector>

namespace qb_test {

inline constexpr int kSceneWidth = 80;
inline constexpr int kSceneHeight = 60;

// Channel values as stored: 8-bit, 16-bit or float, channels interleaved, rows top to bottom.
template <class Sample>
struct Picture {
    int width = 0;
    int height = 0;
    int channels = 0;
    std::vector<Sample> values;

    bool operator==(const Picture&) const = default;
};

enum class Corner { opaque, fading };

Picture<std::uint8_t> scene8(Corner corner = Corner::opaque, int width = kSceneWidth,
                             int height = kSceneHeight);
Picture<std::uint16_t> scene16(Corner corner = Corner::opaque);
// The opaque scene as linear light, its bright points 40 times brighter than white.
Picture<float> scene_light();
Picture<std::uint8_t> distance8(int width = kSceneWidth, int height = kSceneHeight);
Picture<std::uint16_t> distance16();

// Files through the image library (PNG, or EXR for float pictures), at the picture's own depth.
template <class Sample>
bool write_picture(const std::filesystem::path& path, const Picture<Sample>& picture);
template <class Sample>
Picture<Sample> read_picture(const std::filesystem::path& path);

// How many values differ; pictures of different shapes differ everywhere.
template <class Sample>
std::size_t differences(const Picture<Sample>& a, const Picture<Sample>& b) {
    if (a.width != b.width || a.height != b.height || a.channels != b.channels) {
        return std::max(a.values.size(), b.values.size()) + 1;
    }
    std::size_t count = 0;
    for (std::size_t i = 0; i < a.values.size(); ++i) {
        count += a.values[i] != b.values[i] ? 1 : 0;
    }
    return count;
}

}  // namespace qb_test

#endif
