#include "render/engine_pass.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <memory>
#include <vector>

namespace {

constexpr int32_t kWidth = 5;
constexpr int32_t kHeight = 3;

// The render's buffers for a region of kWidth x kHeight, an 8-bit step and a 2 x 2 shape.
struct RenderBuffers {
    std::vector<uint8_t> input8 = std::vector<uint8_t>(kWidth * kHeight * 4, 0);
    std::vector<uint8_t> mask = std::vector<uint8_t>(kWidth * kHeight, 255);
    std::vector<int32_t> row_work = std::vector<int32_t>(kHeight, 1);
    std::vector<float> light = std::vector<float>(kWidth * kHeight * 4, 0.0f);
    std::vector<float> weights = std::vector<float>(kWidth * kHeight, 0.0f);
    std::vector<uint8_t> shape = std::vector<uint8_t>(2 * 7, 255);

    render::PassBuffers pass() {
        render::PassBuffers buffers;
        buffers.width = kWidth;
        buffers.height = kHeight;
        buffers.levels = kLevels8;
        buffers.input8 = input8.data();
        buffers.mask = mask.data();
        buffers.row_work = row_work.data();
        buffers.light = light.data();
        buffers.weights = weights.data();
        buffers.shape = shape.data();
        buffers.shape_width = 2;
        buffers.shape_height = 2;
        buffers.shape_rowbytes = 7;
        return buffers;
    }
};

TEST(EnginePass, TheStepsBlurAndTheSettingsBecomeThePassInputs) {
    RenderBuffers buffers;
    render::PassSettings settings;
    settings.alpha_value = 0.75f;
    settings.use_simd = 0;
    settings.use_micro = 1;
    settings.hardness = 1.75;
    settings.brightness = 0.5;
    settings.quality = 4;
    const render::DistanceStep step{10, 20, 15.0, 3.5};
    const PassInputs in = render::pass_inputs(buffers.pass(), settings, step);

    EXPECT_EQ(in.blur, step.blur);
    EXPECT_EQ(in.hardness, 1.75);
    EXPECT_EQ(in.brightness, 0.5);
    EXPECT_EQ(in.quality, 4);
    EXPECT_EQ(in.alpha_scale, 0.75f);
    EXPECT_FALSE(in.use_simd);
    EXPECT_TRUE(in.use_micro);
    // Region rows are packed: four values a pixel in the source, one byte a pixel in the mask.
    EXPECT_EQ(in.source.width, kWidth);
    EXPECT_EQ(in.source.height, kHeight);
    EXPECT_EQ(in.source.levels, kLevels8);
    EXPECT_EQ(in.source.src8, buffers.input8.data());
    EXPECT_EQ(in.source.src8_rowbytes, kWidth * 4);
    EXPECT_EQ(in.source.src16, nullptr);
    EXPECT_EQ(in.region.blur_map, buffers.mask.data());
    EXPECT_EQ(in.region.blur_map_rowbytes, kWidth);
    EXPECT_EQ(in.region.row_mask, buffers.row_work.data());
    // Shapes arrive blue, green, red, three bytes a pixel.
    EXPECT_FALSE(in.iris.alpha_first);
    EXPECT_EQ(in.iris.bytes_per_pixel, 3);
    EXPECT_EQ(in.iris.pixels, buffers.shape.data());
    EXPECT_EQ(in.iris.rowbytes, 7);
}

TEST(EnginePass, APassAddsIntoTheRendersBuffersAndReportsItsOutcome) {
    RenderBuffers buffers;
    for (size_t i = 0; i < buffers.input8.size(); i += 4) {
        buffers.input8[i] = 255;
        buffers.input8[i + 1] = 200;
    }
    auto engine = std::make_unique<BokehEngine>();
    int reports = 0;
    const scatter::PassOutcome outcome =
        render::run_engine_pass(*engine, buffers.pass(), render::PassSettings{},
                                render::DistanceStep{0, 256, 128.0, 3.0}, [&reports](int, int) {
                                    ++reports;
                                    return 0;
                                });
    EXPECT_EQ(outcome.error_code, 0) << outcome.message;
    EXPECT_EQ(outcome.mid_light, engine->photons.mid_light);
    EXPECT_GT(outcome.mid_light, 0.0f);
    EXPECT_GT(reports, 0);
    for (size_t i = 0; i < buffers.weights.size(); ++i) {
        EXPECT_GT(buffers.weights[i], 0.0f) << i;
        EXPECT_GT(buffers.light[i * 4 + 1], 0.0f) << i;
    }

    const scatter::PassOutcome stopped = render::run_engine_pass(
        *engine, buffers.pass(), render::PassSettings{}, render::DistanceStep{0, 256, 128.0, 3.0},
        [](int, int) { return 1; });
    EXPECT_EQ(stopped.error_code, engine_failure::kCancelled);
}

}  // namespace
