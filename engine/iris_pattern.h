// The iris image packed for resizing (Pattern): per pixel a mask byte, then the colour bytes in
// red, green, blue order, or mask and grey alone when every pixel is grey; and each row's first
// and last non-zero column.
#ifndef QB_ENGINE_IRIS_PATTERN_H
#define QB_ENGINE_IRIS_PATTERN_H

#include <cstdint>

#include "engine/engine_failures.h"
#include "engine/pass_inputs.h"
#include "platform/allocation.h"

class IrisPattern {
  public:
    // Packs `iris` into Pattern, replacing what it held; refuses an empty iris and a row stride
    // shorter than a row. On failure nothing is held.
    EngineStatus pack_pattern_alpha(const IrisImage& iris);
    // Finds the rows' extents and collapses an all-grey pattern to mask and grey.
    void measure_pattern();

    const uint8_t* Pattern() const { return Pattern_.get(); }
    const int32_t* row_first() const { return row_first_.get(); }
    const int32_t* row_last() const { return row_last_.get(); }
    // Bytes a packed pixel: 2 (mask, grey), 3 or 4 (mask and colour).
    int32_t channels() const { return channels_; }
    int32_t width() const { return width_; }
    int32_t height() const { return height_; }

  private:
    platform::OwnedArray<uint8_t> Pattern_;
    platform::OwnedArray<int32_t> row_first_;
    platform::OwnedArray<int32_t> row_last_;
    int32_t channels_ = 0;
    int32_t width_ = 0;
    int32_t height_ = 0;
};

#endif
