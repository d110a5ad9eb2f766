// Depth passes of 3-D renders: float distances in scene units, turned into a Distance Layer of
// 0..255 between a near and a far distance. The depth may sit in any part of a file of several
// parts (a multi-part EXR keeps it in a part of its own).
#ifndef QB_CLI_DEPTH_PASS_H
#define QB_CLI_DEPTH_PASS_H

#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "cli/frame_geometry.h"
#include "cli/image_reader.h"
#include "host/world.h"
#include "session/depth_range.h"

namespace cli {

// An 8-bit Distance Layer of `width` x `height` from depths row by row.
std::unique_ptr<host::World> distance_layer_from_depths(const std::vector<float>& depths, int width,
                                                        int height,
                                                        const session::DepthRange& range);

// The channel `wanted` names, in the first part that has it: an exact name ("Z"), else one
// whose last dot-separated part is that name ("ViewLayer.Z"); else "PART.CHANNEL", a channel of
// the part of that name; else a part's name alone, for its first channel. Case does not matter.
// With `wanted` empty, the first channel named Z (else depth) in either way, in any part.
std::optional<ChannelRef> find_depth_channel(const std::vector<ImagePart>& parts,
                                             const std::string& wanted);

// A Distance Layer made from a depth channel, over the data window of the channel's part.
struct DepthPass {
    std::unique_ptr<host::World> layer;
    PixelWindow data;
};

// The depth channel of `path` (named `channel`, or Z/depth when empty) as a Distance Layer.
// Throws SessionError (bad input) when the file has no such channel, listing the channels of
// every part.
DepthPass read_depth_pass(const std::string& path, const std::string& channel,
                          const session::DepthRange& range);

}  // namespace cli

#endif
