// The pass's source as levels (Src_Data_sh): four a pixel, scaled alpha first, each a level the
// photon light tables are indexed by. Only the pixels the pass reads are prepared.
#ifndef QB_ENGINE_PREPARED_SOURCE_H
#define QB_ENGINE_PREPARED_SOURCE_H

#include <cstdint>

#include "engine/engine_failures.h"
#include "engine/pass_inputs.h"
#include "platform/allocation.h"

struct PreparedSource {
    platform::OwnedArray<uint16_t> Src_Data_sh;
    // Row stride of Src_Data_sh in 16-bit values: the 16-bit source's own, 4 × width otherwise.
    int32_t src16_stride = 0;

    // Fills Src_Data_sh from the pass's source frame, spreading rows over threads. Refuses while
    // Src_Data_sh is held, and a source whose stride is shorter than a row. A float source is
    // only checked: it is read as it is.
    EngineStatus pre_process_RGB_cf(const PassInputs& in);

  private:
    // Only what the pass reads is prepared: a pass over a few rows or columns costs those.
    void prepare_read_pixels(const PassInputs& in);
};

#endif
