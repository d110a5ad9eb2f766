#include "render/engine_pass.h"

#include "render/pixel_rows.h"

namespace render {
namespace {

constexpr int32_t kShapeBytesPerPixel = 3;

}  // namespace

PassInputs pass_inputs(const PassBuffers& buffers, const PassSettings& settings,
                       const DistanceStep& step) {
    const int32_t row_values = buffers.width * kChannels;
    PassInputs in;
    const int32_t stride = buffers.input_stride != 0 ? buffers.input_stride : row_values;
    in.source =
        SourceFrame{buffers.width,   buffers.height, buffers.levels,      buffers.input8, stride,
                    buffers.input16, stride,         buffers.input_float, stride};
    in.iris =
        IrisImage{false,         kShapeBytesPerPixel,   buffers.shape_width, buffers.shape_height,
                  buffers.shape, buffers.shape_rowbytes};
    in.region = PassRegion{buffers.mask, buffers.width, buffers.row_work};
    in.source.srcf_marks_step = !buffers.input_is_layer;
    in.blur = step.blur;
    in.hardness = settings.hardness;
    in.brightness = settings.brightness;
    in.quality = settings.quality;
    in.alpha_scale = settings.alpha_value;
    in.use_simd = settings.use_simd != 0;
    in.use_micro = settings.use_micro != 0;
    return in;
}

scatter::PassOutcome run_engine_pass(BokehEngine& engine, const PassBuffers& buffers,
                                     const PassSettings& settings, const DistanceStep& step,
                                     const scatter::ProgressFn& progress) {
    const Accumulator out{buffers.light, buffers.width * kChannels, buffers.weights};
    return scatter::render_bokeh(engine, pass_inputs(buffers, settings, step), out, progress);
}

}  // namespace render
