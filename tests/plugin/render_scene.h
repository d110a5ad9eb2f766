// Frames for render tests: textured pictures with highlights, distance layers, and worlds whose
// rows are longer than their pixels.
#ifndef QB_TESTS_PLUGIN_RENDER_SCENE_H
#define QB_TESTS_PLUGIN_RENDER_SCENE_H

#include <cstdint>
#include <functional>
#include <string>

#include "host/emulated_host.h"
#include "host/world.h"

namespace qb_test {

// Fills every channel of `world` from a seeded texture: smooth gradients, fine grain and a few
// bright points, with alpha mostly opaque and some transparent and partly transparent patches.
void paint_texture(host::World& world, uint32_t seed);

// Sets the red channel of every pixel of `layer` to `distance(x, y)` (0..255), scaled to 16-bit
// levels for a 16-bit layer; the other channels get unrelated values.
void paint_distances(host::World& layer, const std::function<int(int x, int y)>& distance);

// The channel value of a pixel as an int, for worlds of either depth.
int channel(const host::World& world, int x, int y, int c);

// Chooses the shape folder `shape` in the "Iris Shape" popup the module declared; a test fails
// when the popup has no such entry.
void choose_shape(host::EmulatedHost& effect, const std::string& shape);

}  // namespace qb_test

#endif
