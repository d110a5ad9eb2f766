#include "bench/support/bench_pass.h"

#include "bench/support/bench_scene.h"
#include "engine/channel_levels.h"
#include "platform/allocation.h"
#include "render/distance_steps.h"
#include "render/engine_pass.h"

namespace bench {
namespace {

// What the render passes when the "Alpha bokeh" control is not declared.
constexpr float kAlphaScale = 0.3f;
constexpr double kBrightness = 1.0;

}  // namespace

EnginePass::EnginePass(const host::World& picture, double diameter, uint16_t quality,
                       double hardness)
    : source_(packed_pixels(picture)),
      light_(source_.size(), 0.0f),
      weights_(source_.size() / 4, 0.0f),
      width_(picture.width()),
      height_(picture.height()),
      diameter_(diameter),
      quality_(quality),
      hardness_(hardness) {
    shapes::load_shape_image(kShapeFile, shape_file_, shape_);
    hand_over();
    engine_->hardness = hardness_;
    engine_->brightness = kBrightness;
    engine_->quality = quality_;
    engine_->mid_level = static_cast<uint16_t>((kLevels8 - 1) / 2);
}

EnginePass::~EnginePass() {
    engine_->free_pattern_buffers();
    engine_->free_size_patterns();
    platform::release_array(shape_);
}

// Every pass starts from the setters: a pass leaves its size at the engine's default.
void EnginePass::hand_over() {
    render::PassBuffers buffers;
    buffers.width = width_;
    buffers.height = height_;
    buffers.levels = kLevels8;
    buffers.input8 = source_.data();
    buffers.light = light_.data();
    buffers.weights = weights_.data();
    buffers.shape = shape_;
    buffers.shape_width = static_cast<int32_t>(shape_file_.width);
    buffers.shape_height = static_cast<int32_t>(shape_file_.height);
    buffers.shape_rowbytes = shape_file_.rowbytes;
    render::PassSettings settings;
    settings.alpha_value = kAlphaScale;
    settings.hardness = hardness_;
    settings.brightness = kBrightness;
    settings.quality = quality_;
    render::DistanceStep whole_layer{0, render::kDistanceValues, 0.0, diameter_};
    render::hand_step_to_engine(*engine_, buffers, settings, whole_layer);
}

bool EnginePass::render() {
    hand_over();
    engine_->render_bokeh(hardness_, kBrightness, quality_);
    engine_->end_run_reset();
    return engine_->error_code == 0;
}

bool EnginePass::prepare_scatter() {
    BokehEngine& e = *engine_;
    if (!e.pre_process_RGB_cf()) {
        return false;
    }
    e.pack_pattern_alpha();
    e.measure_pattern();
    return e.prepare_pattern() && e.make_photon(hardness_, kBrightness);
}

}  // namespace bench
