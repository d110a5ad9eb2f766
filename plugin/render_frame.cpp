// The render command: one host request turned into a bokeh image, step by step in the order the
// host can observe (progress calls, check-outs, messages and codes), over the render library's
// stages.
#include <cmath>
#include <cstdio>
#include <cstring>
#include <memory>
#include <new>
#include <optional>

#include "engine/bokeh_engine.h"
#include "engine/channel_levels.h"
#include "engine/engine_failures.h"
#include "engine/size_pattern.h"
#include "platform/allocation.h"
#include "platform/file_system.h"
#include "plugin/bokeh_plugin.h"
#include "plugin/engine_errors.h"
#include "plugin/render_progress.h"
#include "render/distance_map.h"
#include "render/distance_steps.h"
#include "render/engine_pass.h"
#include "render/render_region.h"
#include "render/step_preparation.h"
#include "render/step_workspace.h"
#include "render/write_back.h"
#include "shapes/shape_catalogue.h"

namespace {

constexpr char kPreviewOutside[] = "[Quillbloom8.0] Preview Outside of Image  ";
constexpr char kLayerSizesDiffer[] =
    "[Quillbloom8.0] Distance layer and target layer have different image sizes  ";
constexpr char kTooManySteps[] = "[Quillbloom8.0] Too many distance steps";
constexpr char kNoShapeFile[] =
    "[Quillbloom8.0] Shape File for Requested MaxEffect NOT available  ";
constexpr char kShapeNotLoaded[] = "[Quillbloom8.0] Iris Shape Not Loarded  ";
constexpr char kShapeTooSmall[] = "[Quillbloom8.0] Shape Image size < MaxEffect  ";
// The engine's message after this prefix, cut to what the host's message field holds.
constexpr char kEngineFailurePrefix[] = "[Quillbloom8.0Eng] ";
constexpr char kNoInputBuffer[] = "Can not allocate input buffer";
constexpr char kNoLocalDistance[] = "[QB8.0(Render): not enough memory for local-distance area";
constexpr char kNoInputBuffer8[] = "QB8.0(Render): not enough memory for input buffer8";
constexpr char kNoInputBuffer16[] = "QB8.0(Render): not enough memory for input buffer16";
constexpr char kNoMaskSpace[] = "QB8.0(Render): not enough memory for mask space";
constexpr char kNoOutputBuffer[] = "QB8.0(Render): not enough memory for output buffer";
constexpr char kNoNormalization[] = "QB8.0(Render): not enough memory for normalization buffer";
constexpr char kNoEngine[] = "QB8.0(Render): not enough memory for the engine";
// Requests a host of this protocol never sends, refused before anything is read or written.
constexpr char kIncompleteRequest[] =
    "[Quillbloom8.0] The render request lacks its layer, output world or controls";
constexpr char kCopyRefused[] = "[Quillbloom8.0] The host could not copy the layer to the output";
constexpr char kWorldsDiffer[] = "[Quillbloom8.0] The output world does not match the input layer";

constexpr int kProgressTotal = 100;

std::optional<render::ChannelDepth> depth_of(PF_InData* in_data, PF_EffectWorld* world) {
    PF_Pixel8* pixels8 = nullptr;
    PF_Pixel16* pixels16 = nullptr;
    in_data->utils->get_pixel_data8(world, &pixels8);
    if (pixels8) {
        return render::ChannelDepth::k8;
    }
    in_data->utils->get_pixel_data16(world, &pixels16);
    if (pixels16) {
        return render::ChannelDepth::k16;
    }
    return std::nullopt;
}

// Rows must hold their pixels; a world whose rows are shorter would be read past its end.
bool rows_hold_pixels(const PF_EffectWorld& world, render::ChannelDepth depth) {
    return world.width >= 0 && world.height >= 0 &&
           world.rowbytes >=
               static_cast<int64_t>(world.width) * static_cast<int64_t>(render::pixel_bytes(depth));
}

render::PixelRows rows_at(PF_EffectWorld& world, render::ChannelDepth depth, int32_t x, int32_t y) {
    render::PixelRows rows{static_cast<uint8_t*>(world.data), world.rowbytes, depth};
    rows.data = rows.pixel(x, y);
    return rows;
}

class RenderRun {
  public:
    RenderRun(BokehPlugin& plugin, PF_InData* in_data, PF_OutData* out_data, PF_ParamDef* params[],
              PF_LayerDef* output)
        : plugin_(plugin),
          progress_(in_data),
          in_data_(in_data),
          out_data_(out_data),
          params_(params),
          output_(output) {}

