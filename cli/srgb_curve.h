// The sRGB transfer curve (IEC 61966-2-1), between the encoded values of 8-bit and 16-bit files
// (0..1) and linear light, converted in place. Computed in double precision: the image library's
// own curve is an approximation that moves about one 16-bit level in twenty on a round trip,
// and a file read with --light linear and written back must come back as it was.
#ifndef QB_CLI_SRGB_CURVE_H
#define QB_CLI_SRGB_CURVE_H

#include <cstddef>

#include "host/world.h"

namespace cli {

float srgb_to_linear(float encoded);
float linear_to_srgb(float linear);

// Every pixel of a float world, alpha untouched.
void srgb_to_linear(host::World& world);

// The red, green and blue of `count` pixels: the first red at `first_red`, consecutive pixels
// `stride` floats apart, green and blue following red. Values must lie in 0..1: the curve is not
// meant for anything beyond.
void linear_to_srgb(float* first_red, std::size_t count, std::size_t stride);

}  // namespace cli

#endif
