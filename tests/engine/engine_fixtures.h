// Builders for engine tests: a heap engine, iris images and pass inputs.
#ifndef QB_TESTS_ENGINE_ENGINE_FIXTURES_H
#define QB_TESTS_ENGINE_ENGINE_FIXTURES_H

#include <cstdint>
#include <memory>
#include <vector>

#include "engine/bokeh_engine.h"
#include "platform/allocation.h"

namespace engine_test {

// Published figures carry six significant digits.
inline constexpr double kSixDigits = 2e-6;

// The engine holds large tables; tests keep it on the heap.
inline std::unique_ptr<BokehEngine> make_engine() {
    return std::make_unique<BokehEngine>();
}

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

// Hands the engine a packed, measured iris as render_bokeh would.
inline void pack_iris(BokehEngine& engine, const std::vector<uint8_t>& image, int32_t side,
                      int32_t bytes_per_pixel, int32_t alpha_first = 0) {
    engine.set_iris_image(alpha_first, bytes_per_pixel, side, side, image.data(),
                          side * bytes_per_pixel);
    engine.pack_pattern_alpha();
    engine.measure_pattern();
}

// Puts a float plane of size w x h into size slot 0, as resizing leaves it.
inline void put_size_pattern(BokehEngine& engine, const std::vector<float>& planes, int32_t w,
                             int32_t h, int32_t channels) {
    platform::release_array(engine.m_mapzp[0]);
    engine.m_mapzp[0] = platform::allocate_array<float>(planes.size());
    for (size_t i = 0; i < planes.size(); ++i) {
        engine.m_mapzp[0][i] = planes[i];
    }
    engine.size_width[0] = w;
    engine.size_height[0] = h;
    engine.pattern_channels = channels;
}

// An 8-bit pass over a whole frame of packed rows with a square iris of three bytes a pixel,
// without blur map or row mask, handed over with the render driver's calls.
struct FramePass {
    int32_t width;
    int32_t height;
    const uint8_t* source;
    float* accum;
    float* weight;
    const std::vector<uint8_t>* iris;
    int32_t iris_side;
    double diameter;
    double hardness;
    float alpha_scale;
};

inline void set_up_frame_pass(BokehEngine& e, const FramePass& pass) {
    constexpr int32_t kIrisBytes = 3;
    constexpr int32_t kLevels8 = 256;
    e.set_alpha_scale(pass.alpha_scale, pass.weight, 0);
    e.set_options(1, 0);
    e.set_region(nullptr, 0, nullptr);
    e.set_run_parameters(pass.diameter, 0.0, pass.hardness, 1.0, 1.0, 0.0);
    e.set_source_frame(1, 4, pass.width, pass.height, pass.source, pass.width * 4, nullptr, 0,
                       kLevels8);
    e.set_iris_image(0, kIrisBytes, pass.iris_side, pass.iris_side, pass.iris->data(),
                     pass.iris_side * kIrisBytes);
    e.set_accumulator(1, 4, pass.accum, pass.width * 4, 0);
}

// Releases whatever a stage left, so that each test ends with nothing held.
inline void release_all(BokehEngine& engine) {
    engine.free_pattern_buffers();
    engine.free_size_patterns();
}

}  // namespace engine_test

#endif