    PF_Err render();

  private:
    PF_Err fail(PF_Err err, const char* text);
    PF_Err check_request();
    bool host_cancels();
    PF_Err choose_region();
    void clear_output();
    PF_Err copy_input_to_output();
    PF_Err build_distance_map();
    PF_Err read_distance_layer(PF_EffectWorld& layer);
    PF_Err plan_steps();
    PF_Err load_shape();
    PF_Err allocate_buffers();
    PF_Err render_steps();
    PF_Err run_step(const render::DistanceStep& step, const render::StepSource& source);
    PF_Err engine_outcome(const scatter::PassOutcome& outcome);
    void write_output();

    template <class T>
    PF_Err take_buffer(T*& field, std::size_t count, const char* failure_text);

    BokehPlugin& plugin_;
    // The render's own engine and progress: nothing of one render is shared with another.
    std::unique_ptr<BokehEngine> engine_;
    RenderProgress progress_;
    PF_InData* in_data_;
    PF_OutData* out_data_;
    PF_ParamDef** params_;
    PF_LayerDef* output_;

    PF_EffectWorld* input_ = nullptr;
    render::ChannelDepth depth_ = render::ChannelDepth::k8;
    double dsx_ = 1.0;
    render::RenderRequest request_;
    // The request's focus distance, or the one picked from the distance map.
    double focus_distance_ = 0.0;
    render::RenderRegion region_;
    uint16_t quality_value_ = 0;
    render::DistanceSteps steps_;
    // Whether this render has a distance map; a Distance Layer the host could not lend, or
    // whose pixels cannot be read, leaves it without one.
    bool distances_ = false;
    float mid_light_ = 0.0f;
    render::StepWorkspace workspace_;
};

PF_Err RenderRun::fail(PF_Err err, const char* text) {
    std::snprintf(out_data_->return_msg, sizeof out_data_->return_msg, "%s", text);
    return err;
}

PF_Err RenderRun::render() {
    if (plugin_.pattern_folder[0] == '\0') {
        plugin_.global_setup(in_data_, out_data_);
    }
    if (const PF_Err err = check_request()) {
        return err;
    }
    dsx_ = downsample_factor(in_data_->downsample_x);
    request_ = plugin_.take_render_snapshot(params_, dsx_);
    focus_distance_ = request_.focus_distance;
    if (host_cancels()) {
        return PF_Interrupt_CANCEL;
    }

    if (const PF_Err err = choose_region()) {
        return err;
    }
    // Nothing of the layer is asked for: the prepared output is the whole answer.
    if (region_.empty()) {
        return PF_Err_NONE;
    }
    if (const PF_Err err = build_distance_map()) {
        return err;
    }
    if (const PF_Err err = plan_steps()) {
        return err;
    }
    // No step blurs by more than a pixel: the layer is its own answer.
    if (steps_.max_blur_diameter == 1) {
        return copy_input_to_output();
    }
    if (host_cancels()) {
        return PF_Interrupt_CANCEL;
    }
    if (const PF_Err err = load_shape()) {
        return err;
    }
    if (const PF_Err err = allocate_buffers()) {
        return err;
    }
    if (const PF_Err err = render_steps()) {
        return err;
    }
    write_output();
    return PF_Err_NONE;
}

PF_Err RenderRun::check_request() {
    const PF_UtilCallbacks* utils = in_data_->utils;
    if (!utils || !utils->get_pixel_data8 || !utils->get_pixel_data16 || !utils->copy || !params_ ||
        !params_[0] || !output_ || !plugin_.controls_present(params_)) {
        return fail(PF_Err_INVALID_INDEX, kIncompleteRequest);
    }
    input_ = &params_[0]->u.ld;
    const std::optional<render::ChannelDepth> depth = depth_of(in_data_, input_);
    if (!depth) {
        return fail(PF_Err_OUT_OF_MEMORY, kNoInputBuffer);
    }
    depth_ = *depth;
    if (depth_of(in_data_, output_) != depth_ || output_->width != input_->width ||
        output_->height != input_->height || !rows_hold_pixels(*input_, depth_) ||
        !rows_hold_pixels(*output_, depth_)) {
        return fail(PF_Err_INVALID_INDEX, kWorldsDiffer);
    }
    return PF_Err_NONE;
}

bool RenderRun::host_cancels() {
    return in_data_->inter.progress &&
           in_data_->inter.progress(in_data_->effect_ref, 0, kProgressTotal) != 0;
}

PF_Err RenderRun::choose_region() {
    if (request_.preview_only) {
        const std::optional<render::RenderRegion> preview =
            render::preview_render_region(request_.preview_x, request_.preview_y,
                                          request_.preview_size, input_->width, input_->height);
        if (!preview) {
            return fail(PF_Err_INVALID_INDEX, kPreviewOutside);
        }
        region_ = *preview;
        quality_value_ = static_cast<uint16_t>(request_.preview_quality);
        return copy_input_to_output();
    }
    const PF_Rect& hint = in_data_->extent_hint;
    region_ = render::full_render_region(hint.left, hint.top, hint.right, hint.bottom,
                                         static_cast<int>(std::ceil(request_.bokeh_amount)),
                                         input_->width, input_->height);
    quality_value_ = static_cast<uint16_t>(request_.quality);
    if (!region_.covers(input_->width, input_->height)) {
        clear_output();
    }
    return PF_Err_NONE;
}

void RenderRun::clear_output() {
    const std::size_t row_bytes =
        static_cast<std::size_t>(output_->width) * render::pixel_bytes(depth_);
    for (A_long y = 0; y < output_->height; ++y) {
        std::memset(static_cast<uint8_t*>(output_->data) +
                        static_cast<std::ptrdiff_t>(y) * output_->rowbytes,
                    0, row_bytes);
    }
}

// A copy the host refuses would leave the output unwritten behind a success.
PF_Err RenderRun::copy_input_to_output() {
    const PF_Err err =
        in_data_->utils->copy(in_data_->effect_ref, input_, output_, nullptr, nullptr);
    return err ? fail(err, kCopyRefused) : PF_Err_NONE;
}

PF_Err RenderRun::build_distance_map() {
    if (!request_.distance_layer) {
        plugin_.focus_map_scale = -1.0;
        return PF_Err_NONE;
    }
    // A layer the host cannot lend leaves the render without a distance map.
    PF_ParamDef& param = plugin_.distance_layer_param;
    if (!in_data_->inter.checkout_param || !in_data_->inter.checkin_param) {
        return PF_Err_NONE;
    }
    plugin_.distance_layer_requested = 1;
    if (in_data_->inter.checkout_param(in_data_->effect_ref, plugin_.idx_distance_layer,
                                       in_data_->current_time, in_data_->time_step,
                                       in_data_->time_scale, &param) != PF_Err_NONE) {
        return PF_Err_NONE;
    }
    PF_EffectWorld& layer = param.u.ld;
    if (layer.width != input_->width || layer.height != input_->height) {
        return fail(PF_Err_INVALID_INDEX, kLayerSizesDiffer);
    }
    return read_distance_layer(layer);
}

PF_Err RenderRun::read_distance_layer(PF_EffectWorld& layer) {
    const std::optional<render::ChannelDepth> depth = depth_of(in_data_, &layer);
    // A lent layer without readable pixels is as good as none.
    if (!depth || !rows_hold_pixels(layer, *depth)) {
        return PF_Err_NONE;
    }
    const std::size_t count =
        static_cast<std::size_t>(layer.width) * static_cast<std::size_t>(layer.height);
    if (const PF_Err err = take_buffer(plugin_.local_distance, count, kNoLocalDistance)) {
        return err;
    }
    render::read_distance_map(as_const(rows_at(layer, *depth, 0, 0)), layer.width, layer.height,
                              plugin_.local_distance);
    distances_ = true;
    // Focus Here keeps reading the previous map when this one cannot be kept.
    plugin_.store_focus_map(in_data_, plugin_.local_distance, 1, layer.width, layer.height,
                            layer.width);
    plugin_.focus_map_scale = dsx_;
    if (focus_distance_ < 0.0) {
        focus_distance_ = plugin_.focus_map_sample(in_data_, request_.focus_x, request_.focus_y);
    }
    return PF_Err_NONE;
}

PF_Err RenderRun::plan_steps() {
    // Without distances every pixel is one step: cutting an empty histogram gave no step at all,
    // and a black picture reported as rendered.
    if (!distances_) {
        steps_ = render::single_distance_step(request_.bokeh_amount);
    } else {
        if (render::too_many_distance_steps(request_.distance_precision)) {
            return fail(PF_Err_INVALID_INDEX, kTooManySteps);
        }
        const std::size_t count =
            static_cast<std::size_t>(input_->width) * static_cast<std::size_t>(input_->height);
        steps_ = render::cut_distance_steps(render::count_distances(plugin_.local_distance, count),
                                            request_.distance_precision, focus_distance_,
                                            request_.bokeh_amount);
    }
    return PF_Err_NONE;
}

PF_Err RenderRun::load_shape() {
    int max_effect = static_cast<int>(std::ceil(request_.bokeh_amount + 1.0));
    if (max_effect % 2 == 0) {
        ++max_effect;
    }
    char folder[kPathBufferSize] = {};
    char chosen[kPathBufferSize] = {};
    const int choice = request_.shape_choice;
    if (choice >= 1 && choice <= plugin_.shape_count) {
        const int length = std::snprintf(folder, sizeof folder, "%s%c%s", plugin_.pattern_folder,
                                         platform::kPathSeparator, plugin_.shape_names[choice - 1]);
        if (length > 0 && length < kPathBufferSize) {
            find_shape_size_file(folder, max_effect, chosen);
        }
    }
    if (chosen[0] == '\0') {
        return fail(PF_Err_INVALID_INDEX, kNoShapeFile);
    }
    plugin_.load_shape_image(chosen);
    if (!plugin_.shape_image) {
        return fail(PF_Err_INVALID_INDEX, kShapeNotLoaded);
    }
    if (plugin_.shape_width < static_cast<uint32_t>(max_effect) &&
        plugin_.shape_height < static_cast<uint32_t>(max_effect)) {
        return fail(PF_Err_INVALID_INDEX, kShapeTooSmall);
    }
    return PF_Err_NONE;
}

template <class T>
PF_Err RenderRun::take_buffer(T*& field, std::size_t count, const char* failure_text) {
    field = platform::allocate_array<T>(count);
    return field ? PF_Err_NONE : fail(PF_Err_OUT_OF_MEMORY, failure_text);
}

PF_Err RenderRun::allocate_buffers() {
    const std::size_t pixels =
        static_cast<std::size_t>(region_.width) * static_cast<std::size_t>(region_.height);
    const std::size_t channels = pixels * render::kChannels;
    const PF_Err input_err = depth_ == render::ChannelDepth::k8
                                 ? take_buffer(plugin_.input_buffer8, channels, kNoInputBuffer8)
                                 : take_buffer(plugin_.input_buffer16, channels, kNoInputBuffer16);
    if (input_err) {
        return input_err;
    }
    if (const PF_Err err = take_buffer(plugin_.mask_space, pixels, kNoMaskSpace)) {
        return err;
    }
    if (const PF_Err err = take_buffer(plugin_.output_buffer, channels, kNoOutputBuffer)) {
        return err;
    }
    if (const PF_Err err = take_buffer(plugin_.normalization_buffer, pixels, kNoNormalization)) {
        return err;
    }
    std::memset(plugin_.output_buffer, 0, channels * sizeof(float));
    std::memset(plugin_.normalization_buffer, 0, pixels * sizeof(float));
    const char* failure_text = nullptr;
    if (!workspace_.allocate(region_.width, region_.height, &failure_text)) {
        return fail(PF_Err_OUT_OF_MEMORY, failure_text);
    }
    engine_.reset(new (std::nothrow) BokehEngine);
    if (!engine_) {
        return fail(PF_Err_OUT_OF_MEMORY, kNoEngine);
    }
    return PF_Err_NONE;
}

PF_Err RenderRun::render_steps() {
    render::StepSource source;
    source.input = as_const(rows_at(*input_, depth_, region_.x0, region_.y0));
    if (plugin_.local_distance) {
        source.distances = plugin_.local_distance +
                           static_cast<std::ptrdiff_t>(region_.y0) * input_->width + region_.x0;
        source.distance_stride = input_->width;
    }
    source.width = region_.width;
    source.height = region_.height;
    source.step_count = steps_.step_count;
    render::measure_step_source(source, workspace_);

    progress_.reset_steps(steps_.step_count);
    for (int32_t s = 0; s < steps_.step_count; ++s) {
        const render::DistanceStep& step = steps_.steps[static_cast<std::size_t>(s)];
        if (step.empty()) {
            continue;
        }
        progress_.advance_step(steps_.step_count);
        if (const PF_Err err = run_step(step, source)) {
            return err;
        }
    }
    return PF_Err_NONE;
}

PF_Err RenderRun::run_step(const render::DistanceStep& step, const render::StepSource& source) {
    const bool deep = depth_ == render::ChannelDepth::k16;
    uint8_t* step_pixels =
        deep ? reinterpret_cast<uint8_t*>(plugin_.input_buffer16) : plugin_.input_buffer8;
    const render::PixelRows buffer{step_pixels,
                                   static_cast<std::ptrdiff_t>(region_.width) *
                                       static_cast<std::ptrdiff_t>(render::pixel_bytes(depth_)),
                                   depth_};
    const int32_t disc = odd_diameter(step.blur, plugin_.use_micro != 0);
    render::prepare_step(source, step, disc, buffer, plugin_.mask_space, workspace_);

    render::PassBuffers buffers;
    buffers.width = region_.width;
    buffers.height = region_.height;
    buffers.levels = depth_ == render::ChannelDepth::k8 ? kLevels8 : kLevels16;
    buffers.input8 = plugin_.input_buffer8;
    buffers.input16 = plugin_.input_buffer16;
    buffers.mask = plugin_.mask_space;
    buffers.row_work = workspace_.row_work;
    buffers.light = plugin_.output_buffer;
    buffers.weights = plugin_.normalization_buffer;
    buffers.shape = plugin_.shape_image;
    buffers.shape_width = static_cast<int32_t>(plugin_.shape_width);
    buffers.shape_height = static_cast<int32_t>(plugin_.shape_height);
    buffers.shape_rowbytes = plugin_.shape_rowbytes;

    render::PassSettings settings;
    settings.alpha_value = request_.alpha_value;
    settings.use_simd = plugin_.use_simd;
    settings.use_micro = plugin_.use_micro;
    settings.hardness = request_.hardness;
    settings.brightness = request_.brightness;
    settings.quality = quality_value_;
    return engine_outcome(render::run_engine_pass(
        *engine_, buffers, settings, step,
        [this](int current, int total) { return progress_.report(current, total); }));
}

PF_Err RenderRun::engine_outcome(const scatter::PassOutcome& outcome) {
    mid_light_ = outcome.mid_light;
    const PF_Err err = host_error_of_engine(outcome.error_code);
    if (err == PF_Err_NONE || err == PF_Interrupt_CANCEL) {
        return err;
    }
    constexpr int kRoom =
        static_cast<int>(sizeof out_data_->return_msg - sizeof kEngineFailurePrefix);
    std::snprintf(out_data_->return_msg, sizeof out_data_->return_msg, "%s%.*s",
                  kEngineFailurePrefix, kRoom, outcome.message);
    return err;
}

void RenderRun::write_output() {
    render::WriteBackSettings settings;
    settings.mid_light = mid_light_;
    settings.brightness = request_.brightness;
    settings.hardness = request_.hardness;
    settings.alpha_value = request_.alpha_value;
    settings.alpha_bokeh = plugin_.alpha_bokeh_mode != 0;
    render::write_back(plugin_.output_buffer, plugin_.normalization_buffer, region_.width,
                       region_.height, as_const(rows_at(*input_, depth_, region_.x0, region_.y0)),
                       rows_at(*output_, depth_, region_.x0, region_.y0), settings);
}

}  // namespace

