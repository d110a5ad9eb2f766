#include "render/engine_pass.h"

#include "render/pixel_rows.h"

namespace render {
namespace {

// Arguments the engine takes and does not use, passed as the engine's callers always have.
constexpr int32_t kUnusedFormat = 1;
constexpr int32_t kUnusedChannels = 4;
constexpr int32_t kShapeIsBlueGreenRed = 0;
constexpr int32_t kShapeBytesPerPixel = 3;
constexpr double kBlendScale = 1.0;
constexpr double kLightScale = 1.0;
constexpr double kUnusedParameter = 0.0;
constexpr int32_t kAccumulatorFlag = 0;

}  // namespace

void hand_step_to_engine(BokehEngine& engine, const PassBuffers& buffers,
                         const PassSettings& settings, const DistanceStep& step) {
    const int32_t row_values = buffers.width * kChannels;
    engine.set_alpha_scale(settings.alpha_value, buffers.weights, settings.alpha_bokeh_mode);
    engine.set_options(settings.use_simd, settings.use_micro);
    engine.set_region(buffers.mask, buffers.width, buffers.row_work);
    engine.set_run_parameters(step.blur, step.centre, settings.hardness, kBlendScale, kLightScale,
                              kUnusedParameter);
    engine.set_source_frame(kUnusedFormat, kUnusedChannels, buffers.width, buffers.height,
                            buffers.input8, row_values, buffers.input16, row_values,
                            buffers.levels);
    engine.set_iris_image(kShapeIsBlueGreenRed, kShapeBytesPerPixel, buffers.shape_width,
                          buffers.shape_height, buffers.shape, buffers.shape_rowbytes);
    engine.set_accumulator(kUnusedFormat, kUnusedChannels, buffers.light, row_values,
                           kAccumulatorFlag);
}

void run_engine_pass(BokehEngine& engine, const PassBuffers& buffers, const PassSettings& settings,
                     const DistanceStep& step) {
    hand_step_to_engine(engine, buffers, settings, step);
    engine.render_bokeh(settings.hardness, settings.brightness, settings.quality);
}

}  // namespace render
