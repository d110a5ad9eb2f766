#include "host/world.h"

#include <algorithm>
#include <cstddef>

namespace host {
namespace {

std::size_t pixel_size(World::Depth depth) {
    return depth == World::Depth::k8 ? sizeof(PF_Pixel8) : sizeof(PF_Pixel16);
}

}  // namespace

World::World(int width, int height, Depth depth)
    : depth_(depth),
      pixels_(static_cast<std::size_t>(std::max(width, 0)) * std::max(height, 0) *
              pixel_size(depth)) {
    def_.layer_marker = 1;
    def_.data = pixels_.data();
    def_.rowbytes = static_cast<A_long>(std::max(width, 0) * pixel_size(depth));
    def_.width = width;
    def_.height = height;
    def_.world_flags = depth == Depth::k16 ? PF_WorldFlag_DEEP : 0;
    def_.extent_hint = {0, 0, static_cast<A_short>(height), static_cast<A_short>(width)};
}

PF_Pixel8& World::pixel8(int x, int y) {
    return reinterpret_cast<PF_Pixel8*>(pixels_.data() +
                                        static_cast<std::size_t>(y) * def_.rowbytes)[x];
}

PF_Pixel16& World::pixel16(int x, int y) {
    return reinterpret_cast<PF_Pixel16*>(pixels_.data() +
                                         static_cast<std::size_t>(y) * def_.rowbytes)[x];
}

void World::fill8(PF_Pixel8 value) {
    for (int y = 0; y < height(); ++y) {
        for (int x = 0; x < width(); ++x) {
            pixel8(x, y) = value;
        }
    }
}

}  // namespace host
