// Pictures the benchmarks render: a photograph-like frame and a Distance Layer ramp, built in
// the program so that a benchmark reads no file while it is timed.
#ifndef QB_BENCH_SUPPORT_BENCH_SCENE_H
#define QB_BENCH_SUPPORT_BENCH_SCENE_H

#include <cstdint>
#include <vector>

#include "host/world.h"

namespace bench {

inline constexpr int kHdWidth = 1920;
inline constexpr int kHdHeight = 1080;
inline constexpr int kUhdWidth = 3840;
inline constexpr int kUhdHeight = 2160;

// Gradients of every channel, fine grain, soft blobs of colour and a few thousand bright points
// that bloom into discs; opaque.
host::World photo(int width, int height);

// Distance from near (0) at the top row to far (255) at the bottom, as the ground of a
// landscape: each distance step holds a band of rows.
int ramp_distance(int y, int height);
host::World distance_ramp(int width, int height);
// The same from the left column to the right one: each step a band of columns through every row.
host::World distance_ramp_across(int width, int height);

// The picture's pixels as the render hands them to the engine: 4 bytes alpha, red, green,
// blue, rows packed.
std::vector<uint8_t> packed_pixels(const host::World& picture);

}  // namespace bench

#endif