PF_Err host_error_of_engine(int32_t code) {
    // Engine codes 2 to 18 are the stages' allocation failures.
    constexpr int32_t kFirstMemoryFailure = engine_failure::kPatternMemory;
    constexpr int32_t kLastMemoryFailure = engine_failure::kStampTooTall;
    if (code == 0) {
        return PF_Err_NONE;
    }
    if (code == engine_failure::kCancelled) {
        return PF_Interrupt_CANCEL;
    }
    return code >= kFirstMemoryFailure && code <= kLastMemoryFailure ? PF_Err_OUT_OF_MEMORY
                                                                     : PF_Err_INVALID_INDEX;
}

PF_Err BokehPlugin::render_frame(PF_InData* in_data, PF_OutData* out_data, PF_ParamDef* params[],
                                 PF_LayerDef* output) {
    // Without its records there is no host to answer or call back.
    if (!in_data || !out_data) {
        return PF_Err_INVALID_INDEX;
    }
    // The record the Distance Layer is checked out into starts empty, so that the check-in on
    // every exit never hands back a stale one.
    distance_layer_param = PF_ParamDef{};
    distance_layer_requested = 0;
    PF_Err err;
    {
        RenderRun run(*this, in_data, out_data, params, output);
        err = run.render();
    }
    release_render_buffers(in_data);
    return err;
}

void BokehPlugin::release_render_buffers(PF_InData* in_data) {
    release_shape_image(in_data, nullptr);
    // Checked in whether or not the check-out succeeded, as the host expects for every request.
    if (distance_layer_requested) {
        in_data->inter.checkin_param(in_data->effect_ref, &distance_layer_param);
        distance_layer_requested = 0;
    }
    platform::release_array(output_buffer);
    platform::release_array(normalization_buffer);
    platform::release_array(input_buffer8);
    platform::release_array(input_buffer16);
    platform::release_array(mask_space);
    platform::release_array(local_distance);
}
