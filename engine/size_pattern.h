// The packed iris resampled to the pass's disc (m_mapzp): float cells, plane after plane, each
// plane `width` × `height` cells, the disc's cells summing the iris's energy; for a small disc
// with small-disc handling, smeared by a Gaussian over a slightly larger square.
#ifndef QB_ENGINE_SIZE_PATTERN_H
#define QB_ENGINE_SIZE_PATTERN_H

#include <cstdint>

#include "engine/engine_failures.h"
#include "engine/iris_pattern.h"
#include "platform/allocation.h"

// The odd cell count of a stamp for the blur `blur`; a blur not above 0 counts as 0. Small-disc
// handling (`micro`) gives a small disc the larger square it is smeared over.
int32_t odd_diameter(double blur, bool micro);

struct SizePattern {
    platform::OwnedArray<float> m_mapzp;
    int32_t width = 0;
    int32_t height = 0;
    int32_t channels = 0;

    // Resamples `pattern` to a disc of `blur` pixels, then smears it when `micro` asks for it
    // and the disc is small.
    EngineStatus resize_pattern(const IrisPattern& pattern, double blur, bool micro);

  private:
    EngineStatus smear_micro_pattern_if(double blur, bool micro);
};

#endif
