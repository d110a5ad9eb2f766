#include "cli/image_reader.h"

#include <fcntl.h>
#include <fmt/format.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cstdint>
#include <cstdio>
#include <exception>
#include <new>

#include "cli/image_library.h"
#include "session/channel_levels.h"
#include "session/effect_session.h"
#include "session/session_error.h"

namespace cli {
namespace {

std::string lower(std::string text) {
    std::transform(text.begin(), text.end(), text.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return text;
}

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
    // a picture that only passes through must come back unchanged.
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

// Where R, G, B and A of an ARGB world come from in the file; grey repeats its one channel.
struct ChannelMap {
    int red = 0;
    int green = 0;
    int blue = 0;
    int alpha = -1;
};

int named_channel(const ImageHeader& header, const char* name, int fallback) {
    for (std::size_t i = 0; i < header.channel_names.size(); ++i) {
        if (lower(header.channel_names[i]) == lower(name)) {
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
    map.red = named_channel(header, "R", colour[0]);
    map.green = named_channel(header, "G", grey ? colour[0] : colour[1]);
    map.blue = named_channel(header, "B", grey ? colour[0] : colour[2]);
    map.alpha = header.alpha_channel;
    return map;
}

// All channels of the file at `format`, row by row; a truncated or damaged file fails here.
template <class Sample>
std::vector<Sample> read_pixels(const ImageHeader& header, oiio::TypeDesc format) {
    auto input = open_input(header.path);
    const std::size_t channels = header.channel_names.size();
    std::vector<Sample> pixels(static_cast<std::size_t>(header.width) *
                               static_cast<std::size_t>(header.height) * channels);
    bool read = false;
    {
        QuietStderr quiet;
        read = library_call(header.path, [&] {
            return input->read_image(0, 0, 0, static_cast<int>(channels), format, pixels.data());
        });
    }
    // Some readers answer success for a file cut short and only keep the error (a compressed
    // TIFF whose strips are missing comes back black); any kept error fails the read.
    if (!read || input->has_error()) {
        session::fail_input(
            fmt::format("cannot read {}: {}", header.path, first_line(input->geterror())));
    }
    return pixels;
}

template <class Sample, class Pixel, class Convert>
void fill_world(const ImageHeader& header, const std::vector<Sample>& pixels, const ChannelMap& map,
                Sample opaque, Convert convert, host::World& world,
                Pixel& (host::World::*pixel)(int, int)) {
    const std::size_t channels = header.channel_names.size();
    for (int y = 0; y < header.height; ++y) {
        for (int x = 0; x < header.width; ++x) {
            const Sample* source =
                &pixels[(static_cast<std::size_t>(y) * header.width + x) * channels];
            Pixel& target = (world.*pixel)(x, y);
            target.alpha = convert(map.alpha < 0 ? opaque : source[map.alpha]);
            target.red = convert(source[map.red]);
            target.green = convert(source[map.green]);
            target.blue = convert(source[map.blue]);
        }
    }
}

std::unique_ptr<host::World> world_from_file(const ImageHeader& header, const ChannelMap& map) {
    switch (header.sample) {
        case SampleKind::k8: {
            auto world = std::make_unique<host::World>(header.width, header.height);
            fill_world<std::uint8_t>(
                header, read_pixels<std::uint8_t>(header, oiio::TypeDesc::UINT8), map,
                static_cast<std::uint8_t>(session::kMax8), [](std::uint8_t v) { return v; }, *world,
                &host::World::pixel8);
            return world;
        }
        case SampleKind::k16: {
            auto world =
                std::make_unique<host::World>(header.width, header.height, host::World::Depth::k16);
            fill_world<std::uint16_t>(header,
                                      read_pixels<std::uint16_t>(header, oiio::TypeDesc::UINT16),
                                      map, static_cast<std::uint16_t>(session::kMaxFile16),
                                      session::file16_to_world16, *world, &host::World::pixel16);
            return world;
        }
        case SampleKind::kFloat: {
            auto world =
                std::make_unique<host::World>(header.width, header.height, host::World::Depth::k16);
            fill_world<float>(header, read_pixels<float>(header, oiio::TypeDesc::FLOAT), map, 1.0f,
                              session::float_to_world16, *world, &host::World::pixel16);
            return world;
        }
    }
    return nullptr;
}

SampleKind sample_kind(oiio::TypeDesc format) {
    switch (format.basetype) {
        case oiio::TypeDesc::UINT8:
        case oiio::TypeDesc::INT8:
            return SampleKind::k8;
        case oiio::TypeDesc::HALF:
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
    for (int i = 0; i < static_cast<int>(layout.channelnames.size()); ++i) {
        if (lower(layout.channelnames[static_cast<std::size_t>(i)]) == "a") {
            return i;
        }
    }
    return -1;
}

}  // namespace

ImageHeader read_header(const std::string& path) {
    auto input = open_input(path);
    const PictureLayout& layout = layout_of(*input);
    ImageHeader header;
    header.path = path;
    header.width = layout.width;
    header.height = layout.height;
    header.channel_names = layout.channelnames;
    header.alpha_channel = alpha_channel_of(layout);
    header.sample = sample_kind(layout.format);
    if (header.width <= 0 || header.height <= 0 || header.channel_names.empty()) {
        session::fail_input(fmt::format("cannot read {}: it holds no pixels", path));
    }
    // Refused before its pixels are allocated: a header of a few bytes can claim any size.
    if (header.width > session::kLargestSide || header.height > session::kLargestSide) {
        session::fail_input(
            fmt::format("cannot read {}: it is {}x{} pixels; the effect takes at most {} a side",
                        path, header.width, header.height, session::kLargestSide));
    }
    return header;
}

std::unique_ptr<host::World> read_colour(const std::string& path) {
    const ImageHeader header = read_header(path);
    return world_from_file(header, colour_channels(header));
}

std::unique_ptr<host::World> read_distance_layer(const std::string& path) {
    const ImageHeader header = read_header(path);
    ChannelMap map = colour_channels(header);
    map.green = map.blue = map.red;
    map.alpha = -1;
    return world_from_file(header, map);
}

std::vector<float> read_channel(const ImageHeader& header, int channel) {
    const std::vector<float> all = read_pixels<float>(header, oiio::TypeDesc::FLOAT);
    const std::size_t channels = header.channel_names.size();
    std::vector<float> values(all.size() / channels);
    for (std::size_t i = 0; i < values.size(); ++i) {
        values[i] = all[i * channels + static_cast<std::size_t>(channel)];
    }
    return values;
}

std::optional<int> find_depth_channel(const ImageHeader& header, const std::string& wanted) {
    const std::vector<std::string> names =
        wanted.empty() ? std::vector<std::string>{"z", "depth"} : std::vector{lower(wanted)};
    for (const std::string& name : names) {
        for (std::size_t i = 0; i < header.channel_names.size(); ++i) {
            const std::string channel = lower(header.channel_names[i]);
            const bool last_part = channel.size() > name.size() && channel.ends_with(name) &&
                                   channel[channel.size() - name.size() - 1] == '.';
            if (channel == name || last_part) {
                return static_cast<int>(i);
            }
        }
    }
    return std::nullopt;
}

}  // namespace cli
