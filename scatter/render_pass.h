// A pass of the bokeh engine: every source pixel of one distance step spread with one disc into
// the accumulator the caller hands it.
//
// Principles shared by the operations here:
// - A pass takes const inputs (engine/pass_inputs.h) and only adds into its accumulator: it
//   never overwrites a value there, so passes may run in any order into one accumulator.
// - Failures come back as values: the pass's outcome carries the failing stage's code and fixed
//   text (engine/engine_failures.h); nothing throws and nothing is retried.
// - The buffers a pass builds belong to values local to the pass and are gone when it returns,
//   whatever way it returns; the engine it is given keeps only its tables.
// - Inside a pass, pre-processing and the scatter loop spread their rows over the threads of
//   platform/parallel_rows.h; each thread keeps its own kernel sums, and progress is reported
//   from the calling thread alone, in row order. Two passes with two engines and two
//   accumulators may run on two threads at once.
// - A blurred pass sums the light under its stamp by walking the stamp along rows, or through
//   Fourier transforms of the whole frame where that costs less (transform_sums.h); the sums
//   agree to float64 rounding. A transformed pass spreads its results over the threads and
//   reports progress as each begins.
#ifndef QB_SCATTER_RENDER_PASS_H
#define QB_SCATTER_RENDER_PASS_H

#include <cstdint>
#include <functional>

#include "engine/bokeh_engine.h"
#include "engine/engine_failures.h"
#include "engine/pass_inputs.h"
#include "scatter/pass_view.h"

namespace scatter {

// The caller's answer to `done` of `total`; non-zero stops the pass.
using ProgressFn = std::function<int(int done, int total)>;

struct PassOutcome {
    int32_t error_code = 0;  // engine_failure, or 0
    const char* message = "";
    // The light of the middle level, as the latest pass that made photons left it.
    float mid_light = 0.0f;
};

// Builds the pass's parts (engine/pass_parts.h) and runs the scatter loop over them, stopping at
// the first failure. A pass whose loop ran, stopped or not, ends with a report of 0 done.
PassOutcome render_bokeh(BokehEngine& engine, const PassInputs& in, const Accumulator& out,
                         const ProgressFn& progress);

// The scatter loop alone, over parts made already: every output pixel the pass computes gets
// light, never colour, added into `out`. A stop asked for by `progress` answers kCancelled.
EngineStatus run_pix_loop(const PassView& pass, const Accumulator& out, LightTables& light_tables,
                          const ProgressFn& progress);

}  // namespace scatter

#endif
