#include "cli/image_writer.h"

#include <OpenImageIO/filesystem.h>
#include <fmt/format.h>

#include <algorithm>
#include <array>
#include <cstdint>
#include <string_view>
#include <vector>

#include "cli/atomic_output.h"
#include "cli/image_library.h"
#include "cli/srgb_curve.h"
#include "session/channel_levels.h"
#include "session/scene_light.h"
#include "session/session_error.h"

namespace cli {
namespace {

constexpr int kColourChannels = 3;
constexpr std::string_view kExr = "openexr";
// Formats whose files hold float samples, and of those the ones that hold nothing else.
constexpr std::array<std::string_view, 3> kFloatFormats = {"openexr", "tiff", "hdr"};
constexpr std::array<std::string_view, 2> kFloatOnlyFormats = {"openexr", "hdr"};

bool among(std::string_view format, const auto& formats) {
    return std::find(formats.begin(), formats.end(), format) != formats.end();
}

// The image library gathers a failure's causes on several lines; the tool prints one.
std::string one_line(std::string text) {
    std::replace(text.begin(), text.end(), '\n', ' ');
    return text;
}

std::unique_ptr<oiio::ImageOutput> create_output(const std::string& path) {
    auto output = oiio::ImageOutput::create(path);
    if (!output) {
        const std::string reason = one_line(oiio::geterror());
        session::fail_input(fmt::format(
            "cannot write {}: {}", path,
            reason.empty() ? "no image format goes with the name's extension" : reason));
    }
    return output;
}

// The part of the world the file holds, in the world's own coordinates.
PixelWindow world_region(const PixelWindow& window, const FrameGeometry& geometry) {
    return {window.x - geometry.frame.x, window.y - geometry.frame.y, window.width, window.height};
}

// Pixels for the file in RGB(A) order, one channel at a time, without rounding twice.
template <class Sample, class Pixel, class Convert>
std::vector<Sample> interleave(const host::World& world, const PixelWindow& region, int channels,
                               const Pixel& (host::World::*pixel)(int, int) const,
                               Convert convert) {
    std::vector<Sample> samples;
    samples.reserve(static_cast<std::size_t>(region.width) * region.height * channels);
    for (int y = region.y; y < region.bottom(); ++y) {
        for (int x = region.x; x < region.right(); ++x) {
            const Pixel& p = (world.*pixel)(x, y);
            samples.push_back(convert(p.red));
            samples.push_back(convert(p.green));
            samples.push_back(convert(p.blue));
            if (channels > kColourChannels) {
                samples.push_back(convert(p.alpha));
            }
        }
    }
    return samples;
}

// Pixels as float light in RGB(A) order, colour multiplied by alpha when `premultiply`.
template <class Pixel, class ToFloat>
std::vector<float> light_samples(const host::World& world, const PixelWindow& region, int channels,
                                 bool premultiply,
                                 const Pixel& (host::World::*pixel)(int, int) const,
                                 ToFloat to_float) {
    std::vector<float> samples;
    samples.reserve(static_cast<std::size_t>(region.width) * region.height * channels);
    for (int y = region.y; y < region.bottom(); ++y) {
        for (int x = region.x; x < region.right(); ++x) {
            const Pixel& p = (world.*pixel)(x, y);
            PF_PixelFloat light{to_float(p.alpha), to_float(p.red), to_float(p.green),
                                to_float(p.blue)};
            if (premultiply) {
                light = session::premultiplied(light);
            }
            samples.insert(samples.end(), {light.red, light.green, light.blue});
            if (channels > kColourChannels) {
                samples.push_back(light.alpha);
            }
        }
    }
    return samples;
}

std::vector<float> light_samples(const host::World& world, const PixelWindow& region, int channels,
                                 bool premultiply) {
    switch (world.depth()) {
        case host::World::Depth::k8:
            return light_samples(world, region, channels, premultiply, &host::World::pixel8,
                                 [](std::uint8_t v) { return v / float(session::kMax8); });
        case host::World::Depth::k16:
            return light_samples(world, region, channels, premultiply, &host::World::pixel16,
                                 session::world16_to_float);
        case host::World::Depth::kFloat:
            break;
    }
    return light_samples(world, region, channels, premultiply, &host::World::pixel_float,
                         [](float v) { return v; });
}

// Light made fit for a file of integers: 0..1, through the sRGB curve when `srgb`.
void encode_for_integers(std::vector<float>& samples, int channels, bool srgb) {
    for (float& sample : samples) {
        sample = std::clamp(sample, 0.0f, 1.0f);
    }
    if (srgb) {
        const auto stride = static_cast<std::size_t>(channels);
        linear_to_srgb(samples.data(), samples.size() / stride, stride);
    }
}

struct FileSamples {
    oiio::TypeDesc type;       // of the samples in memory
    oiio::TypeDesc file_type;  // of the samples in the file
    std::vector<std::uint8_t> bytes;
};

template <class Sample>
FileSamples as_bytes(oiio::TypeDesc type, oiio::TypeDesc file_type,
                     const std::vector<Sample>& samples) {
    const auto* first = reinterpret_cast<const std::uint8_t*>(samples.data());
    return {type, file_type,
            std::vector<std::uint8_t>(first, first + samples.size() * sizeof(Sample))};
}

oiio::TypeDesc float_file_type(const OutputTraits& traits) {
    const SampleKind kind = traits.float_type.value_or(
        is_float(traits.input_sample) ? traits.input_sample : SampleKind::kHalf);
    return kind == SampleKind::kFloat ? oiio::TypeDesc::FLOAT : oiio::TypeDesc::HALF;
}

// 8-bit and 16-bit worlds into anything but EXR: the values as they are.
FileSamples integer_samples(const host::World& world, const PixelWindow& region, int channels) {
    if (world.depth() == host::World::Depth::k16) {
        return as_bytes(oiio::TypeDesc::UINT16, oiio::TypeDesc::UINT16,
                        interleave<std::uint16_t>(world, region, channels, &host::World::pixel16,
                                                  session::world16_to_file16));
    }
    return as_bytes(oiio::TypeDesc::UINT8, oiio::TypeDesc::UINT8,
                    interleave<std::uint8_t>(world, region, channels, &host::World::pixel8,
                                             [](std::uint8_t v) { return v; }));
}

FileSamples file_samples(const host::World& world, const OutputTraits& traits,
                         std::string_view format, const PixelWindow& region, int channels) {
    const bool exr = format == kExr;
    if (world.depth() != host::World::Depth::kFloat) {
        if (!exr) {
            return integer_samples(world, region, channels);
        }
        return as_bytes(oiio::TypeDesc::FLOAT, float_file_type(traits),
                        light_samples(world, region, channels, traits.path == PixelPath::display));
    }
    // Light decoded from sRGB goes back through the curve wherever integers can hold it.
    const bool srgb = decodes_srgb(traits.input_sample, traits.path);
    const bool floats = srgb ? among(format, kFloatOnlyFormats) : among(format, kFloatFormats);
    std::vector<float> samples = light_samples(world, region, channels, exr);
    if (floats) {
        return as_bytes(oiio::TypeDesc::FLOAT, float_file_type(traits), samples);
    }
    encode_for_integers(samples, channels, srgb);
    const bool eight_bits = srgb && traits.input_sample == SampleKind::k8;
    return as_bytes(oiio::TypeDesc::FLOAT,
                    eight_bits ? oiio::TypeDesc::UINT8 : oiio::TypeDesc::UINT16, samples);
}

}  // namespace

OutputTraits plain_output(const host::World& world) {
    OutputTraits traits;
    traits.geometry = whole_world(world.width(), world.height());
    traits.input_sample =
        world.depth() == host::World::Depth::k8 ? SampleKind::k8 : SampleKind::k16;
    return traits;
}

std::string output_format_for(const std::string& path) {
    return create_output(path)->format_name();
}

void write_world(const host::World& world, const std::string& path, const OutputTraits& traits) {
    auto output = create_output(path);
    const std::string format = output->format_name();
    const int channels =
        traits.with_alpha && output->supports("alpha") ? kColourChannels + 1 : kColourChannels;
    // A format without a display window shows what the input's display window showed.
    const bool windows = output->supports("displaywindow");
    const PixelWindow& stored = windows ? traits.geometry.data : traits.geometry.display;
    const FileSamples samples =
        file_samples(world, traits, format, world_region(stored, traits.geometry), channels);

    PictureLayout layout(stored.width, stored.height, channels, samples.file_type);
    if (windows) {
        layout.x = stored.x;
        layout.y = stored.y;
        layout.full_x = traits.geometry.display.x;
        layout.full_y = traits.geometry.display.y;
        layout.full_width = traits.geometry.display.width;
        layout.full_height = traits.geometry.display.height;
    }
    if (channels > kColourChannels) {
        layout.alpha_channel = kColourChannels;
        // Outside EXR, written as they were read: colour not multiplied by alpha.
        layout.attribute("oiio:UnassociatedAlpha", 1);
    }
    AtomicOutput file(path);
    // Encoded in memory and written by the tool itself: the image libraries do not all check
    // their writes (a PNG cut short by a full disk was reported as written) and one ends the
    // process on a failed write.
    std::vector<unsigned char> encoded;
    oiio::Filesystem::IOVecOutput memory(encoded);
    const bool written = output->set_ioproxy(&memory) &&
                         output->open(file.temporary_path().string(), layout) &&
                         output->write_image(samples.type, samples.bytes.data()) && output->close();
    if (!written) {
        output->close();
        session::fail_input(fmt::format("cannot write {}: {}", path, one_line(output->geterror())));
    }
    file.write(encoded);
    file.commit();
}

}  // namespace cli
