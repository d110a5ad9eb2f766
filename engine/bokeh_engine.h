// The bokeh engine: the parts one pass builds before its scatter loop, each a value type that
// owns its buffers (the pre-processed source, the packed iris, the resized pattern, the stamp,
// the photon light), and the tables a render's passes keep between them.
//
// Principles shared by the engine's parts:
// - A stage answers an EngineStatus (engine/engine_failures.h): code 0, or the code and fixed
//   text of its failure. Nothing throws and nothing is retried. A stage refuses to allocate a
//   buffer its part still holds.
// - Every buffer is allocated through platform::allocate_array (so that tests can refuse any of
//   them) and owned by the part that made it, released when the part goes or is filled again.
// - The caller owns the pass's inputs (engine/pass_inputs.h) and its accumulator; the parts only
//   read the inputs.
// - Pre-processing spreads its rows, and a large iris's resize its planes, over the threads of
//   platform/parallel_rows.h; nothing else here starts a thread. Nothing is shared between
//   engines or between parts of different passes: two engines may run passes on two threads at
//   once.
#ifndef QB_ENGINE_BOKEH_ENGINE_H
#define QB_ENGINE_BOKEH_ENGINE_H

#include "engine/light_curve.h"
#include "engine/photons.h"

// What a render's passes keep from one to the next, too large for a stack: the photon light of
// the latest pass (the render reads its middle level's light after the last), and the source's
// light per level for unblurred passes, kept while the curve does not change.
struct BokehEngine {
    PhotonLight photons;
    LightTables light_tables;
};

#endif
