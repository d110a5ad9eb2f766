// The render command: the host's records turned into one call of the render library, and its
// outcome turned back into the host's code and message. What only the host can do (progress,
// the layer copy, lending the Distance Layer, the sequence data) the library asks of HostRender.
#include <cstdio>
#include <optional>

#include "plugin/bokeh_plugin.h"
#include "render/render_frame.h"
#include "sdk/effect_messages.h"

namespace {

constexpr char kNoInputBuffer[] = "Can not allocate input buffer";
// Requests a host of this protocol never sends, refused before anything is read or written.
constexpr char kIncompleteRequest[] =
    QB_MESSAGE "The render request lacks its layer, output world or controls";
constexpr char kWorldsDiffer[] = QB_MESSAGE "The output world does not match the input layer";

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
    // A host from before float worlds offers none.
    PF_PixelFloat* pixels_float = nullptr;
    if (in_data->utils->get_pixel_data_float) {
        in_data->utils->get_pixel_data_float(world, &pixels_float);
    }
    if (pixels_float) {
        return render::ChannelDepth::kFloat;
    }
    return std::nullopt;
}

// Rows must hold their pixels; a world whose rows are shorter would be read past its end.
bool rows_hold_pixels(const PF_EffectWorld& world, render::ChannelDepth depth) {
    return world.width >= 0 && world.height >= 0 &&
           world.rowbytes >=
               static_cast<int64_t>(world.width) * static_cast<int64_t>(render::pixel_bytes(depth));
}

template <class Picture>
Picture picture_of(const PF_EffectWorld& world, render::ChannelDepth depth) {
    Picture picture;
    picture.pixels.data = static_cast<uint8_t*>(world.data);
    picture.pixels.rowbytes = world.rowbytes;
    picture.pixels.depth = depth;
    picture.width = world.width;
    picture.height = world.height;
    return picture;
}

// The host's side of one render. The Distance Layer it checks out is checked in when it goes,
// whether or not the check-out succeeded, as the host expects for every request.
class HostRender : public render::RenderHost {
  public:
    HostRender(BokehPlugin& plugin, PF_InData* in_data, PF_EffectWorld* input, PF_LayerDef* output,
               double dsx)
        : plugin_(plugin), in_data_(in_data), input_(input), output_(output), dsx_(dsx) {}
    ~HostRender() override {
        if (distance_layer_requested_) {
            in_data_->inter.checkin_param(in_data_->effect_ref, &distance_layer_param_);
        }
    }
    HostRender(const HostRender&) = delete;
    HostRender& operator=(const HostRender&) = delete;

    int progress(int done, int total) override {
        // A host without a progress callback cannot be asked, and never cancels.
        return in_data_->inter.progress
                   ? in_data_->inter.progress(in_data_->effect_ref, done, total)
                   : 0;
    }

    int copy_layer_to_output() override {
        return in_data_->utils->copy(in_data_->effect_ref, input_, output_, nullptr, nullptr);
    }

    std::optional<render::LayerPicture> lend_distance_layer() override {
        if (!in_data_->inter.checkout_param || !in_data_->inter.checkin_param) {
            return std::nullopt;
        }
        distance_layer_requested_ = true;
        if (in_data_->inter.checkout_param(
                in_data_->effect_ref, plugin_.idx_distance_layer, in_data_->current_time,
                in_data_->time_step, in_data_->time_scale, &distance_layer_param_) != PF_Err_NONE) {
            return std::nullopt;
        }
        PF_EffectWorld& layer = distance_layer_param_.u.ld;
        const std::optional<render::ChannelDepth> depth = depth_of(in_data_, &layer);
        auto picture =
            picture_of<render::LayerPicture>(layer, depth.value_or(render::ChannelDepth::k8));
        if (!depth || !rows_hold_pixels(layer, *depth)) {
            picture.pixels.data = nullptr;
        }
        return picture;
    }

