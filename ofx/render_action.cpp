#include "ofx/render_action.h"

#include <algorithm>
#include <memory>
#include <string>

#include "ofx/control_reader.h"
#include "ofx/depth_conventions.h"
#include "ofx/effect_description.h"
#include "ofx/frame_transfer.h"
#include "ofx/instance_actions.h"
#include "ofx/ofx_failure.h"
#include "ofx/property_access.h"
#include "plugin/effect_entry.h"
#include "session/effect_session.h"

namespace qb_ofx {
namespace {

constexpr const char kProgressLabel[] = "Quillbloom Depth of Field";

// An image lent by the host, given back when the render is done with it, however it ends.
class FetchedImage {
  public:
    FetchedImage(const HostSuites& suites, OfxImageClipHandle clip, OfxTime time,
                 const char* clip_name)
        : suites_(suites) {
        const OfxStatus status = suites.effect->clipGetImage(clip, time, nullptr, &image_);
        if (status != kOfxStatOK || !image_) {
            throw OfxFailure(status == kOfxStatErrMemory ? kOfxStatErrMemory : kOfxStatFailed,
                             std::string("the host has no image of the ") + clip_name +
                                 " input at this time (status " + std::to_string(status) + ")");
        }
    }
    ~FetchedImage() { suites_.effect->clipReleaseImage(image_); }
    FetchedImage(const FetchedImage&) = delete;
    FetchedImage& operator=(const FetchedImage&) = delete;

    ImageView view(const char* clip_name) const {
        const PropertyAccess props(*suites_.property, image_);
        const std::string depth = props.string(kOfxImageEffectPropPixelDepth);
        const std::string components = props.string(kOfxImageEffectPropComponents);
        const std::optional<PixelDepth> pixel_depth = pixel_depth_named(depth.c_str());
        const std::optional<Components> layout = components_named(components.c_str());
        if (!pixel_depth || !layout) {
            throw OfxFailure(kOfxStatErrImageFormat,
                             std::string("the ") + clip_name + " input is " + components + " " +
                                 depth +
                                 "; the effect takes RGBA or RGB of bytes, shorts or floats");
        }
        ImageView view;
        view.data = props.pointer(kOfxImagePropData);
        view.bounds = props.rect_i(kOfxImagePropBounds);
        view.row_bytes = props.integer(kOfxImagePropRowBytes);
        view.depth = *pixel_depth;
        view.components = *layout;
        view.premultiplied =
            props.string_or(kOfxImageEffectPropPreMultiplication, "") == kOfxImagePreMultiplied;
        if (!view.data || view.width() <= 0 || view.height() <= 0) {
            throw OfxFailure(kOfxStatFailed, std::string("the ") + clip_name + " image is empty");
        }
        return view;
    }

  private:
    const HostSuites& suites_;
    OfxPropertySetHandle image_ = nullptr;
};

// The host's progress bar for the time of one render.
class ProgressBar {
  public:
    ProgressBar(const HostSuites& suites, OfxImageEffectHandle effect)
        : suites_(suites), effect_(effect) {
        started_ =
            suites.progress && suites.progress->progressStart(effect, kProgressLabel) == kOfxStatOK;
    }
    ~ProgressBar() {
        if (started_) {
            suites_.progress->progressEnd(effect_);
        }
    }
    ProgressBar(const ProgressBar&) = delete;
    ProgressBar& operator=(const ProgressBar&) = delete;

    // Non-zero when the host wants the render to stop.
    int report(A_long current, A_long total) const {
        if (started_ && total > 0) {
            const double done = std::clamp(static_cast<double>(current) / total, 0.0, 1.0);
            if (suites_.progress->progressUpdate(effect_, done) == kOfxStatReplyNo) {
                return 1;
            }
        }
        return suites_.effect->abort(effect_) ? 1 : 0;
    }

  private:
    const HostSuites& suites_;
    OfxImageEffectHandle effect_;
    bool started_ = false;
};

}  // namespace

void render_frame(const HostSuites& suites, OfxImageEffectHandle effect,
                  OfxPropertySetHandle in_args, const session::EffectDeclarations& declarations,
                  const std::filesystem::path& module) {
    const PropertyAccess args(*suites.property, in_args);
    const OfxTime time = args.real(kOfxPropTime);
    const OfxRectI window = args.rect_i(kOfxImageEffectPropRenderWindow);

    const ClipHandles source_clip = clip_named(suites, effect, kOfxImageEffectSimpleSourceClipName);
    const ClipHandles output_clip = clip_named(suites, effect, kOfxImageEffectOutputClipName);
    const ClipHandles depth_clip = clip_named(suites, effect, kDepthClipName);
    if (!connected(suites, source_clip) || !output_clip.clip) {
        throw OfxFailure(kOfxStatFailed, "the effect has no Source input to render");
    }
    const bool with_depth = connected(suites, depth_clip);

    FrameGeometry frame;
    OfxRectD source_region{};
    if (suites.effect->clipGetRegionOfDefinition(source_clip.clip, time, &source_region) ==
        kOfxStatOK) {
        frame.source_region = source_region;
    }
    frame.render_scale = args.real_or(kOfxImageEffectPropRenderScale, 0, 1.0);
    frame.with_depth = with_depth;
    const ControlValues values = read_controls(suites, effect, time);
    const session::RenderSettings settings = render_settings(values, declarations, frame);

    const FetchedImage source(suites, source_clip.clip, time, kOfxImageEffectSimpleSourceClipName);
    const ImageView source_view = source.view(kOfxImageEffectSimpleSourceClipName);
    std::unique_ptr<host::World> layer = frame_world(source_view);
    std::unique_ptr<host::World> distance;
    if (with_depth) {
        const FetchedImage depth(suites, depth_clip.clip, time, kDepthClipName);
        distance = distance_world(depth.view(kDepthClipName), values.depth);
    }

    std::unique_ptr<host::World> rendered;
    {
        const ProgressBar progress(suites, effect);
        session::EffectSession session(quillbloom_effect_main, module, settings);
        rendered = session.render(
            *layer, distance.get(),
            [&progress](A_long current, A_long total) { return progress.report(current, total); });
    }

    const FetchedImage output(suites, output_clip.clip, time, kOfxImageEffectOutputClipName);
    const ImageView output_view = output.view(kOfxImageEffectOutputClipName);
    if (output_view.depth != source_view.depth) {
        throw OfxFailure(kOfxStatErrImageFormat,
                         "the host asked for an output of another depth than the source's");
    }
    write_frame(*rendered, source_view.bounds, output_view, window);
}

}  // namespace qb_ofx
