// The pass's source as levels (Src_Data_sh): four a pixel, scaled alpha first, each a level the
// photon light tables are indexed by. Only the pixels the pass reads are prepared.
#ifndef QB_ENGINE_PREPARED_SOURCE_H
#define QB_ENGINE_PREPARED_SOURCE_H

#include <cstdint>

#include "engine/alpha_levels.h"
#include "engine/engine_failures.h"
#include "engine/pass_inputs.h"
#include "engine/row_reach.h"
#include "platform/allocation.h"

struct PreparedSource {
    platform::OwnedArray<uint16_t> Src_Data_sh;
    // Row stride of Src_Data_sh in 16-bit values: the 16-bit source's own, 4 × width otherwise.
    int32_t src16_stride = 0;

    // Fills Src_Data_sh from the pass's source frame, spreading rows over threads. Refuses while
    // Src_Data_sh is held, and a source whose stride is shorter than a row. A float source is
    // only checked: it is read as it is.
    EngineStatus pre_process_RGB_cf(const PassInputs& in);

    // The alpha levels of the prepared pixels, learnt while each row was in hand, when the pass
    // reads exactly those: the columns `read`, and the rows within `row_reach` of a processed
    // one. Null otherwise, and for a float source.
    const AlphaLevels* prepared_alpha(row_reach::ColumnSpan read, int32_t row_reach) const;

  private:
    AlphaLevels alpha_;
    // What alpha_ was learnt from; no column before the source is prepared.
    row_reach::ColumnSpan alpha_columns_{0, 0};
    int32_t alpha_row_reach_ = 0;

    // Only what the pass reads is prepared: a pass over a few rows or columns costs those.
    void prepare_read_pixels(const PassInputs& in);
};

#endif
