// Test images laid out as a host lays them out: rows upwards from bounds.y1, optionally stored
// bottom row last (negative row bytes) and with padding after each row.
#ifndef QB_TESTS_OFX_IMAGE_BUFFER_H
#define QB_TESTS_OFX_IMAGE_BUFFER_H

#include <cstddef>
#include <vector>

#include "ofx/image_view.h"

namespace qb_test {

template <class Sample>
class ImageBuffer {
  public:
    ImageBuffer(OfxRectI bounds, qb_ofx::PixelDepth depth, qb_ofx::Components components,
                bool rows_down, int padding = 0)
        : channels_(qb_ofx::channel_count(components)) {
        const int width = bounds.x2 - bounds.x1;
        const int height = bounds.y2 - bounds.y1;
        stride_ = static_cast<int>(width * channels_ * sizeof(Sample)) + padding;
        bytes_.assign(static_cast<std::size_t>(stride_) * height, 0xEE);
        view_.bounds = bounds;
        view_.depth = depth;
        view_.components = components;
        // With rows stored downwards the first row in memory is the top one (y2 - 1).
        view_.row_bytes = rows_down ? -stride_ : stride_;
        view_.data = rows_down ? bytes_.data() + static_cast<std::size_t>(stride_) * (height - 1)
                               : bytes_.data();
    }

    Sample* at(int x, int y) {
        return reinterpret_cast<Sample*>(qb_ofx::pixel_address(view_, x, y));
    }
    qb_ofx::ImageView& view() { return view_; }

  private:
    std::size_t channels_;
    int stride_ = 0;
    std::vector<unsigned char> bytes_;
    qb_ofx::ImageView view_;
};

}  // namespace qb_test

#endif
