#include "cli/frame_layers.h"

#include <cmath>
#include <optional>

#include "cli/image_reader.h"
#include "session/channel_levels.h"
#include "session/downsample.h"
#include "session/session_error.h"

namespace cli {
namespace {

// A layer of the data window `at`, in a world covering `frame`; `fill_empty` fills what it
// does not cover (a new world is all 0), unless the layer covers the frame already.
template <class FillEmpty>
std::unique_ptr<host::World> in_frame(std::unique_ptr<host::World> layer, const PixelWindow& at,
                                      const PixelWindow& frame, FillEmpty fill_empty) {
    if (at == frame) {
        return layer;
    }
    auto placed = std::make_unique<host::World>(frame.width, frame.height, layer->depth());
    fill_empty(*placed);
    place_in_frame(*layer, at, frame, *placed);
    return placed;
}

void leave_zero(host::World&) {}

std::unique_ptr<host::World> read_distance(const ImageHeader& input,
                                           const std::string& distance_path,
                                           const FrameReading& reading) {
    const DistanceSource& source = reading.distance;
    if (source.kind == DistanceSource::Kind::none) {
        return nullptr;
    }
    const bool own_file = !distance_path.empty();
    const ImageHeader header = own_file ? read_header(distance_path) : input;
    // Placed as the input is only when both show the same picture; otherwise handed over at its
    // own size, for the effect to judge.
    const bool placed = header.display == input.display;
    if (source.kind == DistanceSource::Kind::layer_file) {
        auto layer = read_distance_layer(header);
        return placed ? in_frame(std::move(layer), header.data, reading.frame, leave_zero)
                      : std::move(layer);
    }
    DepthPass pass = read_depth_pass(header.path, source.channel, source.range);
    if (!placed) {
        return std::move(pass.layer);
    }
    // Where the pass has no pixels there is no depth, which counts as far away.
    const std::uint8_t no_depth = session::depth_to_distance(NAN, source.range);
    return in_frame(
        std::move(pass.layer), pass.data, reading.frame, [no_depth](host::World& world) {
            world.fill8(
                PF_Pixel8{static_cast<std::uint8_t>(session::kMax8), no_depth, no_depth, no_depth});
        });
}

std::unique_ptr<host::World> reduced(std::unique_ptr<host::World> layer, int downsample) {
    return layer && downsample > 1 ? session::downsample(*layer, downsample) : std::move(layer);
}

}  // namespace

FrameGeometry sequence_geometry(const std::vector<std::string>& inputs, int downsample) {
    std::optional<FrameGeometry> geometry;
    std::optional<session::SessionError> first_failure;
    for (const std::string& input : inputs) {
        try {
            const ImageHeader header = read_header(input);
            const PixelWindow both = union_of(header.data, header.display);
            if (!geometry) {
                geometry = FrameGeometry{both, header.data, header.display};
            }
            geometry->frame = union_of(geometry->frame, both);
        } catch (const session::SessionError& failure) {
            // This frame fails when its turn comes, with its own message.
            first_failure = first_failure.value_or(failure);
        }
    }
    if (!geometry) {
        throw *first_failure;
    }
    geometry->frame = aligned(geometry->frame, downsample);
    return *geometry;
}

FrameLayers read_frame_layers(const std::string& input_path, const std::string& distance_path,
                              const FrameReading& reading) {
    const ImageHeader header = read_header(input_path);
    ColourPicture colour = read_colour(header, reading.light);
    FrameLayers layers;
    layers.cleaned_pixels = colour.cleaned_pixels;
    layers.input =
        reduced(in_frame(std::move(colour.world), header.data, reading.frame, leave_zero),
                reading.downsample);
    layers.distance = reduced(read_distance(header, distance_path, reading), reading.downsample);
    layers.output.geometry =
        reduced(FrameGeometry{reading.frame, header.data, header.display}, reading.downsample);
    layers.output.path = colour.path;
    layers.output.input_sample = header.sample;
    layers.output.with_alpha = header.alpha_channel >= 0;
    return layers;
}

}  // namespace cli
