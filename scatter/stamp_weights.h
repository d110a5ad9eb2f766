// The weight of the stamp cells that lie over frame pixels, for any output pixel at once: one
// summed-area table per stamp plane, so that a rectangle of cells is four reads whatever the
// stamp's size.
#ifndef QB_SCATTER_STAMP_WEIGHTS_H
#define QB_SCATTER_STAMP_WEIGHTS_H

#include <cstddef>
#include <cstdint>

#include "platform/allocation.h"
#include "scatter/gather_walk.h"
#include "scatter/pass_view.h"

namespace scatter {

class StampWeights {
  public:
    // Tables for the planes of the four channels (equal pointers share a table); false when
    // their memory is refused.
    bool build(const PassView& e, const uint8_t* const* planes);

    // Channel k's weight in the cells of `w` that lie in the frame.
    int32_t in_frame(int k, const StampWindow& w) const {
        const int32_t* t = table_of_[k];
        return t[w.bottom * stride_ + w.keep] - t[w.top * stride_ + w.keep] -
               t[w.bottom * stride_ + w.cut] + t[w.top * stride_ + w.cut];
    }

    // Whether channels j and k are weighted by the same plane.
    bool same_table(int j, int k) const { return table_of_[j] == table_of_[k]; }

    // Channel k's weight in the whole stamp.
    int32_t total(int k) const { return table_of_[k][height_ * stride_ + width_]; }

  private:
    platform::OwnedArray<int32_t> tables_;
    const int32_t* table_of_[kLevelsPerPixel] = {};
    std::ptrdiff_t stride_ = 0;
    int32_t width_ = 0;
    int32_t height_ = 0;
};

}  // namespace scatter

#endif
