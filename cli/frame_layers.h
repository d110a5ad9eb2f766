// The layers of one frame, read from files: the input and its Distance Layer, placed in the
// frame the effect renders (frame_geometry.h) at the resolution the render runs at, with what
// the output repeats of the input.
#ifndef QB_CLI_FRAME_LAYERS_H
#define QB_CLI_FRAME_LAYERS_H

#include <memory>
#include <string>
#include <vector>

#include "cli/depth_pass.h"
#include "cli/frame_geometry.h"
#include "cli/image_writer.h"
#include "cli/pixel_path.h"
#include "host/world.h"

namespace cli {

// Where the Distance Layer comes from.
struct DistanceSource {
    enum class Kind { none, layer_file, depth_channel };
    Kind kind = Kind::none;
    std::string channel;        // depth_channel: its name, or empty for Z/depth
    session::DepthRange range;  // depth_channel only
};

// How a frame is read: the same for every frame of a sequence.
struct FrameReading {
    DistanceSource distance;
    LightMode light = LightMode::automatic;
    PixelWindow frame;  // full resolution, aligned to `downsample` (sequence_geometry)
    int downsample = 1;
};

// The windows of the first readable file of `inputs` (a still, or every frame of a sequence),
// in one frame that holds the display and data windows of them all, aligned to `downsample`:
// every frame renders at one size, whichever frames a task is given. Files that cannot be read
// are left out (their frames fail in their turn); when none can be read, the first one's
// failure is thrown (SessionError, bad input).
FrameGeometry sequence_geometry(const std::vector<std::string>& inputs, int downsample);

struct FrameLayers {
    std::unique_ptr<host::World> input;
    std::unique_ptr<host::World> distance;  // null: none
    OutputTraits output;                    // all but the float type, which is the user's
    long cleaned_pixels = 0;                // pixels of the input that were not light
};

// Reads `input_path` and the distance from `distance_path` (the input itself when empty and a
// depth channel is asked for), places both in the frame and reduces them to 1/downsample. A
// Distance Layer whose display window is not the input's keeps its own size, which the effect
// refuses unless it is the frame's. Throws SessionError (bad input).
FrameLayers read_frame_layers(const std::string& input_path, const std::string& distance_path,
                              const FrameReading& reading);

}  // namespace cli

#endif
