// Builders for engine tests: iris images, size patterns and pass inputs.
#ifndef QB_TESTS_ENGINE_ENGINE_FIXTURES_H
#define QB_TESTS_ENGINE_ENGINE_FIXTURES_H

#include <algorithm>
#include <cstdint>
#include <vector>

#include "engine/iris_pattern.h"
#include "engine/pass_inputs.h"
#include "engine/size_pattern.h"
#include "platform/allocation.h"

namespace engine_test {

// Published figures carry six significant digits.
inline constexpr double kSixDigits = 2e-6;

// A filled disc of `value` in a square image of `bytes_per_pixel` equal bytes a pixel.
inline std::vector<uint8_t> disc_image(int32_t side, int32_t bytes_per_pixel, uint8_t value) {
    std::vector<uint8_t> image(static_cast<size_t>(side) * side * bytes_per_pixel, 0);
    const double centre = (side - 1) / 2.0;
    const double radius = side / 2.0;
    for (int32_t y = 0; y < side; ++y) {
        for (int32_t x = 0; x < side; ++x) {
            const double dx = x - centre;
            const double dy = y - centre;
            if (dx * dx + dy * dy <= radius * radius) {
                for (int32_t j = 0; j < bytes_per_pixel; ++j) {
                    image[(static_cast<size_t>(y) * side + x) * bytes_per_pixel + j] = value;
                }
            }
        }
    }
    return image;
}

// `image` as an iris of `width` x `height` pixels.
inline IrisImage iris_of(const std::vector<uint8_t>& image, int32_t width, int32_t height,
                         int32_t bytes_per_pixel, int32_t rowbytes, bool alpha_first = false) {
    return IrisImage{alpha_first, bytes_per_pixel, width, height, image.data(), rowbytes};
}

// A square iris packed and measured as a pass does it.
inline IrisPattern pack_iris(const std::vector<uint8_t>& image, int32_t side,
                             int32_t bytes_per_pixel, bool alpha_first = false) {
    IrisPattern pattern;
    pattern.pack_pattern_alpha(
        iris_of(image, side, side, bytes_per_pixel, side * bytes_per_pixel, alpha_first));
    pattern.measure_pattern();
    return pattern;
}

// Float planes of size w x h as resizing leaves them.
inline SizePattern size_pattern(const std::vector<float>& planes, int32_t w, int32_t h,
                                int32_t channels) {
    SizePattern sized;
    sized.m_mapzp = platform::OwnedArray<float>(planes.size());
    std::copy(planes.begin(), planes.end(), sized.m_mapzp.get());
    sized.width = w;
    sized.height = h;
    sized.channels = channels;
    return sized;
}

}  // namespace engine_test

#endif
