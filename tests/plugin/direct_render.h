// A whole render computed the plain way, for comparison with the module: every output pixel is
// the stamp-weighted light of the layer pixels around it, normalised by the weight of the stamp
// cells inside the region, and converted back. Only the stamp comes from the engine (its own
// tests pin it down); the scatter, the normalisation and the conversion are written out here.
#ifndef QB_TESTS_PLUGIN_DIRECT_RENDER_H
#define QB_TESTS_PLUGIN_DIRECT_RENDER_H

#include <array>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "host/world.h"

namespace qb_test {

// The engine's stamp for one diameter: the planes that weight S0..S3 and the weight sum, each
// `width` x `height` cells, in the orientation the gather reads them.
struct Stamp {
    int width = 0;
    int height = 0;
    std::array<std::vector<uint8_t>, 4> planes;  // weighting alpha, red, green, blue

    uint8_t at(int plane, int row, int column) const {
        return planes[plane][static_cast<size_t>(row) * width + column];
    }
};

// The stamp the engine makes of the shape file of at least `max_effect` pixels in `folder`.
Stamp engine_stamp(const std::string& folder, int max_effect, double diameter, int quality,
                   int levels);

struct DirectSettings {
    double hardness = 1.0;
    double brightness = 1.0;
    float alpha_value = 0.3f;
};

// The expected level of every channel of output pixel (x, y), when the pixels for which
// `belongs` is true are scattered through `stamp` over the whole layer.
std::array<int, 4> direct_pixel(const host::World& input, const Stamp& stamp,
                                const DirectSettings& settings,
                                const std::function<bool(int x, int y)>& belongs, int x, int y);

}  // namespace qb_test

#endif