    void keep_distance_map(const uint8_t* map, int32_t width, int32_t height) override {
        if (!map) {
            plugin_.focus_map_scale = -1.0;
            return;
        }
        plugin_.store_focus_map(in_data_, map, 1, width, height, width);
        plugin_.focus_map_scale = dsx_;
    }

    uint8_t kept_distance(int32_t x, int32_t y) override {
        return plugin_.focus_map_sample(in_data_, x, y);
    }

  private:
    BokehPlugin& plugin_;
    PF_InData* in_data_;
    PF_EffectWorld* input_;
    PF_LayerDef* output_;
    const double dsx_;
    // The record the Distance Layer is checked out into starts empty, so that the check-in
    // never hands back a stale one.
    PF_ParamDef distance_layer_param_ = {};
    bool distance_layer_requested_ = false;
};

PF_Err host_error_of(const render::RenderOutcome& outcome) {
    switch (outcome.status) {
        case render::RenderStatus::kDone:
            return PF_Err_NONE;
        case render::RenderStatus::kOutOfMemory:
            return PF_Err_OUT_OF_MEMORY;
        case render::RenderStatus::kCancelled:
            return PF_Interrupt_CANCEL;
        case render::RenderStatus::kHostRefused:
            return outcome.host_code;
        case render::RenderStatus::kRequestError:
            break;
    }
    return PF_Err_INVALID_INDEX;
}

PF_Err fail(PF_OutData* out_data, PF_Err err, const char* text) {
    std::snprintf(out_data->return_msg, sizeof out_data->return_msg, "%s", text);
    return err;
}

}  // namespace

PF_Err BokehPlugin::render_frame(PF_InData* in_data, PF_OutData* out_data, PF_ParamDef* params[],
                                 PF_LayerDef* output) {
    // Without its records there is no host to answer or call back.
    if (!in_data || !out_data) {
        return PF_Err_INVALID_INDEX;
    }
    if (pattern_folder[0] == '\0') {
        global_setup(in_data, out_data);
    }
    const PF_UtilCallbacks* utils = in_data->utils;
    if (!utils || !utils->get_pixel_data8 || !utils->get_pixel_data16 || !utils->copy || !params ||
        !params[0] || !output || !controls_present(params)) {
        return fail(out_data, PF_Err_INVALID_INDEX, kIncompleteRequest);
    }
    PF_EffectWorld* input = &params[0]->u.ld;
    const std::optional<render::ChannelDepth> depth = depth_of(in_data, input);
    if (!depth) {
        return fail(out_data, PF_Err_OUT_OF_MEMORY, kNoInputBuffer);
    }
    if (depth_of(in_data, output) != depth || output->width != input->width ||
        output->height != input->height || !rows_hold_pixels(*input, *depth) ||
        !rows_hold_pixels(*output, *depth)) {
        return fail(out_data, PF_Err_INVALID_INDEX, kWorldsDiffer);
    }

    const double dsx = downsample_factor(in_data->downsample_x);
    render::RenderRequest request = take_render_snapshot(params, dsx);
    render::ShapeChoice shape{pattern_folder, nullptr};
    if (request.shape_choice >= 1 && request.shape_choice <= shape_count) {
        shape.folder_name = shape_names[request.shape_choice - 1];
    }
    const PF_Rect& hint = in_data->extent_hint;
    const render::ExtentHint extent{hint.left, hint.top, hint.right, hint.bottom};

    HostRender host(*this, in_data, input, output, dsx);
    const render::RenderOutcome outcome = render::render_frame(
        request, picture_of<render::LayerPicture>(*input, *depth), extent, shape,
        picture_of<render::OutputPicture>(*output, *depth), host, &kept_between_renders);
    const PF_Err err = host_error_of(outcome);
    // The message is cut to what the host's message field holds.
    return outcome.message.empty() ? err : fail(out_data, err, outcome.message.c_str());
}
