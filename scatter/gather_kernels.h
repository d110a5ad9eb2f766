// The gather kernels as the scatter loop drives them: one pass's setup, and one call per output
// pixel with the state the calling thread keeps for its row.
#ifndef QB_SCATTER_GATHER_KERNELS_H
#define QB_SCATTER_GATHER_KERNELS_H

#include <cstdint>

#include "engine/bokeh_engine.h"
#include "scatter/gather_walk.h"
#include "scatter/stamp_cells.h"

namespace scatter {

// Whether the processor runs the vector kernels.
bool has_vector_kernels();

StampKind stamp_kind(const BokehEngine& e);

// The stamp-weighted light around `at`. With `restart` 0, `state` was last used for the pixel
// to the left of `at` in this pass. Reads light_rows.
void gather(const BokehEngine& e, const KernelSetup& setup, KernelState& state, Position at,
            int32_t restart, KernelResult* result);

}  // namespace scatter

#endif
