#include "ofx/frame_transfer.h"

#include <algorithm>
#include <cstdint>

#include "session/channel_levels.h"
#include "session/scene_light.h"

namespace qb_ofx {
namespace {

constexpr std::size_t kRed = 0;
constexpr std::size_t kGreen = 1;
constexpr std::size_t kBlue = 2;
constexpr std::size_t kAlpha = 3;

bool has_alpha(const ImageView& image) {
    return image.components == Components::kRGBA;
}

PF_Pixel8 byte_in(const std::uint8_t* s, const ImageView& image) {
    const auto alpha = has_alpha(image) ? s[kAlpha] : static_cast<std::uint8_t>(session::kMax8);
    return {alpha, s[kRed], s[kGreen], s[kBlue]};
}

void byte_out(const PF_Pixel8& p, std::uint8_t* d, const ImageView& image) {
    d[kRed] = p.red;
    d[kGreen] = p.green;
    d[kBlue] = p.blue;
    if (has_alpha(image)) {
        d[kAlpha] = p.alpha;
    }
}

PF_Pixel16 short_in(const std::uint16_t* s, const ImageView& image) {
    const auto level = session::file16_to_world16;
    const auto alpha =
        has_alpha(image) ? level(s[kAlpha]) : static_cast<std::uint16_t>(session::kMaxWorld16);
    return {alpha, level(s[kRed]), level(s[kGreen]), level(s[kBlue])};
}

void short_out(const PF_Pixel16& p, std::uint16_t* d, const ImageView& image) {
    const auto level = session::world16_to_file16;
    d[kRed] = level(p.red);
    d[kGreen] = level(p.green);
    d[kBlue] = level(p.blue);
    if (has_alpha(image)) {
        d[kAlpha] = level(p.alpha);
    }
}

PF_PixelFloat float_in(const float* s, const ImageView& image) {
    PF_PixelFloat p{has_alpha(image) ? s[kAlpha] : 1.0f, s[kRed], s[kGreen], s[kBlue]};
    session::clean_pixel(p);
    return image.premultiplied ? session::unpremultiplied(p) : p;
}

void float_out(const PF_PixelFloat& straight, float* d, const ImageView& image) {
    const PF_PixelFloat p = image.premultiplied ? session::premultiplied(straight) : straight;
    d[kRed] = p.red;
    d[kGreen] = p.green;
    d[kBlue] = p.blue;
    if (has_alpha(image)) {
        d[kAlpha] = p.alpha;
    }
}

template <class Sample, class Pixel, class At, class In>
void read_rows(const ImageView& image, host::World& world, At at, In in) {
    for (int y = image.bounds.y1; y < image.bounds.y2; ++y) {
        const int row = image.bounds.y2 - 1 - y;
        for (int x = image.bounds.x1; x < image.bounds.x2; ++x) {
            const auto* samples = reinterpret_cast<const Sample*>(pixel_address(image, x, y));
            at(world, x - image.bounds.x1, row) = in(samples, image);
        }
    }
}

template <class Sample, class At, class Out>
void write_rows(const host::World& frame, const OfxRectI& frame_bounds, const ImageView& output,
                const OfxRectI& window, At at, Out out) {
    const int x1 = std::max(window.x1, output.bounds.x1);
    const int x2 = std::min(window.x2, output.bounds.x2);
    const int y1 = std::max(window.y1, output.bounds.y1);
    const int y2 = std::min(window.y2, output.bounds.y2);
    const std::size_t channels = channel_count(output.components);
    for (int y = y1; y < y2; ++y) {
        for (int x = x1; x < x2; ++x) {
            auto* samples = reinterpret_cast<Sample*>(pixel_address(output, x, y));
            const bool inside = x >= frame_bounds.x1 && x < frame_bounds.x2 &&
                                y >= frame_bounds.y1 && y < frame_bounds.y2;
            if (inside) {
                out(at(frame, x - frame_bounds.x1, frame_bounds.y2 - 1 - y), samples, output);
            } else {
                std::fill(samples, samples + channels, Sample{});
            }
        }
    }
}

}  // namespace

host::World::Depth world_depth(PixelDepth depth) {
    switch (depth) {
        case PixelDepth::kShort:
            return host::World::Depth::k16;
        case PixelDepth::kFloat:
            return host::World::Depth::kFloat;
        case PixelDepth::kByte:
            break;
    }
    return host::World::Depth::k8;
}

std::unique_ptr<host::World> frame_world(const ImageView& source) {
    auto world =
        std::make_unique<host::World>(source.width(), source.height(), world_depth(source.depth));
    switch (source.depth) {
        case PixelDepth::kShort:
            read_rows<std::uint16_t, PF_Pixel16>(
                source, *world,
                [](host::World& w, int x, int y) -> PF_Pixel16& { return w.pixel16(x, y); },
                short_in);
            break;
        case PixelDepth::kFloat:
            read_rows<float, PF_PixelFloat>(
                source, *world,
                [](host::World& w, int x, int y) -> PF_PixelFloat& { return w.pixel_float(x, y); },
                float_in);
            break;
        case PixelDepth::kByte:
            read_rows<std::uint8_t, PF_Pixel8>(
                source, *world,
                [](host::World& w, int x, int y) -> PF_Pixel8& { return w.pixel8(x, y); }, byte_in);
            break;
    }
    return world;
}

void write_frame(const host::World& frame, const OfxRectI& frame_bounds, const ImageView& output,
                 const OfxRectI& window) {
    switch (output.depth) {
        case PixelDepth::kShort:
            write_rows<std::uint16_t>(
                frame, frame_bounds, output, window,
                [](const host::World& w, int x, int y) -> const PF_Pixel16& {
                    return w.pixel16(x, y);
                },
                short_out);
            break;
        case PixelDepth::kFloat:
            write_rows<float>(
                frame, frame_bounds, output, window,
                [](const host::World& w, int x, int y) -> const PF_PixelFloat& {
                    return w.pixel_float(x, y);
                },
                float_out);
            break;
        case PixelDepth::kByte:
            write_rows<std::uint8_t>(
                frame, frame_bounds, output, window,
                [](const host::World& w, int x, int y) -> const PF_Pixel8& {
                    return w.pixel8(x, y);
                },
                byte_out);
            break;
    }
}

}  // namespace qb_ofx
