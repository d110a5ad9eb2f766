// What the scatter loop and the gather kernels of one pass read: the pass's inputs and the parts
// the engine built from them, all finished before the loop starts and never changed by it, so
// that any number of threads may read them at once.
#ifndef QB_SCATTER_PASS_VIEW_H
#define QB_SCATTER_PASS_VIEW_H

#include <cstdint>

#include "engine/pass_inputs.h"
#include "engine/photons.h"
#include "engine/prepared_source.h"
#include "engine/stamp.h"

namespace scatter {

struct PassView {
    PassView(const PassInputs& inputs, const PreparedSource& prepared, const Stamp& pass_stamp,
             const PhotonLight& photon_light)
        : in(inputs),
          source(prepared),
          stamp(pass_stamp),
          photons(photon_light),
          width(inputs.source.width),
          height(inputs.source.height) {}

    const PassInputs& in;
    const PreparedSource& source;
    const Stamp& stamp;
    const PhotonLight& photons;
    // The frame's.
    const int32_t width;
    const int32_t height;
};

}  // namespace scatter

#endif
