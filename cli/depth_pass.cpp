#include "cli/depth_pass.h"

#include <OpenImageIO/strutil.h>
#include <fmt/format.h>

#include "session/channel_levels.h"
#include "session/session_error.h"

namespace cli {
namespace {

namespace text = OIIO::Strutil;

// `channel` is `name`, or ends in "." and `name`, whatever the case.
bool names(const std::string& channel, const std::string& name) {
    return text::iequals(channel, name) || text::iends_with(channel, "." + name);
}

std::optional<int> channel_in(const ImagePart& part, const std::string& name) {
    for (std::size_t i = 0; i < part.channel_names.size(); ++i) {
        if (names(part.channel_names[i], name)) {
            return static_cast<int>(i);
        }
    }
    return std::nullopt;
}

std::optional<ChannelRef> channel_in_any_part(const std::vector<ImagePart>& parts,
                                              const std::string& name) {
    for (std::size_t p = 0; p < parts.size(); ++p) {
        if (const std::optional<int> channel = channel_in(parts[p], name)) {
            return ChannelRef{static_cast<int>(p), *channel};
        }
    }
    return std::nullopt;
}

// "PART.CHANNEL", or "PART" alone for the part's first channel.
std::optional<ChannelRef> channel_by_part_name(const std::vector<ImagePart>& parts,
                                               const std::string& wanted) {
    for (std::size_t p = 0; p < parts.size(); ++p) {
        const std::string& part = parts[p].name;
        if (part.empty() || parts[p].channel_names.empty()) {
            continue;
        }
        if (text::iequals(wanted, part)) {
            return ChannelRef{static_cast<int>(p), 0};
        }
        if (text::istarts_with(wanted, part + ".")) {
            if (const std::optional<int> channel =
                    channel_in(parts[p], wanted.substr(part.size() + 1))) {
                return ChannelRef{static_cast<int>(p), *channel};
            }
        }
    }
    return std::nullopt;
}

// "R, G, B, Z" for a file of one part; "beauty: R, G, B; depth: Z" for several.
std::string channel_listing(const std::vector<ImagePart>& parts) {
    if (parts.size() == 1) {
        return fmt::format("{}", fmt::join(parts.front().channel_names, ", "));
    }
    std::vector<std::string> listed;
    for (std::size_t p = 0; p < parts.size(); ++p) {
        const std::string name = parts[p].name.empty() ? fmt::format("part {}", p) : parts[p].name;
        listed.push_back(fmt::format("{}: {}", name, fmt::join(parts[p].channel_names, ", ")));
    }
    return fmt::format("{}", fmt::join(listed, "; "));
}

}  // namespace

std::unique_ptr<host::World> distance_layer_from_depths(const std::vector<float>& depths, int width,
                                                        int height,
                                                        const session::DepthRange& range) {
    auto layer = std::make_unique<host::World>(width, height);
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
            const std::uint8_t v =
                session::depth_to_distance(depths[static_cast<std::size_t>(y) * width + x], range);
            layer->pixel8(x, y) = PF_Pixel8{static_cast<std::uint8_t>(session::kMax8), v, v, v};
        }
    }
    return layer;
}

std::optional<ChannelRef> find_depth_channel(const std::vector<ImagePart>& parts,
                                             const std::string& wanted) {
    if (wanted.empty()) {
        for (const char* name : {"z", "depth"}) {
            if (const std::optional<ChannelRef> found = channel_in_any_part(parts, name)) {
                return found;
            }
        }
        return std::nullopt;
    }
    if (const std::optional<ChannelRef> found = channel_in_any_part(parts, wanted)) {
        return found;
    }
    return channel_by_part_name(parts, wanted);
}

DepthPass read_depth_pass(const std::string& path, const std::string& channel,
                          const session::DepthRange& range) {
    const std::vector<ImagePart> parts = read_parts(path);
    const std::optional<ChannelRef> found = find_depth_channel(parts, channel);
    if (!found) {
        session::fail_input(fmt::format(
            "{} has no depth channel {} (its channels: {})", path,
            channel.empty() ? "named Z or depth" : "\"" + channel + "\"", channel_listing(parts)));
    }
    const ChannelValues depths = read_channel(path, *found);
    return {distance_layer_from_depths(depths.values, depths.data.width, depths.data.height, range),
            depths.data};
}

}  // namespace cli
