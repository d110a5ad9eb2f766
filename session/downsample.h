// Lower-resolution layers, as a host hands them to an effect when it renders at 1/N resolution.
#ifndef QB_SESSION_DOWNSAMPLE_H
#define QB_SESSION_DOWNSAMPLE_H

#include <memory>

#include "host/world.h"

namespace session {

// Each output pixel is the mean of an N x N block, rounded for integer channels (blocks at the
// right and bottom edges may be smaller); the result is ceil(width / N) x ceil(height / N), of
// the same depth.
std::unique_ptr<host::World> downsample(const host::World& layer, int factor);

}  // namespace session

#endif
