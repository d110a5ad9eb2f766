// The layers of one frame, read from files: the input and its Distance Layer, at the resolution
// the render runs at.
#ifndef QB_CLI_FRAME_LAYERS_H
#define QB_CLI_FRAME_LAYERS_H

#include <memory>
#include <optional>
#include <string>

#include "cli/depth_pass.h"
#include "host/world.h"

namespace cli {

// Where the Distance Layer comes from.
struct DistanceSource {
    enum class Kind { none, layer_file, depth_channel };
    Kind kind = Kind::none;
    std::string channel;  // depth_channel: its name, or empty for Z/depth
    DepthRange range;     // depth_channel only
};

struct FrameLayers {
    std::unique_ptr<host::World> input;
    std::unique_ptr<host::World> distance;  // null: none
    bool input_has_alpha = false;
    int full_width = 0;  // the input before downsampling
    int full_height = 0;
};

// Reads `input_path` and the distance from `distance_path` (the input itself when empty and a
// depth channel is asked for), then reduces both to 1/`downsample`. Throws SessionError (bad
// input).
FrameLayers read_frame_layers(const std::string& input_path, const std::string& distance_path,
                              const DistanceSource& source, int downsample);

}  // namespace cli

#endif
