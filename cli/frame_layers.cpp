#include "cli/frame_layers.h"

#include "cli/downsample.h"
#include "cli/image_reader.h"

namespace cli {
namespace {

std::unique_ptr<host::World> read_distance(const std::string& input_path,
                                           const std::string& distance_path,
                                           const DistanceSource& source) {
    switch (source.kind) {
        case DistanceSource::Kind::none:
            return nullptr;
        case DistanceSource::Kind::layer_file:
            return read_distance_layer(distance_path);
        case DistanceSource::Kind::depth_channel:
            return read_depth_pass(distance_path.empty() ? input_path : distance_path,
                                   source.channel, source.range);
    }
    return nullptr;
}

std::unique_ptr<host::World> reduced(std::unique_ptr<host::World> layer, int downsample) {
    return layer && downsample > 1 ? cli::downsample(*layer, downsample) : std::move(layer);
}

}  // namespace

FrameLayers read_frame_layers(const std::string& input_path, const std::string& distance_path,
                              const DistanceSource& source, int downsample) {
    const ImageHeader header = read_header(input_path);
    FrameLayers layers;
    layers.input_has_alpha = header.alpha_channel >= 0;
    layers.full_width = header.width;
    layers.full_height = header.height;
    layers.input = reduced(read_colour(input_path), downsample);
    layers.distance = reduced(read_distance(input_path, distance_path, source), downsample);
    return layers;
}

}  // namespace cli
