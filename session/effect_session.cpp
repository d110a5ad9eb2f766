#include "session/effect_session.h"

#include <fmt/format.h>

#include "sdk/effect_controls.h"
#include "session/cancellation.h"
#include "session/control_values.h"
#include "session/session_error.h"

namespace session {
namespace {

std::vector<std::string> folder_markers(const RenderSettings& settings) {
    std::vector<std::string> markers;
    if (settings.alpha_bokeh || settings.alpha_bokeh_value) {
        markers.push_back(effect_controls::kAlphaBokehOption);
    }
    if (settings.alpha_bokeh_value) {
        markers.push_back(effect_controls::kMoreParamsOption);
    }
    return markers;
}

std::unique_ptr<host::EmulatedHost> load(const std::filesystem::path& module) {
    try {
        return std::make_unique<host::EmulatedHost>(module.string());
    } catch (const host::HostError& error) {
        fail_input(error.what());
    }
}

std::unique_ptr<host::EmulatedHost> load(PF_EffectMain entry, const std::filesystem::path& module) {
    return entry ? std::make_unique<host::EmulatedHost>(entry, module.string()) : load(module);
}

}  // namespace

EffectSession::EffectSession(const std::filesystem::path& module, const RenderSettings& settings)
    : EffectSession(nullptr, module, settings) {}

EffectSession::EffectSession(PF_EffectMain entry, const std::filesystem::path& module,
                             const RenderSettings& settings)
    : settings_(settings) {
    const std::vector<std::string> markers = folder_markers(settings);
    if (!markers.empty()) {
        folder_view_ = std::make_unique<PluginFolderView>(module, markers);
    }
    host_ = load(entry, folder_view_ ? folder_view_->module() : module);
    check(host_->open_sequence(), "set-up");
    apply_controls();
}

EffectSession::~EffectSession() {
    host_->sequence_setdown();
    host_->global_setdown();
}

void EffectSession::check(PF_Err err, const std::string& command) const {
    if (err == PF_Interrupt_CANCEL) {
        throw SessionError(FailureKind::cancelled, "cancelled");
    }
    if (err != PF_Err_NONE) {
        const std::string message = host_->out_data().return_msg;
        throw SessionError(
            err == PF_Err_OUT_OF_MEMORY ? FailureKind::out_of_memory : FailureKind::effect_error,
            message.empty() ? fmt::format("the effect's {} failed with code {}", command, err)
                            : message);
    }
}

void EffectSession::apply_controls() {
    host::EmulatedHost& effect = *host_;
    const auto set_slider = [&](const char* name, const std::optional<double>& value,
                                const char* flag) {
        if (value) {
            effect.set_value(name,
                             checked_slider_value(declared_control(effect, name), *value, flag));
        }
    };
    const auto set_popup = [&](const char* name, const std::optional<std::string>& choice,
                               const char* flag, bool by_number) {
        if (choice) {
            effect.set_value(
                name, popup_position(declared_control(effect, name), *choice, flag, by_number));
        }
    };
    // Shape names may look like numbers ("06"); they are taken by name only.
    set_popup(effect_controls::kIrisShape, settings_.shape, "--shape", false);
    set_slider(effect_controls::kFocusDistance, settings_.focus, "--focus");
    set_slider(effect_controls::kBokehAmount, settings_.amount, "--amount");
    set_slider(effect_controls::kHardness, settings_.hardness, "--hardness");
    set_slider(effect_controls::kBrightness, settings_.brightness, "--brightness");
    set_slider(effect_controls::kDistancePrecision, settings_.precision, "--precision");
    set_popup(effect_controls::kQuality, settings_.quality, "--quality", true);
    set_popup(effect_controls::kPreviewQuality, settings_.preview_quality, "--preview-quality",
              true);
    set_slider(effect_controls::kAlphaBokeh, settings_.alpha_bokeh_value, "--alpha-bokeh");
    if (settings_.preview) {
        effect.set_value(effect_controls::kPreviewOnly, 1);
        // The module compares the point with the layer it renders, which is 1/N of the picture.
        effect.set_point(effect_controls::kPreviewPoint, settings_.preview->point.x * resolution(),
                         settings_.preview->point.y * resolution());
        set_slider(effect_controls::kPreviewSize, settings_.preview->size, "--preview");
    }
    effect.set_downsample(settings_.downsample_numerator,
                          static_cast<A_u_long>(settings_.downsample));
}

void EffectSession::pick_focus(host::World& input) {
    host::EmulatedHost& effect = *host_;
    // A click needs a distance map recorded at this resolution. A render without blur records it
    // as well as any other and costs only a copy.
    const double amount = effect.value(effect_controls::kBokehAmount);
    effect.set_value(effect_controls::kBokehAmount, 0.0);
    host::World scratch(input.width(), input.height(), input.depth());
    const PF_Err err = effect.render(input, scratch);
    effect.set_value(effect_controls::kBokehAmount, amount);
    check(err, "render");
    check(effect.frame_setdown(), "frame set-down");
    // Focus Here is given in full-resolution layer pixels; the module scales it to the map.
    effect.set_point(effect_controls::kFocusHere, settings_.focus_at->x, settings_.focus_at->y);
    check(effect.user_changed_param(effect_controls::kFocusHere), "focus pick");
}

std::unique_ptr<host::World> EffectSession::render(host::World& input, host::World* distance,
                                                   ProgressReport& report) {
    return render(input, distance, [&report](A_long current, A_long total) {
        report.advance(current, total);
        return cancel_requested() ? 1 : 0;
    });
}

std::unique_ptr<host::World> EffectSession::render(host::World& input, host::World* distance,
                                                   const host::EmulatedHost::ProgressFn& progress) {
    if (input.width() > kLargestSide || input.height() > kLargestSide) {
        fail_input(fmt::format("the picture is {}x{}; the effect takes at most {} pixels a side",
                               input.width(), input.height(), kLargestSide));
    }
    host::EmulatedHost& effect = *host_;
    if (input.depth() == host::World::Depth::kFloat && !effect.module_takes_float()) {
        fail_input(
            "the effect module does not render float pictures; read them as display "
            "values instead");
    }
    // The report lives only for this call; the host must not keep calling it afterwards.
    struct ProgressScope {
        host::EmulatedHost& effect;
        ~ProgressScope() { effect.set_progress(nullptr); }
    } scope{effect};
    effect.set_progress(progress);
    effect.set_layer(effect_controls::kDistanceLayer, distance);
    if (settings_.focus_at) {
        pick_focus(input);
    }
    auto output = std::make_unique<host::World>(input.width(), input.height(), input.depth());
    check(effect.render(input, *output), "render");
    check(effect.frame_setdown(), "frame set-down");
    return output;
}

double EffectSession::focus_distance() const {
    return host_->value(effect_controls::kFocusDistance);
}

std::vector<std::string> declared_shape_names(const std::filesystem::path& module) {
    auto effect = load(module);
    effect->global_setup();
    effect->params_setup();
    std::vector<std::string> names =
        popup_entries(declared_control(*effect, effect_controls::kIrisShape));
    effect->global_setdown();
    return names;
}

}  // namespace session
