// The pass's stamp (newPattern): the resized iris quantised to bytes by the pass's quality and
// turned by 180 degrees, so that gathering through it spreads each source pixel in the iris's own
// orientation; with what the gather kernels read about it. The kernels only read it.
#ifndef QB_ENGINE_STAMP_H
#define QB_ENGINE_STAMP_H

#include <cstdint>

#include "engine/engine_failures.h"
#include "engine/iris_pattern.h"
#include "engine/pass_inputs.h"
#include "engine/size_pattern.h"
#include "platform/allocation.h"

struct Stamp {
    static constexpr int kMaxStampRows = 1024;
    static constexpr int kStampValues = 256;
    static constexpr int kPlanes = 4;

    platform::OwnedArray<uint8_t> newPattern;
    int32_t channels = 0;  // planes stored: those of the size pattern
    int32_t width = 0;
    int32_t height = 0;
    int32_t half_width = 0;
    int32_t half_height = 0;
    // The planes the kernels read as mask, first, second and third colour, inside newPattern.
    const uint8_t* stamp_planes[kPlanes] = {};
    // Per row, the columns of non-zero cells [span_first, span_end) (-1 for none) and of full
    // cells [full_first, full_end).
    int32_t span_first[kMaxStampRows] = {};
    int32_t span_end[kMaxStampRows] = {};
    int32_t full_first[kMaxStampRows] = {};
    int32_t full_end[kMaxStampRows] = {};
    // Whether some row's full cells have a lesser cell between them.
    bool has_holes = false;
    // Per stored plane, 1 / the weight of the whole plane.
    float channel_norm[kPlanes] = {};
    // The distinct byte values of the stamp, 0 always among them, and each value's index.
    int32_t value_count = 0;
    int32_t stamp_values[kStampValues] = {};
    int32_t value_index[kStampValues] = {};

    // Quantises `sized` by the pass's quality (the rule depends on the blur and the depth).
    // Refuses while newPattern is held, and a stamp taller than the span tables.
    EngineStatus new_pattern(const SizePattern& sized, const PassInputs& in);
};

// The pass's stamp from its packed iris: resized to the pass's blur, then quantised. A blur of
// exactly 1 needs no stamp and leaves both untouched.
EngineStatus prepare_pattern(const IrisPattern& pattern, const PassInputs& in, SizePattern& sized,
                             Stamp& stamp);

#endif
