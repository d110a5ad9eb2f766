#include "bench/support/bench_pass.h"

#include <algorithm>

#include "bench/support/bench_scene.h"
#include "engine/channel_levels.h"
#include "platform/allocation.h"
#include "render/distance_steps.h"
#include "render/engine_pass.h"
#include "scatter/render_pass.h"

namespace bench {
namespace {

// What the render passes when the "Alpha bokeh" control is not declared.
constexpr float kAlphaScale = 0.3f;
constexpr double kBrightness = 1.0;

}  // namespace

render::PassBuffers frame_buffers(int32_t width, int32_t height, const uint8_t* frame, float* light,
                                  float* weights, const uint8_t* shape,
                                  const shapes::ShapeFile& file) {
    render::PassBuffers buffers;
    buffers.width = width;
    buffers.height = height;
    buffers.levels = kLevels8;
    buffers.input8 = frame;
    buffers.light = light;
    buffers.weights = weights;
    buffers.shape = shape;
    buffers.shape_width = static_cast<int32_t>(file.width);
    buffers.shape_height = static_cast<int32_t>(file.height);
    buffers.shape_rowbytes = file.rowbytes;
    return buffers;
}

EnginePass::EnginePass(const host::World& picture, double diameter, uint16_t quality,
                       double hardness)
    : source_(packed_pixels(picture)),
      light_(source_.size(), 0.0f),
      weights_(source_.size() / 4, 0.0f) {
    shapes::load_shape_image(kShapeFile, shape_file_, shape_);
    const render::PassBuffers buffers =
        frame_buffers(picture.width(), picture.height(), source_.data(), light_.data(),
                      weights_.data(), shape_, shape_file_);
    render::PassSettings settings;
    settings.alpha_value = kAlphaScale;
    settings.hardness = hardness;
    settings.brightness = kBrightness;
    settings.quality = quality;
    const render::DistanceStep whole_layer{0, render::kDistanceValues, 0.0, diameter};
    in_ = render::pass_inputs(buffers, settings, whole_layer);
}

EnginePass::~EnginePass() {
    platform::release_array(shape_);
}

bool EnginePass::render() {
    const Accumulator out{light_.data(), in_.source.width * 4, weights_.data()};
    const scatter::PassOutcome outcome = scatter::render_bokeh(*engine_, in_, out, nullptr);
    message_ = outcome.message;
    return outcome.error_code == 0;
}

bool EnginePass::prepare_scatter() {
    parts_ = PassParts{};
    const EngineStatus status = build_pass_parts(in_, parts_, engine_->photons);
    message_ = status.message;
    return status.ok();
}

scatter::PassView EnginePass::view() const {
    return scatter::PassView(in_, parts_.source, parts_.stamp, engine_->photons);
}

bool EnginePass::run_pix_loop(bool simd, SumMethod method) {
    in_.use_simd = simd;
    in_.sum_method = method;
    const Accumulator out{light_.data(), in_.source.width * 4, weights_.data()};
    const EngineStatus status = scatter::run_pix_loop(view(), out, engine_->light_tables, nullptr);
    message_ = status.message;
    return status.ok();
}

bool EnginePass::run_band_loop(int32_t first, int32_t end) {
    std::vector<int32_t> band(static_cast<std::size_t>(in_.source.height), 0);
    std::fill(band.begin() + first, band.begin() + end, 1);
    in_.region.row_mask = band.data();
    const bool ran = run_pix_loop(true);
    in_.region.row_mask = nullptr;
    return ran;
}

}  // namespace bench
