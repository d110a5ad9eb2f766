#include "cli/depth_pass.h"

#include <fmt/format.h>

#include <algorithm>
#include <cmath>
#include <limits>

#include "cli/image_reader.h"
#include "session/channel_levels.h"
#include "session/session_error.h"

namespace cli {

std::uint8_t depth_to_distance(float depth, const DepthRange& range) {
    const double d = std::isnan(depth) ? std::numeric_limits<double>::infinity() : depth;
    // 0 at near, 1 at far; works for near > far as well.
    const double t = std::clamp((d - range.near) / (range.far - range.near), 0.0, 1.0);
    const double closeness = range.invert ? t : 1.0 - t;
    return static_cast<std::uint8_t>(std::lround(closeness * session::kMax8));
}

std::unique_ptr<host::World> distance_layer_from_depths(const std::vector<float>& depths, int width,
                                                        int height, const DepthRange& range) {
    auto layer = std::make_unique<host::World>(width, height);
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
            const std::uint8_t v =
                depth_to_distance(depths[static_cast<std::size_t>(y) * width + x], range);
            layer->pixel8(x, y) = PF_Pixel8{static_cast<std::uint8_t>(session::kMax8), v, v, v};
        }
    }
    return layer;
}

std::unique_ptr<host::World> read_depth_pass(const std::string& path, const std::string& channel,
                                             const DepthRange& range) {
    const ImageHeader header = read_header(path);
    const std::optional<int> found = find_depth_channel(header, channel);
    if (!found) {
        session::fail_input(
            fmt::format("{} has no depth channel {} (its channels: {})", path,
                        channel.empty() ? "named Z or depth" : "\"" + channel + "\"",
                        fmt::join(header.channel_names, ", ")));
    }
    return distance_layer_from_depths(read_channel(header, *found), header.width, header.height,
                                      range);
}

}  // namespace cli
