#include "cli/image_writer.h"

#include <OpenImageIO/filesystem.h>
#include <fmt/format.h>

#include <algorithm>
#include <cstdint>
#include <vector>

#include "cli/atomic_output.h"
#include "cli/image_library.h"
#include "session/channel_levels.h"
#include "session/session_error.h"

namespace cli {
namespace {

constexpr int kColourChannels = 3;

std::unique_ptr<oiio::ImageOutput> create_output(const std::string& path) {
    auto output = oiio::ImageOutput::create(path);
    if (!output) {
        oiio::geterror();  // the library keeps the reason; the tool gives its own line
        session::fail_input(
            fmt::format("cannot write {}: no image format goes with the name's extension", path));
    }
    return output;
}

bool is_float_format(const std::string& format) {
    return format == "openexr";
}

// Pixels for the file in RGB(A) order, of the type the file will hold, without rounding twice.
template <class Sample, class Pixel, class Convert>
std::vector<Sample> interleave(const host::World& world, int channels,
                               const Pixel& (host::World::*pixel)(int, int) const,
                               Convert convert) {
    std::vector<Sample> samples;
    samples.reserve(static_cast<std::size_t>(world.width()) * world.height() * channels);
    for (int y = 0; y < world.height(); ++y) {
        for (int x = 0; x < world.width(); ++x) {
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

struct FileSamples {
    oiio::TypeDesc type;
    std::vector<std::uint8_t> bytes;
};

template <class Sample>
FileSamples as_bytes(oiio::TypeDesc type, const std::vector<Sample>& samples) {
    const auto* first = reinterpret_cast<const std::uint8_t*>(samples.data());
    return {type, std::vector<std::uint8_t>(first, first + samples.size() * sizeof(Sample))};
}

FileSamples file_samples(const host::World& world, int channels, bool float_file) {
    const bool deep = world.depth() == host::World::Depth::k16;
    if (float_file) {
        return deep ? as_bytes(oiio::TypeDesc::FLOAT,
                               interleave<float>(world, channels, &host::World::pixel16,
                                                 session::world16_to_float))
                    : as_bytes(oiio::TypeDesc::FLOAT,
                               interleave<float>(
                                   world, channels, &host::World::pixel8,
                                   [](std::uint8_t v) { return v / float(session::kMax8); }));
    }
    return deep ? as_bytes(oiio::TypeDesc::UINT16,
                           interleave<std::uint16_t>(world, channels, &host::World::pixel16,
                                                     session::world16_to_file16))
                : as_bytes(oiio::TypeDesc::UINT8,
                           interleave<std::uint8_t>(world, channels, &host::World::pixel8,
                                                    [](std::uint8_t v) { return v; }));
}

}  // namespace

std::string output_format_for(const std::string& path) {
    return create_output(path)->format_name();
}

void write_world(const host::World& world, const std::string& path, bool with_alpha) {
    auto output = create_output(path);
    const std::string format = output->format_name();
    const int channels =
        with_alpha && output->supports("alpha") ? kColourChannels + 1 : kColourChannels;
    const FileSamples samples = file_samples(world, channels, is_float_format(format));

    PictureLayout layout(world.width(), world.height(), channels,
                         is_float_format(format) ? oiio::TypeDesc::HALF : samples.type);
    if (channels > kColourChannels) {
        layout.alpha_channel = kColourChannels;
        // Written as they were read: colour not multiplied by alpha.
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
        std::string reason = output->geterror();
        std::replace(reason.begin(), reason.end(), '\n', ' ');
        session::fail_input(fmt::format("cannot write {}: {}", path, reason));
    }
    file.write(encoded);
    file.commit();
}

}  // namespace cli
