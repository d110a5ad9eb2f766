#include "cli/image_reader.h"

#include <OpenImageIO/deepdata.h>
#include <OpenImageIO/imagebuf.h>
#include <OpenImageIO/imagebufalgo.h>
#include <OpenImageIO/strutil.h>
#include <fcntl.h>
#include <fmt/format.h>
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <exception>
#include <new>

#include "cli/image_library.h"
#include "cli/srgb_curve.h"
#include "session/channel_levels.h"
#include "session/effect_session.h"
#include "session/scene_light.h"
#include "session/session_error.h"

namespace cli {
namespace {

// The image library gathers a failure's causes on several lines, the most telling first; the
// tool prints one line.
std::string first_line(const std::string& text) {
    return text.substr(0, text.find('\n'));
}

// Some format libraries print their complaints to standard error themselves, on top of the
// message they hand back. The tool reports that message as its one line, so while a file is
// read their own printing goes nowhere.
class QuietStderr {
  public:
    QuietStderr() : saved_(dup(STDERR_FILENO)) {
        const int null = open("/dev/null", O_WRONLY);
        if (saved_ >= 0 && null >= 0) {
            std::fflush(stderr);
            dup2(null, STDERR_FILENO);
        }
        if (null >= 0) {
            close(null);
        }
    }
    ~QuietStderr() {
        if (saved_ >= 0) {
            dup2(saved_, STDERR_FILENO);
            close(saved_);
        }
    }
    QuietStderr(const QuietStderr&) = delete;
    QuietStderr& operator=(const QuietStderr&) = delete;

