// The parts of one pass, each owning its buffers: the pre-processed source, the packed iris, the
// iris resized to the pass's disc, and the stamp. They live as long as the pass, so that a pass
// frees what it made in one place, on whatever way it ends.
#ifndef QB_ENGINE_PASS_PARTS_H
#define QB_ENGINE_PASS_PARTS_H

#include "engine/engine_failures.h"
#include "engine/iris_pattern.h"
#include "engine/pass_inputs.h"
#include "engine/photons.h"
#include "engine/prepared_source.h"
#include "engine/size_pattern.h"
#include "engine/stamp.h"

struct PassParts {
    PreparedSource source;
    IrisPattern pattern;
    SizePattern sized;
    Stamp stamp;
};

// Pre-processes the source, packs and measures the iris, makes the stamp of the pass's blur and
// the photon light, in that order, stopping at the first failure. `parts` must be fresh: a part
// refuses to fill a buffer it still holds.
EngineStatus build_pass_parts(const PassInputs& in, PassParts& parts, PhotonLight& photons);

#endif
