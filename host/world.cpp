#include "host/world.h"

#include <algorithm>
#include <cstddef>

namespace host {
namespace {

std::size_t pixel_size(World::Depth depth) {
    return depth == World::Depth::k8 ? sizeof(PF_Pixel8) : sizeof(PF_Pixel16);
}

template <class Pixel>
void fill(World& world, Pixel value, Pixel& (World::*pixel)(int, int)) {
    for (int y = 0; y < world.height(); ++y) {
        for (int x = 0; x < world.width(); ++x) {
            (world.*pixel)(x, y) = value;
        }
    }
}

}  // namespace

World::World(int width, int height, Depth depth, int row_padding_bytes) : depth_(depth) {
    const std::size_t rowbytes = static_cast<std::size_t>(std::max(width, 0)) * pixel_size(depth) +
                                 static_cast<std::size_t>(std::max(row_padding_bytes, 0));
    pixels_.assign(rowbytes * static_cast<std::size_t>(std::max(height, 0)), 0);
    def_.layer_marker = 1;
    def_.data = pixels_.data();
    def_.rowbytes = static_cast<A_long>(rowbytes);
    def_.width = width;
    def_.height = height;
    def_.world_flags = depth == Depth::k16 ? PF_WorldFlag_DEEP : 0;
    def_.extent_hint = {0, 0, static_cast<A_short>(height), static_cast<A_short>(width)};
}

const PF_Pixel8& World::pixel8(int x, int y) const {
    return reinterpret_cast<const PF_Pixel8*>(pixels_.data() +
                                              static_cast<std::size_t>(y) * def_.rowbytes)[x];
}

const PF_Pixel16& World::pixel16(int x, int y) const {
    return reinterpret_cast<const PF_Pixel16*>(pixels_.data() +
                                               static_cast<std::size_t>(y) * def_.rowbytes)[x];
}

PF_Pixel8& World::pixel8(int x, int y) {
    return const_cast<PF_Pixel8&>(static_cast<const World&>(*this).pixel8(x, y));
}

PF_Pixel16& World::pixel16(int x, int y) {
    return const_cast<PF_Pixel16&>(static_cast<const World&>(*this).pixel16(x, y));
}

void World::fill8(PF_Pixel8 value) {
    fill<PF_Pixel8>(*this, value, &World::pixel8);
}

void World::fill16(PF_Pixel16 value) {
    fill<PF_Pixel16>(*this, value, &World::pixel16);
}

}  // namespace host
