// The blur mask of one distance step: the step's opaque pixels grown by half the step's disc,
// first along rows, then along columns, then softened by a 3x3 mean. The engine uses it to know
// which region pixels the step's light can reach and with what weight.
//
// Masks are one byte a region pixel (255: fully reachable, 0: not reachable), rows `width`
// bytes apart. Every function works on a box of rows and columns of the region and leaves the
// rest alone, so a step that touches a small part of the region costs that part.
#ifndef QB_RENDER_STEP_MASK_H
#define QB_RENDER_STEP_MASK_H

#include <cstdint>

#include "platform/parallel_rows.h"
#include "render/band_parts.h"
#include "render/pixel_rows.h"
#include "render/step_workspace.h"

namespace render {

inline constexpr uint8_t kMaskFull = 255;

// The columns a thread takes at once in passes that walk down columns: enough whole cache lines
// that no two threads write to one.
inline constexpr int32_t kColumnBlock = 256;

// One row's horizontal growth: each run of pixels with a non-zero alpha widened by `half`
// pixels to the left and `half` + 1 to the right, clipped to the row's `width`. Every pixel
// with alpha lies in `columns`; the mask row must hold zeros.
void grow_mask_row(const uint8_t* pixels, ChannelDepth depth, int32_t width, int32_t half,
                   Span columns, uint8_t* mask_row);

// The two functions below are stages of a team (platform::RowTeam) whose first stage took the
// parts of the box's band: every thread of it calls them, and each works the rows of the parts
// it took.

// Vertical growth in the box `rows` x `columns`: each run of full bytes in a column grows by
// `half` rows up and down, clipped to the region's `height`. Every row a growth reaches gains
// one in `row_work` per write, so the engine processes rows that receive only spread light. The
// box must hold every full byte and reach `half` rows beyond each.
void grow_mask_columns(platform::RowTeam& team, const BandParts& parts, uint8_t* mask,
                       int32_t width, int32_t height, int32_t half, Span rows, Span columns,
                       StepWorkspace& workspace);

// Replaces every byte of the box `rows` x `columns` by the truncated mean of itself and its
// neighbours inside the region (9 inside, 6 on an edge, 4 at a corner; fewer in a region of one
// row or column). Reads the unchanged mask, including the bytes next to the box.
void smooth_mask(platform::RowTeam& team, const BandParts& parts, uint8_t* mask, int32_t width,
                 int32_t height, int32_t stride, Span rows, Span columns, StepWorkspace& workspace);

}  // namespace render

#endif