  private:
    int saved_;
};

// Runs `call` into the image library, whose readers may throw on a damaged file (a GIF claiming
// billions of pixels throws a length error from its open): what they throw is the file's fault.
template <class Call>
auto library_call(const std::string& path, Call call) {
    try {
        return call();
    } catch (const std::bad_alloc&) {
        throw;
    } catch (const std::exception& error) {
        session::fail_input(fmt::format("cannot read {}: {}", path, first_line(error.what())));
    }
}

std::unique_ptr<oiio::ImageInput> open_input(const std::string& path) {
    QuietStderr quiet;
    // Pixels come as the file stores them: a layer's colour is not multiplied by its alpha, and
    // a picture that only passes through must come back unchanged. Whether the file stores
    // colour multiplied by alpha is the header's to say.
    PictureLayout config;
    config.attribute("oiio:UnassociatedAlpha", 1);
    auto input = library_call(path, [&] { return oiio::ImageInput::open(path, &config); });
    if (!input) {
        const std::string reason = first_line(oiio::geterror());
        session::fail_input(
            fmt::format("cannot read {}: {}", path,
                        reason.empty() ? "not an image file this tool knows" : reason));
    }
    return input;
}

PixelWindow data_window_of(const PictureLayout& layout) {
    return {layout.x, layout.y, layout.width, layout.height};
}

PixelWindow display_window_of(const PictureLayout& layout) {
    return {layout.full_x, layout.full_y, layout.full_width, layout.full_height};
}

// Refused before any pixel is allocated: a header of a few bytes can claim any size.
void check_size(const std::string& path, const PixelWindow& window) {
    if (window.width <= 0 || window.height <= 0) {
        session::fail_input(fmt::format("cannot read {}: it holds no pixels", path));
    }
    if (window.width > session::kLargestSide || window.height > session::kLargestSide) {
        session::fail_input(
            fmt::format("cannot read {}: it is {}x{} pixels; the effect takes at most {} a side",
                        path, window.width, window.height, session::kLargestSide));
    }
}

// Where R, G, B and A of an ARGB world come from in the file; grey repeats its one channel.
struct ChannelMap {
    int red = 0;
    int green = 0;
    int blue = 0;
    int alpha = -1;
};

int named_channel(const std::vector<std::string>& names, const char* name, int fallback) {
    for (std::size_t i = 0; i < names.size(); ++i) {
        if (oiio::Strutil::iequals(names[i], name)) {
            return static_cast<int>(i);
        }
    }
    return fallback;
}

ChannelMap colour_channels(const ImageHeader& header) {
    std::vector<int> colour;
    for (int i = 0; i < static_cast<int>(header.channel_names.size()); ++i) {
        if (i != header.alpha_channel) {
            colour.push_back(i);
        }
    }
    if (colour.empty()) {
        session::fail_input(fmt::format("cannot read {}: it has no colour channel", header.path));
    }
    ChannelMap map;
    const bool grey = colour.size() < 3;
    map.red = named_channel(header.channel_names, "R", colour[0]);
    map.green = named_channel(header.channel_names, "G", grey ? colour[0] : colour[1]);
    map.blue = named_channel(header.channel_names, "B", grey ? colour[0] : colour[2]);
    map.alpha = header.alpha_channel;
    return map;
}

ChannelMap red_only(const ImageHeader& header) {
    ChannelMap map = colour_channels(header);
    map.green = map.blue = map.red;
    map.alpha = -1;
    return map;
}

// All channels of one part over its data window, row by row.
template <class Sample>
struct PartPixels {
    std::vector<Sample> values;
    int channels = 0;
    PixelWindow data;
};

// A deep part's samples composited front to back into one value a channel, as the image
// library does it.
bool read_flattened(oiio::ImageInput& input, int part, oiio::TypeDesc format, void* values) {
    oiio::DeepData samples;
    if (!input.read_native_deep_image(part, 0, samples)) {
        return false;
    }
    oiio::ImageBuf deep(layout_of(input), oiio::InitializePixels::No);
    *deep.deepdata() = std::move(samples);
    const oiio::ImageBuf flat = oiio::ImageBufAlgo::flatten(deep);
    return !flat.has_error() && flat.get_pixels(flat.roi(), format, values);
}

// The pixels of `part` at `format`; a truncated or damaged file fails here.
template <class Sample>
PartPixels<Sample> read_pixels(const std::string& path, int part, oiio::TypeDesc format) {
    auto input = open_input(path);
    if (part > 0 && !input->seek_subimage(part, 0)) {
        session::fail_input(fmt::format("cannot read {}: it has no part {}", path, part));
    }
    const PictureLayout& layout = layout_of(*input);
    PartPixels<Sample> pixels;
    pixels.channels = layout.nchannels;
    pixels.data = data_window_of(layout);
    check_size(path, pixels.data);
    pixels.values.resize(static_cast<std::size_t>(pixels.data.width) *
                         static_cast<std::size_t>(pixels.data.height) *
                         static_cast<std::size_t>(pixels.channels));
    bool read = false;
    {
        QuietStderr quiet;
        read = library_call(path, [&] {
            return layout.deep ? read_flattened(*input, part, format, pixels.values.data())
                               : input->read_image(part, 0, 0, pixels.channels, format,
                                                   pixels.values.data());
        });
    }
    // Some readers answer success for a file cut short and only keep the error (a compressed
    // TIFF whose strips are missing comes back black); any kept error fails the read.
    if (!read || input->has_error()) {
        session::fail_input(fmt::format("cannot read {}: {}", path, first_line(input->geterror())));
    }
    return pixels;
}

template <class Sample, class Pixel, class Convert>
void fill_world(const PartPixels<Sample>& pixels, const ChannelMap& map, Sample opaque,
                Convert convert, host::World& world, Pixel& (host::World::*pixel)(int, int)) {
    const auto channels = static_cast<std::size_t>(pixels.channels);
    for (int y = 0; y < pixels.data.height; ++y) {
        for (int x = 0; x < pixels.data.width; ++x) {
            const Sample* source =
                &pixels.values[(static_cast<std::size_t>(y) * pixels.data.width + x) * channels];
            Pixel& target = (world.*pixel)(x, y);
            target.alpha = convert(map.alpha < 0 ? opaque : source[map.alpha]);
            target.red = convert(source[map.red]);
            target.green = convert(source[map.green]);
            target.blue = convert(source[map.blue]);
        }
    }
}

std::unique_ptr<host::World> stored_world(const ImageHeader& header, const ChannelMap& map) {
    const int width = header.data.width;
    const int height = header.data.height;
    if (header.sample == SampleKind::k8) {
        auto world = std::make_unique<host::World>(width, height);
        fill_world<std::uint8_t>(
            read_pixels<std::uint8_t>(header.path, 0, oiio::TypeDesc::UINT8), map,
            static_cast<std::uint8_t>(session::kMax8), [](std::uint8_t v) { return v; }, *world,
            &host::World::pixel8);
        return world;
    }
    auto world = std::make_unique<host::World>(width, height, host::World::Depth::k16);
    fill_world<std::uint16_t>(read_pixels<std::uint16_t>(header.path, 0, oiio::TypeDesc::UINT16),
                              map, static_cast<std::uint16_t>(session::kMaxFile16),
                              session::file16_to_world16, *world, &host::World::pixel16);
    return world;
}

PartPixels<float> float_pixels(const ImageHeader& header) {
    return read_pixels<float>(header.path, 0, oiio::TypeDesc::FLOAT);
}

// Straight scene-linear light from the file's values; answers how many pixels were cleaned.
long light_world(const ImageHeader& header, const ChannelMap& map, host::World& world) {
    fill_world<float>(
        float_pixels(header), map, 1.0f, [](float v) { return v; }, world,
        &host::World::pixel_float);
    const long cleaned = session::clean_world(world);
    if (header.associated_alpha && map.alpha >= 0) {
        session::unpremultiply_world(world);
    }
    // 8-bit and 16-bit files come this way only to be decoded from their curve.
    if (!is_float(header.sample)) {
        srgb_to_linear(world);
    }
    return cleaned;
}

std::unique_ptr<host::World> clamped_to_16_bits(const host::World& light) {
    auto world =
        std::make_unique<host::World>(light.width(), light.height(), host::World::Depth::k16);
    for (int y = 0; y < light.height(); ++y) {
        for (int x = 0; x < light.width(); ++x) {
            const PF_PixelFloat& p = light.pixel_float(x, y);
            world->pixel16(x, y) =
                PF_Pixel16{session::float_to_world16(p.alpha), session::float_to_world16(p.red),
                           session::float_to_world16(p.green), session::float_to_world16(p.blue)};
        }
    }
    return world;
}

SampleKind sample_kind(oiio::TypeDesc format) {
    switch (format.basetype) {
        case oiio::TypeDesc::UINT8:
        case oiio::TypeDesc::INT8:
            return SampleKind::k8;
        case oiio::TypeDesc::HALF:
            return SampleKind::kHalf;
        case oiio::TypeDesc::FLOAT:
        case oiio::TypeDesc::DOUBLE:
            return SampleKind::kFloat;
        default:
            return SampleKind::k16;
    }
}

// Some readers name an alpha channel past the last one (OpenImageIO 2.4 says channel 4 of a
// four-channel GIF); the channel named A is meant, or else there is none.
int alpha_channel_of(const PictureLayout& layout) {
    if (layout.alpha_channel >= 0 && layout.alpha_channel < layout.nchannels) {
        return layout.alpha_channel;
    }
    if (layout.alpha_channel < 0) {
        return -1;
    }
    return named_channel(layout.channelnames, "A", -1);
}

// Channels may differ in type (half colour beside a float depth); the colour's counts.
SampleKind colour_sample_kind(const PictureLayout& layout) {
    SampleKind sample =
        sample_kind(layout.channelformat(named_channel(layout.channelnames, "R", 0)));
    // Deep files hold light, whatever their type: they only go the way of light.
    if (layout.deep && !is_float(sample)) {
        sample = SampleKind::kFloat;
    }
    return sample;
}

std::string part_name(const PictureLayout& layout) {
    return layout.get_string_attribute("oiio:subimagename", layout.get_string_attribute("name"));
}

}  // namespace

ImageHeader read_header(const std::string& path) {
    auto input = open_input(path);
    const PictureLayout& layout = layout_of(*input);
    ImageHeader header;
    header.path = path;
    header.data = data_window_of(layout);
    header.display = display_window_of(layout);
    header.channel_names = layout.channelnames;
    header.alpha_channel = alpha_channel_of(layout);
    header.sample = colour_sample_kind(layout);
    header.associated_alpha =
        header.alpha_channel >= 0 && layout.get_int_attribute("oiio:UnassociatedAlpha", 0) == 0;
    if (header.channel_names.empty()) {
        session::fail_input(fmt::format("cannot read {}: it holds no pixels", path));
    }
    check_size(path, header.data);
    check_size(path, union_of(header.data, header.display));
    return header;
}

ColourPicture read_colour(const ImageHeader& header, LightMode mode) {
    const ChannelMap map = colour_channels(header);
    ColourPicture picture;
    picture.path = pixel_path_for(header.sample, mode);
    if (picture.path == PixelPath::stored) {
        picture.world = stored_world(header, map);
        return picture;
    }
    auto light = std::make_unique<host::World>(header.data.width, header.data.height,
                                               host::World::Depth::kFloat);
    picture.cleaned_pixels = light_world(header, map, *light);
    picture.world =
        picture.path == PixelPath::display ? clamped_to_16_bits(*light) : std::move(light);
    return picture;
}

std::unique_ptr<host::World> read_distance_layer(const ImageHeader& header) {
    const ChannelMap map = red_only(header);
    if (!is_float(header.sample)) {
        return stored_world(header, map);
    }
    auto world = std::make_unique<host::World>(header.data.width, header.data.height,
                                               host::World::Depth::k16);
    fill_world<float>(float_pixels(header), map, 1.0f, session::float_distance_to_world16, *world,
                      &host::World::pixel16);
    return world;
}

std::vector<ImagePart> read_parts(const std::string& path) {
    auto input = open_input(path);
    std::vector<ImagePart> parts;
    for (int part = 0; input->seek_subimage(part, 0); ++part) {
        const PictureLayout& layout = layout_of(*input);
        parts.push_back({part_name(layout), layout.channelnames});
    }
    return parts;
}

ChannelValues read_channel(const std::string& path, const ChannelRef& channel) {
    const PartPixels<float> all = read_pixels<float>(path, channel.part, oiio::TypeDesc::FLOAT);
    ChannelValues values;
    values.data = all.data;
    values.values.resize(all.values.size() / static_cast<std::size_t>(all.channels));
    for (std::size_t i = 0; i < values.values.size(); ++i) {
        values.values[i] = all.values[i * static_cast<std::size_t>(all.channels) +
                                      static_cast<std::size_t>(channel.channel)];
    }
    return values;
}

}  // namespace cli
