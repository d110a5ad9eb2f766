#include "host/world.h"

#include <algorithm>
#include <cstddef>

namespace host {
namespace {

PF_WorldFlags flags_of(World::Depth depth) {
    switch (depth) {
        case World::Depth::k16:
            return PF_WorldFlag_DEEP;
        case World::Depth::kFloat:
            return PF_WorldFlag_FLOAT;
        case World::Depth::k8:
            break;
    }
    return 0;
}

template <class Pixel>
const Pixel& pixel_at(const std::vector<uint8_t>& pixels, A_long rowbytes, int x, int y) {
    return reinterpret_cast<const Pixel*>(pixels.data() +
                                          static_cast<std::size_t>(y) * rowbytes)[x];
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

std::size_t pixel_size_of(PF_WorldFlags flags) {
    if (flags & PF_WorldFlag_FLOAT) {
        return sizeof(PF_PixelFloat);
    }
    return (flags & PF_WorldFlag_DEEP) ? sizeof(PF_Pixel16) : sizeof(PF_Pixel8);
}

std::size_t World::pixel_size(Depth depth) {
    return pixel_size_of(flags_of(depth));
}

World::World(int width, int height, Depth depth, int row_padding_bytes) : depth_(depth) {
    const std::size_t rowbytes = static_cast<std::size_t>(std::max(width, 0)) * pixel_size(depth) +
                                 static_cast<std::size_t>(std::max(row_padding_bytes, 0));
    pixels_.assign(rowbytes * static_cast<std::size_t>(std::max(height, 0)), 0);
    def_.layer_marker = 1;
    def_.data = pixels_.data();
    def_.rowbytes = static_cast<A_long>(rowbytes);
    def_.width = width;
    def_.height = height;
    def_.world_flags = flags_of(depth);
    def_.extent_hint = {0, 0, static_cast<A_short>(height), static_cast<A_short>(width)};
}

const PF_Pixel8& World::pixel8(int x, int y) const {
    return pixel_at<PF_Pixel8>(pixels_, def_.rowbytes, x, y);
}

const PF_Pixel16& World::pixel16(int x, int y) const {
    return pixel_at<PF_Pixel16>(pixels_, def_.rowbytes, x, y);
}

const PF_PixelFloat& World::pixel_float(int x, int y) const {
    return pixel_at<PF_PixelFloat>(pixels_, def_.rowbytes, x, y);
}

PF_Pixel8& World::pixel8(int x, int y) {
    return const_cast<PF_Pixel8&>(static_cast<const World&>(*this).pixel8(x, y));
}

PF_Pixel16& World::pixel16(int x, int y) {
    return const_cast<PF_Pixel16&>(static_cast<const World&>(*this).pixel16(x, y));
}

PF_PixelFloat& World::pixel_float(int x, int y) {
    return const_cast<PF_PixelFloat&>(static_cast<const World&>(*this).pixel_float(x, y));
}

void World::fill8(PF_Pixel8 value) {
    fill<PF_Pixel8>(*this, value, &World::pixel8);
}

void World::fill16(PF_Pixel16 value) {
    fill<PF_Pixel16>(*this, value, &World::pixel16);
}

void World::fill_float(PF_PixelFloat value) {
    fill<PF_PixelFloat>(*this, value, &World::pixel_float);
}

}  // namespace host
