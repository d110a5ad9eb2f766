#include "session/downsample.h"

#include <algorithm>
#include <cstdint>
#include <type_traits>

namespace session {
namespace {

template <class Pixel>
Pixel block_mean(const host::World& layer, int x0, int y0, int factor,
                 const Pixel& (host::World::*pixel)(int, int) const) {
    using Channel = decltype(Pixel{}.red);
    // Integer channels add up exactly; float ones in double, as light may be large.
    using Sum = std::conditional_t<std::is_floating_point_v<Channel>, double, std::uint64_t>;
    const int x1 = std::min(x0 + factor, layer.width());
    const int y1 = std::min(y0 + factor, layer.height());
    Sum sums[4] = {};
    for (int y = y0; y < y1; ++y) {
        for (int x = x0; x < x1; ++x) {
            const Pixel& p = (layer.*pixel)(x, y);
            sums[0] += p.alpha;
            sums[1] += p.red;
            sums[2] += p.green;
            sums[3] += p.blue;
        }
    }
    const auto count = static_cast<Sum>(static_cast<std::uint64_t>(x1 - x0) * (y1 - y0));
    const auto mean = [count](Sum sum) {
        if constexpr (std::is_floating_point_v<Channel>) {
            return static_cast<Channel>(sum / count);
        } else {
            return static_cast<Channel>((sum + count / 2) / count);
        }
    };
    return Pixel{mean(sums[0]), mean(sums[1]), mean(sums[2]), mean(sums[3])};
}

template <class Pixel>
void reduce(const host::World& layer, int factor, host::World& result,
            const Pixel& (host::World::*read)(int, int) const,
            Pixel& (host::World::*write)(int, int)) {
    for (int y = 0; y < result.height(); ++y) {
        for (int x = 0; x < result.width(); ++x) {
            (result.*write)(x, y) = block_mean(layer, x * factor, y * factor, factor, read);
        }
    }
}

}  // namespace

std::unique_ptr<host::World> downsample(const host::World& layer, int factor) {
    const int width = (layer.width() + factor - 1) / factor;
    const int height = (layer.height() + factor - 1) / factor;
    auto result = std::make_unique<host::World>(width, height, layer.depth());
    switch (layer.depth()) {
        case host::World::Depth::k8:
            reduce<PF_Pixel8>(layer, factor, *result, &host::World::pixel8, &host::World::pixel8);
            break;
        case host::World::Depth::k16:
            reduce<PF_Pixel16>(layer, factor, *result, &host::World::pixel16,
                               &host::World::pixel16);
            break;
        case host::World::Depth::kFloat:
            reduce<PF_PixelFloat>(layer, factor, *result, &host::World::pixel_float,
                                  &host::World::pixel_float);
            break;
    }
    return result;
}

}  // namespace session
