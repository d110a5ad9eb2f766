#include "ofx/depth_conventions.h"

#include <algorithm>
#include <cmath>
#include <cstdint>

#include "session/channel_levels.h"

namespace qb_ofx {
namespace {

// Rec. 709 luma weights: the luminance a compositor shows for a grey made of these channels.
constexpr double kLumaRed = 0.2126;
constexpr double kLumaGreen = 0.7152;
constexpr double kLumaBlue = 0.0722;

constexpr std::size_t kAlphaIndex = 3;

double opaque_value(PixelDepth depth) {
    switch (depth) {
        case PixelDepth::kShort:
            return session::kMaxFile16;
        case PixelDepth::kFloat:
            return 1.0;
        case PixelDepth::kByte:
            break;
    }
    return session::kMax8;
}

template <class Sample>
std::array<double, 4> samples_at(const ImageView& image, int x, int y) {
    const auto* s = reinterpret_cast<const Sample*>(pixel_address(image, x, y));
    const double alpha = image.components == Components::kRGBA ? static_cast<double>(s[kAlphaIndex])
                                                               : opaque_value(image.depth);
    return {static_cast<double>(s[0]), static_cast<double>(s[1]), static_cast<double>(s[2]), alpha};
}

std::array<double, 4> rgba_at(const ImageView& image, int x, int y) {
    switch (image.depth) {
        case PixelDepth::kShort:
            return samples_at<std::uint16_t>(image, x, y);
        case PixelDepth::kFloat:
            return samples_at<float>(image, x, y);
        case PixelDepth::kByte:
            break;
    }
    return samples_at<std::uint8_t>(image, x, y);
}

// A level of the world the input becomes, white near.
template <class Level>
Level level_of(double value, const ImageView& depth, const DepthConventions& conventions) {
    if (conventions.scene_units) {
        session::DepthRange range = *conventions.scene_units;
        range.invert = !conventions.white_is_near;
        return session::depth_to_distance(static_cast<float>(value), range);
    }
    Level level = 0;
    Level top = 0;
    switch (depth.depth) {
        case PixelDepth::kByte:
            level = static_cast<Level>(std::lround(std::clamp(value, 0.0, 1.0 * session::kMax8)));
            top = static_cast<Level>(session::kMax8);
            break;
        case PixelDepth::kShort:
            level = session::file16_to_world16(static_cast<std::uint16_t>(
                std::lround(std::clamp(value, 0.0, 1.0 * session::kMaxFile16))));
            top = static_cast<Level>(session::kMaxWorld16);
            break;
        case PixelDepth::kFloat:
            level = session::float_to_world16(static_cast<float>(value));
            top = static_cast<Level>(session::kMaxWorld16);
            break;
    }
    return conventions.white_is_near ? level : static_cast<Level>(top - level);
}

}  // namespace

double channel_value(const std::array<double, 4>& rgba, DepthChannel channel) {
    switch (channel) {
        case DepthChannel::kGreen:
            return rgba[1];
        case DepthChannel::kBlue:
            return rgba[2];
        case DepthChannel::kAlpha:
            return rgba[kAlphaIndex];
        case DepthChannel::kLuminance:
            return kLumaRed * rgba[0] + kLumaGreen * rgba[1] + kLumaBlue * rgba[2];
        case DepthChannel::kRed:
            break;
    }
    return rgba[0];
}

std::unique_ptr<host::World> distance_world(const ImageView& depth,
                                            const DepthConventions& conventions) {
    const bool eight_bits = conventions.scene_units || depth.depth == PixelDepth::kByte;
    auto world = std::make_unique<host::World>(
        depth.width(), depth.height(),
        eight_bits ? host::World::Depth::k8 : host::World::Depth::k16);
    for (int y = depth.bounds.y1; y < depth.bounds.y2; ++y) {
        const int row = depth.bounds.y2 - 1 - y;
        for (int x = depth.bounds.x1; x < depth.bounds.x2; ++x) {
            const double value = channel_value(rgba_at(depth, x, y), conventions.channel);
            const int column = x - depth.bounds.x1;
            if (eight_bits) {
                const auto v = level_of<std::uint8_t>(value, depth, conventions);
                world->pixel8(column, row) =
                    PF_Pixel8{static_cast<std::uint8_t>(session::kMax8), v, v, v};
            } else {
                const auto v = level_of<std::uint16_t>(value, depth, conventions);
                world->pixel16(column, row) =
                    PF_Pixel16{static_cast<std::uint16_t>(session::kMaxWorld16), v, v, v};
            }
        }
    }
    return world;
}

}  // namespace qb_ofx
