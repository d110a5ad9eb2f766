// The engine driver: one pass's parts, then its scatter loop.
#include "scatter/render_pass.h"

#include "engine/pass_parts.h"

namespace scatter {
namespace {

constexpr int kProgressTotal = 100;

EngineStatus run_pass(BokehEngine& engine, const PassInputs& in, const Accumulator& out,
                      const ProgressFn& progress) {
    PassParts parts;
    if (const EngineStatus status = build_pass_parts(in, parts, engine.photons); !status.ok()) {
        return status;
    }
    const PassView pass(in, parts.source, parts.stamp, engine.photons);
    const EngineStatus looped = run_pix_loop(pass, out, engine.light_tables, progress);
    // A loop the caller stopped still ends with the closing report; one that failed does not.
    if (!looped.ok() && looped.code != engine_failure::kCancelled) {
        return looped;
    }
    if (progress != nullptr && progress(0, kProgressTotal) != 0) {
        return {engine_failure::kCancelled, ""};
    }
    return looped;
}

}  // namespace

PassOutcome render_bokeh(BokehEngine& engine, const PassInputs& in, const Accumulator& out,
                         const ProgressFn& progress) {
    const EngineStatus status = run_pass(engine, in, out, progress);
    return PassOutcome{status.code, status.message, engine.photons.mid_light};
}

}  // namespace scatter
