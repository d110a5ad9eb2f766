// Small pictures for the tool's tests, written and read through the image library directly, so
// that the tool's own reading and writing are what is tested.
#ifndef QB_TESTS_CLI_TEST_IMAGES_H
#define QB_TESTS_CLI_TEST_IMAGES_H

#include <OpenImageIO/imageio.h>

#include <filesystem>
#include <functional>
#include <string>
#include <vector>

namespace qb_test {

// Channel values in 0..1 for pixel (x, y), channel c.
// The image library's description of a picture (size, channels, windows, attributes), under the
// name the tool gives it.
using PictureLayout = OIIO::ImageSpec;
inline const PictureLayout& layout_of(const OIIO::ImageInput& input) {
    return input.spec();
}

using SampleFn = std::function<float(int x, int y, int c)>;

// `layout` gives the layout, type and windows; `sample` is asked at each pixel's own coordinates.
inline bool write_image(const std::filesystem::path& path, PictureLayout layout,
                        const SampleFn& sample) {
    // The samples are stored as given, colour not multiplied by alpha.
    layout.attribute("oiio:UnassociatedAlpha", 1);
    std::vector<float> pixels;
    for (int y = layout.y; y < layout.y + layout.height; ++y) {
        for (int x = layout.x; x < layout.x + layout.width; ++x) {
            for (int c = 0; c < layout.nchannels; ++c) {
                pixels.push_back(sample(x, y, c));
            }
        }
    }
    auto out = OIIO::ImageOutput::create(path.string());
    return out && out->open(path.string(), layout) &&
           out->write_image(OIIO::TypeDesc::FLOAT, pixels.data()) && out->close();
}

inline bool write_image(const std::filesystem::path& path, int width, int height, int channels,
                        OIIO::TypeDesc type, const SampleFn& sample,
                        const std::vector<std::string>& names = {}) {
    PictureLayout layout(width, height, channels, type);
    if (!names.empty()) {
        layout.channelnames = names;
    }
    return write_image(path, layout, sample);
}

struct ReadBack {
    int width = 0;
    int height = 0;
    int channels = 0;
    OIIO::TypeDesc format;
    std::vector<float> pixels;  // as stored, scaled to 0..1 for integer files
    PictureLayout layout;       // windows and all
};

inline ReadBack read_image(const std::filesystem::path& path) {
    ReadBack back;
    PictureLayout config;
    config.attribute("oiio:UnassociatedAlpha", 1);
    auto in = OIIO::ImageInput::open(path.string(), &config);
    if (!in) {
        OIIO::geterror();
        return back;
    }
    const PictureLayout& layout = layout_of(*in);
    back.width = layout.width;
    back.height = layout.height;
    back.channels = layout.nchannels;
    back.format = layout.format;
    back.layout = layout;
    back.pixels.resize(static_cast<std::size_t>(layout.image_pixels()) * layout.nchannels);
    if (!in->read_image(0, 0, 0, layout.nchannels, OIIO::TypeDesc::FLOAT, back.pixels.data())) {
        back.pixels.clear();
    }
    return back;
}

}  // namespace qb_test

#endif
