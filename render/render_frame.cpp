#include "render/render_frame.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <memory>
#include <new>

#include "engine/bokeh_engine.h"
#include "engine/channel_levels.h"
#include "engine/engine_failures.h"
#include "engine/size_pattern.h"
#include "platform/allocation.h"
#include "platform/file_system.h"
#include "platform/kept_threads.h"
#include "platform/parallel_rows.h"
#include "render/distance_map.h"
#include "render/distance_steps.h"
#include "render/engine_pass.h"
#include "render/kept_iris.h"
#include "render/render_progress.h"
#include "render/render_region.h"
#include "render/step_preparation.h"
#include "render/step_workspace.h"
#include "render/write_back.h"
#include "sdk/effect_messages.h"

namespace render {
namespace {

constexpr char kPreviewOutside[] = QB_MESSAGE "Preview Outside of Image  ";
constexpr char kLayerSizesDiffer[] =
    QB_MESSAGE "Distance layer and target layer have different image sizes  ";
constexpr char kTooManySteps[] = QB_MESSAGE "Too many distance steps";
constexpr char kNoShapeFile[] = QB_MESSAGE "Shape File for Requested MaxEffect NOT available  ";
constexpr char kShapeNotLoaded[] = QB_MESSAGE "Iris Shape Not Loarded  ";
constexpr char kShapeTooSmall[] = QB_MESSAGE "Shape Image size < MaxEffect  ";
constexpr char kCopyRefused[] = QB_MESSAGE "The host could not copy the layer to the output";
constexpr char kNoLocalDistance[] =
    "[" QB_RENDER_MESSAGE "not enough memory for local-distance area";
constexpr char kNoInputBuffer8[] = QB_RENDER_MESSAGE "not enough memory for input buffer8";
constexpr char kNoInputBuffer16[] = QB_RENDER_MESSAGE "not enough memory for input buffer16";
constexpr char kNoInputBufferFloat[] =
    QB_RENDER_MESSAGE "not enough memory for the float input buffer";
constexpr char kNoMaskSpace[] = QB_RENDER_MESSAGE "not enough memory for mask space";
constexpr char kNoOutputBuffer[] = QB_RENDER_MESSAGE "not enough memory for output buffer";
constexpr char kNoNormalization[] = QB_RENDER_MESSAGE "not enough memory for normalization buffer";
constexpr char kNoEngine[] = QB_RENDER_MESSAGE "not enough memory for the engine";

constexpr int kProgressTotal = 100;

// Zeros `count` values on the render's threads: a block kept from the render before holds its
// light, and the light and weight buffers of an HD frame (40 MB) took 2 ms to clear on one
// thread.
template <class T>
void clear_on_threads(T* values, std::size_t count) {
    constexpr int32_t kSlices = 64;
    platform::for_each_slice(count, kSlices, platform::threads_for(static_cast<int64_t>(count)),
                             [&](int32_t, std::size_t first, std::size_t end) {
                                 std::fill(values + first, values + end, T{});
                             });
}

// The rows of `picture` from region pixel (x, y) on.
template <class Rows>
Rows rows_at(const Picture<Rows>& picture, int32_t x, int32_t y) {
    Rows rows = picture.pixels;
    rows.data = rows.pixel(x, y);
    return rows;
}

class RenderRun {
  public:
    RenderRun(const RenderRequest& request, const LayerPicture& layer, const ExtentHint& extent,
              const ShapeChoice& shape, const OutputPicture& output, RenderHost& host,
              KeptBetweenRenders* kept)
        : recycling_(kept != nullptr ? &kept->blocks : nullptr),
          team_helpers_(kept != nullptr ? &kept->threads : nullptr),
          request_(request),
          layer_(layer),
          extent_(extent),
          shape_choice_(shape),
          output_(output),
          host_(host),
          progress_(host),
          depth_(layer.pixels.depth),
          focus_distance_(request.focus_distance),
          irises_(kept != nullptr ? &kept->iris : &own_iris_) {}

    RenderOutcome render();

