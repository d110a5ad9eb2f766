// Depth passes of 3-D renders: float distances in scene units, turned into a Distance Layer of
// 0..255 between a near and a far distance.
#ifndef QB_CLI_DEPTH_PASS_H
#define QB_CLI_DEPTH_PASS_H

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "host/world.h"

namespace cli {

struct DepthRange {
    double near = 0.0;
    double far = 0.0;
    bool invert = false;  // near maps to 0 instead of 255
};

// One depth in scene units to a distance value: near gives 255 (0 when inverted), far gives 0,
// linear between and clamped outside. A missing depth (NaN) counts as infinitely far, as
// background pixels of a depth pass are.
std::uint8_t depth_to_distance(float depth, const DepthRange& range);

// An 8-bit Distance Layer of `width` x `height` from depths row by row.
std::unique_ptr<host::World> distance_layer_from_depths(const std::vector<float>& depths, int width,
                                                        int height, const DepthRange& range);

// The depth channel of `path` (named `channel`, or Z/depth when empty) as a Distance Layer.
// Throws SessionError (bad input) when the file has no such channel.
std::unique_ptr<host::World> read_depth_pass(const std::string& path, const std::string& channel,
                                             const DepthRange& range);

}  // namespace cli

#endif
