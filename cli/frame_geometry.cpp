#include "cli/frame_geometry.h"

#include <algorithm>
#include <cstring>

namespace cli {
namespace {

// Division rounding toward minus infinity, for origins left of or above zero.
int floor_div(int value, int divisor) {
    return value / divisor - (value % divisor != 0 && (value < 0) != (divisor < 0));
}

int ceil_div(int value, int divisor) {
    return -floor_div(-value, divisor);
}

PixelWindow from_edges(int left, int top, int right, int bottom) {
    return {left, top, right - left, bottom - top};
}

std::size_t pixel_bytes(host::World::Depth depth) {
    switch (depth) {
        case host::World::Depth::k8:
            return sizeof(PF_Pixel8);
        case host::World::Depth::k16:
            return sizeof(PF_Pixel16);
        case host::World::Depth::kFloat:
            break;
    }
    return sizeof(PF_PixelFloat);
}

// The first byte of a row, whatever the depth: pixel 0 lies at the row's start.
const std::uint8_t* row_of(const host::World& world, int y) {
    return reinterpret_cast<const std::uint8_t*>(&world.pixel8(0, y));
}

std::uint8_t* row_of(host::World& world, int y) {
    return reinterpret_cast<std::uint8_t*>(&world.pixel8(0, y));
}

}  // namespace

PixelWindow union_of(const PixelWindow& a, const PixelWindow& b) {
    return from_edges(std::min(a.x, b.x), std::min(a.y, b.y), std::max(a.right(), b.right()),
                      std::max(a.bottom(), b.bottom()));
}

PixelWindow reduced(const PixelWindow& window, int factor) {
    return from_edges(floor_div(window.x, factor), floor_div(window.y, factor),
                      ceil_div(window.right(), factor), ceil_div(window.bottom(), factor));
}

PixelWindow aligned(const PixelWindow& window, int factor) {
    const PixelWindow blocks = reduced(window, factor);
    return {blocks.x * factor, blocks.y * factor, blocks.width * factor, blocks.height * factor};
}

FrameGeometry whole_world(int width, int height) {
    const PixelWindow all{0, 0, width, height};
    return {all, all, all};
}

FrameGeometry reduced(const FrameGeometry& geometry, int factor) {
    return {reduced(geometry.frame, factor), reduced(geometry.data, factor),
            reduced(geometry.display, factor)};
}

session::PointXY frame_point(const FrameGeometry& geometry, const session::PointXY& point) {
    return {point.x + geometry.display.x - geometry.frame.x,
            point.y + geometry.display.y - geometry.frame.y};
}

void place_in_frame(const host::World& layer, const PixelWindow& at, const PixelWindow& frame,
                    host::World& frame_world) {
    const int left = std::max(at.x, frame.x);
    const int right = std::min(at.right(), frame.right());
    if (right <= left) {
        return;
    }
    const std::size_t bytes = pixel_bytes(layer.depth());
    const std::size_t row_bytes = static_cast<std::size_t>(right - left) * bytes;
    for (int y = std::max(at.y, frame.y); y < std::min(at.bottom(), frame.bottom()); ++y) {
        const std::uint8_t* from =
            row_of(layer, y - at.y) + static_cast<std::size_t>(left - at.x) * bytes;
        std::uint8_t* to =
            row_of(frame_world, y - frame.y) + static_cast<std::size_t>(left - frame.x) * bytes;
        std::memcpy(to, from, row_bytes);
    }
}

}  // namespace cli