  private:
    RenderOutcome fail(RenderStatus status, const char* text);
    bool choose_region();
    void start_helpers();
    void clear_output();
    bool copy_layer_to_output();
    bool build_distance_map();
    bool read_distance_layer(const LayerPicture& distances);
    bool plan_steps();
    bool load_shape();
    bool allocate_buffers();
    bool take_input_buffer(std::size_t channels);
    bool reads_layer_in_place() const;
    uint8_t* step_pixels() const;
    bool render_steps();
    bool run_step(const DistanceStep& step, const StepSource& source);
    bool engine_outcome(const scatter::PassOutcome& outcome);
    void write_output();

    // Allocates `buffer`; false with `failure_text` as the outcome when it cannot be had.
    template <class T>
    bool take(platform::OwnedArray<T>& buffer, std::size_t count, const char* failure_text);
    // The same, with every byte 0.
    template <class T>
    bool take_zeroed(platform::OwnedArray<T>& buffer, std::size_t count, const char* failure_text);
    // False with `failure_text` as the outcome when `buffer` is empty.
    template <class T>
    bool kept(const platform::OwnedArray<T>& buffer, const char* failure_text);

    // First, so that it outlives every buffer of the render and of its passes, which it keeps
    // for the next pass that asks (and, in blocks the caller lent, for the next render).
    platform::BlockRecycling recycling_;
    // The threads of every team the render starts on its thread.
    platform::TeamHelpers team_helpers_;
    const RenderRequest& request_;
    const LayerPicture& layer_;
    const ExtentHint& extent_;
    const ShapeChoice& shape_choice_;
    const OutputPicture& output_;
    RenderHost& host_;
    RenderProgress progress_;
    RenderOutcome outcome_;

    const ChannelDepth depth_;
    // The request's focus distance, or the one picked from the distance map.
    double focus_distance_;
    RenderRegion region_;
    uint16_t quality_value_ = 0;
    DistanceSteps steps_;
    // The distance map of the whole layer; empty when this render has none (no Distance Layer,
    // or one the host could not lend or whose pixels cannot be read).
    platform::OwnedArray<uint8_t> local_distance_;
    // The render's own iris when nothing is kept between renders, and the iris it renders with.
    KeptIris own_iris_;
    KeptIris* const irises_;
    KeptIris::Iris iris_;
    // The step's pixels (one of the three, by depth), its blur mask, and the light and weight
    // every pass adds into.
    platform::OwnedArray<uint8_t> input_buffer8_;
    platform::OwnedArray<uint16_t> input_buffer16_;
    platform::OwnedArray<float> input_buffer_float_;
    platform::OwnedArray<uint8_t> mask_space_;
    platform::OwnedArray<float> output_buffer_;
    platform::OwnedArray<float> normalization_buffer_;
    StepWorkspace workspace_;
    std::unique_ptr<BokehEngine> engine_;
    float mid_light_ = 0.0f;
};

RenderOutcome RenderRun::fail(RenderStatus status, const char* text) {
    outcome_.status = status;
    outcome_.message = text;
    return outcome_;
}

template <class T>
bool RenderRun::take(platform::OwnedArray<T>& buffer, std::size_t count, const char* failure_text) {
    return kept(buffer = platform::OwnedArray<T>(count), failure_text);
}

template <class T>
bool RenderRun::take_zeroed(platform::OwnedArray<T>& buffer, std::size_t count,
                            const char* failure_text) {
    if (!take(buffer, count, failure_text)) {
        return false;
    }
    clear_on_threads(buffer.get(), count);
    return true;
}

template <class T>
bool RenderRun::kept(const platform::OwnedArray<T>& buffer, const char* failure_text) {
    if (!buffer) {
        fail(RenderStatus::kOutOfMemory, failure_text);
        return false;
    }
    return true;
}

RenderOutcome RenderRun::render() {
    if (host_.progress(0, kProgressTotal) != 0) {
        return fail(RenderStatus::kCancelled, "");
    }
    // Each stage leaves its failure in outcome_; the render ends at the first.
    if (!choose_region()) {
        return outcome_;
    }
    // Nothing of the layer is asked for: the prepared output is the whole answer.
    if (region_.empty()) {
        return outcome_;
    }
    start_helpers();
    if (!build_distance_map() || !plan_steps()) {
        return outcome_;
    }
    // No step blurs by more than a pixel: the layer is its own answer.
    if (steps_.max_blur_diameter == 1) {
        copy_layer_to_output();
        return outcome_;
    }
    if (host_.progress(0, kProgressTotal) != 0) {
        return fail(RenderStatus::kCancelled, "");
    }
    if (load_shape() && allocate_buffers() && render_steps()) {
        write_output();
    }
    return outcome_;
}

bool RenderRun::choose_region() {
    if (request_.preview_only) {
        const std::optional<RenderRegion> preview =
            preview_render_region(request_.preview_x, request_.preview_y, request_.preview_size,
                                  layer_.width, layer_.height);
        if (!preview) {
            fail(RenderStatus::kRequestError, kPreviewOutside);
            return false;
        }
        region_ = *preview;
        quality_value_ = static_cast<uint16_t>(request_.preview_quality);
        return copy_layer_to_output();
    }
    region_ = full_render_region(extent_.left, extent_.top, extent_.right, extent_.bottom,
                                 static_cast<int>(std::ceil(request_.bokeh_amount)), layer_.width,
                                 layer_.height);
    quality_value_ = static_cast<uint16_t>(request_.quality);
    if (!region_.covers(layer_.width, layer_.height)) {
        clear_output();
    }
    return true;
}

// A helper thread takes longer to start than the distance map takes to read: started at the
// map's team, it joined when the calling thread had read most of the map alone.
void RenderRun::start_helpers() {
    const int64_t cells = int64_t{region_.width} * region_.height;
    if (platform::threads_for(cells) > 1) {
        team_helpers_.threads().ready(platform::row_threads() - 1);
    }
}

void RenderRun::clear_output() {
    const std::size_t row_bytes = static_cast<std::size_t>(output_.width) * pixel_bytes(depth_);
    for (int32_t y = 0; y < output_.height; ++y) {
        std::memset(output_.pixels.row(y), 0, row_bytes);
    }
}

// A copy the host refuses would leave the output unwritten behind a success.
bool RenderRun::copy_layer_to_output() {
    if (const int code = host_.copy_layer_to_output()) {
        fail(RenderStatus::kHostRefused, kCopyRefused);
        outcome_.host_code = code;
        return false;
    }
    return true;
}

bool RenderRun::build_distance_map() {
    if (!request_.distance_layer) {
        host_.keep_distance_map(nullptr, 0, 0);
        return true;
    }
    const std::optional<LayerPicture> distances = host_.lend_distance_layer();
    if (!distances) {
        return true;
    }
    if (distances->width != layer_.width || distances->height != layer_.height) {
        fail(RenderStatus::kRequestError, kLayerSizesDiffer);
        return false;
    }
    // A lent layer without readable pixels is as good as none.
    return !distances->pixels.data || read_distance_layer(*distances);
}

bool RenderRun::read_distance_layer(const LayerPicture& distances) {
    const std::size_t count =
        static_cast<std::size_t>(distances.width) * static_cast<std::size_t>(distances.height);
    if (!take(local_distance_, count, kNoLocalDistance)) {
        return false;
    }
    read_distance_map(distances.pixels, distances.width, distances.height, local_distance_.get());
    // Focus Here keeps reading the previous map when this one cannot be kept.
    host_.keep_distance_map(local_distance_.get(), distances.width, distances.height);
    if (focus_distance_ < 0.0) {
        focus_distance_ = host_.kept_distance(request_.focus_x, request_.focus_y);
    }
    return true;
}

bool RenderRun::plan_steps() {
    // Without distances every pixel is one step: cutting an empty histogram gave no step at all,
    // and a black picture reported as rendered.
    if (!local_distance_) {
        steps_ = single_distance_step(request_.bokeh_amount);
        return true;
    }
    if (too_many_distance_steps(request_.distance_precision)) {
        fail(RenderStatus::kRequestError, kTooManySteps);
        return false;
    }
    const std::size_t count =
        static_cast<std::size_t>(layer_.width) * static_cast<std::size_t>(layer_.height);
    steps_ =
        cut_distance_steps(count_distances(local_distance_.get(), count),
                           request_.distance_precision, focus_distance_, request_.bokeh_amount);
    return true;
}

bool RenderRun::load_shape() {
    int max_effect = static_cast<int>(std::ceil(request_.bokeh_amount + 1.0));
    if (max_effect % 2 == 0) {
        ++max_effect;
    }
    char folder[platform::kPathBufferSize] = {};
    if (shape_choice_.folder_name) {
        const int length =
            std::snprintf(folder, sizeof folder, "%s%c%s", shape_choice_.pattern_folder,
                          platform::kPathSeparator, shape_choice_.folder_name);
        if (length > 0 && length < platform::kPathBufferSize) {
            iris_ = irises_->load(folder, max_effect);
        }
    }
    if (!iris_.found) {
        fail(RenderStatus::kRequestError, kNoShapeFile);
        return false;
    }
    if (!iris_.image) {
        fail(RenderStatus::kRequestError, kShapeNotLoaded);
        return false;
    }
    if (iris_.file->width < static_cast<uint32_t>(max_effect) &&
        iris_.file->height < static_cast<uint32_t>(max_effect)) {
        fail(RenderStatus::kRequestError, kShapeTooSmall);
        return false;
    }
    return true;
}

bool RenderRun::allocate_buffers() {
    const std::size_t pixels =
        static_cast<std::size_t>(region_.width) * static_cast<std::size_t>(region_.height);
    const std::size_t channels = pixels * kChannels;
    if ((!reads_layer_in_place() && !take_input_buffer(channels)) ||
        !take(mask_space_, pixels, kNoMaskSpace) ||
        !take_zeroed(output_buffer_, channels, kNoOutputBuffer) ||
        !take_zeroed(normalization_buffer_, pixels, kNoNormalization)) {
        return false;
    }
    const char* failure_text = nullptr;
    if (!workspace_.allocate(region_.width, region_.height, &failure_text)) {
        fail(RenderStatus::kOutOfMemory, failure_text);
        return false;
    }
    engine_.reset(new (std::nothrow) BokehEngine);
    if (!engine_) {
        fail(RenderStatus::kOutOfMemory, kNoEngine);
        return false;
    }
    return true;
}

bool RenderRun::take_input_buffer(std::size_t channels) {
    switch (depth_) {
        case ChannelDepth::k16:
            return take(input_buffer16_, channels, kNoInputBuffer16);
        case ChannelDepth::kFloat:
            return take(input_buffer_float_, channels, kNoInputBufferFloat);
        case ChannelDepth::k8:
            break;
    }
    return take(input_buffer8_, channels, kNoInputBuffer8);
}

bool RenderRun::render_steps() {
    StepSource source;
    source.input = rows_at(layer_, region_.x0, region_.y0);
    if (local_distance_) {
        source.distances = local_distance_.get() +
                           static_cast<std::ptrdiff_t>(region_.y0) * layer_.width + region_.x0;
        source.distance_stride = layer_.width;
    }
    source.width = region_.width;
    source.height = region_.height;
    source.step_count = steps_.step_count;
    measure_step_source(source, workspace_);

    progress_.reset_steps(steps_.step_count);
    for (int32_t s = 0; s < steps_.step_count; ++s) {
        const DistanceStep& step = steps_.steps[static_cast<std::size_t>(s)];
        if (step.empty()) {
            continue;
        }
        progress_.advance_step(steps_.step_count);
        if (!run_step(step, source)) {
            return false;
        }
    }
    return true;
}

// A render whose every pixel is in the one step needs no step buffer for 8-bit levels, which the
// engine reads as they are, or for float light, which it cleans as it reads it: it reads the
// layer itself, and a frame-sized copy is neither made nor held. 16-bit levels above white are
// made white in the copy.
bool RenderRun::reads_layer_in_place() const {
    const auto address = reinterpret_cast<std::uintptr_t>(layer_.pixels.data);
    const bool floats_aligned =
        address % alignof(float) == 0 &&
        layer_.pixels.rowbytes % static_cast<std::ptrdiff_t>(sizeof(float)) == 0;
    return !local_distance_ &&
           (depth_ == ChannelDepth::k8 || (depth_ == ChannelDepth::kFloat && floats_aligned));
}

uint8_t* RenderRun::step_pixels() const {
    switch (depth_) {
        case ChannelDepth::k16:
            return reinterpret_cast<uint8_t*>(input_buffer16_.get());
        case ChannelDepth::kFloat:
            return reinterpret_cast<uint8_t*>(input_buffer_float_.get());
        case ChannelDepth::k8:
            break;
    }
    return input_buffer8_.get();
}

bool RenderRun::run_step(const DistanceStep& step, const StepSource& source) {
    const PixelRows buffer{step_pixels(),
                           static_cast<std::ptrdiff_t>(region_.width) *
                               static_cast<std::ptrdiff_t>(pixel_bytes(depth_)),
                           depth_};
    const int32_t disc = odd_diameter(step.blur, request_.use_micro);
    const bool in_place = reads_layer_in_place();
    if (in_place) {
        prepare_layer_as_step(source, mask_space_.get(), workspace_);
    } else {
        prepare_step(source, step, disc, buffer, mask_space_.get(), workspace_);
    }

    PassBuffers buffers;
    buffers.width = region_.width;
    buffers.height = region_.height;
    // A float pass takes the 16-bit stamp.
    buffers.levels = depth_ == ChannelDepth::k8 ? kLevels8 : kLevels16;
    buffers.input8 = input_buffer8_.get();
    buffers.input16 = input_buffer16_.get();
    buffers.input_float = input_buffer_float_.get();
    if (in_place) {
        const bool floats = depth_ == ChannelDepth::kFloat;
        buffers.input8 = floats ? nullptr : source.input.data;
        buffers.input_float = floats ? reinterpret_cast<const float*>(source.input.data) : nullptr;
        buffers.input_stride = static_cast<int32_t>(
            source.input.rowbytes / static_cast<std::ptrdiff_t>(floats ? sizeof(float) : 1));
        buffers.input_is_layer = true;
    }
    buffers.mask = mask_space_.get();
    buffers.row_work = workspace_.row_work;
    buffers.light = output_buffer_.get();
    buffers.weights = normalization_buffer_.get();
    buffers.shape = iris_.image;
    buffers.shape_width = static_cast<int32_t>(iris_.file->width);
    buffers.shape_height = static_cast<int32_t>(iris_.file->height);
    buffers.shape_rowbytes = iris_.file->rowbytes;

    PassSettings settings;
    settings.alpha_value = request_.alpha_value;
    settings.use_simd = request_.use_simd ? 1 : 0;
    settings.use_micro = request_.use_micro ? 1 : 0;
    settings.hardness = request_.hardness;
    settings.brightness = request_.brightness;
    settings.quality = quality_value_;
    return engine_outcome(run_engine_pass(
        *engine_, buffers, settings, step,
        [this](int current, int total) { return progress_.report(current, total); }));
}

bool RenderRun::engine_outcome(const scatter::PassOutcome& outcome) {
    mid_light_ = outcome.mid_light;
    const RenderStatus status = status_of_engine_failure(outcome.error_code);
    if (status == RenderStatus::kDone) {
        return true;
    }
    fail(status, "");
    if (status != RenderStatus::kCancelled) {
        outcome_.message = QB_ENGINE_MESSAGE + std::string(outcome.message);
    }
    return false;
}

void RenderRun::write_output() {
    WriteBackSettings settings;
    settings.mid_light = mid_light_;
    settings.brightness = request_.brightness;
    settings.hardness = request_.hardness;
    settings.alpha_value = request_.alpha_value;
    settings.alpha_bokeh = request_.alpha_bokeh;
    write_back(output_buffer_.get(), normalization_buffer_.get(), region_.width, region_.height,
               rows_at(layer_, region_.x0, region_.y0), rows_at(output_, region_.x0, region_.y0),
               settings);
}

}  // namespace

RenderStatus status_of_engine_failure(int32_t code) {
    // Engine codes 2 to 18 are the stages' allocation failures.
    constexpr int32_t kFirstMemoryFailure = engine_failure::kPatternMemory;
    constexpr int32_t kLastMemoryFailure = engine_failure::kStampTooTall;
    if (code == 0) {
        return RenderStatus::kDone;
    }
    if (code == engine_failure::kCancelled) {
        return RenderStatus::kCancelled;
    }
    return code >= kFirstMemoryFailure && code <= kLastMemoryFailure ? RenderStatus::kOutOfMemory
                                                                     : RenderStatus::kRequestError;
}

RenderOutcome render_frame(const RenderRequest& request, const LayerPicture& layer,
                           const ExtentHint& extent, const ShapeChoice& shape,
                           const OutputPicture& output, RenderHost& host,
                           KeptBetweenRenders* kept) {
    return RenderRun(request, layer, extent, shape, output, host, kept).render();
}

}  // namespace render
