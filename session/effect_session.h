// One instance of the effect, driven through the emulated host as a compositing host drives it:
// loaded and set up once, its controls set from the front end's settings, then one render command
// a frame, with its sequence data kept from frame to frame.
#ifndef QB_SESSION_EFFECT_SESSION_H
#define QB_SESSION_EFFECT_SESSION_H

#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "host/emulated_host.h"
#include "host/world.h"
#include "session/plugin_folder_view.h"
#include "session/progress_report.h"
#include "session/render_settings.h"

namespace session {

// The host describes the part of a layer to render with signed 16-bit coordinates.
inline constexpr int kLargestSide = 32767;

class EffectSession {
  public:
    // Loads `module`, runs global, parameter and sequence set-up and sets the controls. Throws
    // SessionError: bad input for a module that will not load or a control value it refuses, an
    // effect error when a set-up command fails.
    EffectSession(const std::filesystem::path& module, const RenderSettings& settings);
    // The same for a module linked into this program: `entry` is its command dispatch, and
    // `module` is where it is told it lives, so its folder holds the shapes and option files.
    EffectSession(PF_EffectMain entry, const std::filesystem::path& module,
                  const RenderSettings& settings);
    // Sequence and global set-down, as a host closing the project.
    ~EffectSession();
    EffectSession(const EffectSession&) = delete;
    EffectSession& operator=(const EffectSession&) = delete;

    // Renders `input` (the layer at render resolution) with `distance` as the Distance Layer
    // (null: none) into a new world of the input's size and depth. With a focus point, a first
    // render records the distance map and the point is picked as a click on "Focus Here" would.
    // Throws SessionError: effect error with the module's message, or cancelled.
    std::unique_ptr<host::World> render(host::World& input, host::World* distance,
                                        ProgressReport& report);
    // The same with the host's progress reports going to `progress`; non-zero cancels.
    std::unique_ptr<host::World> render(host::World& input, host::World* distance,
                                        const host::EmulatedHost::ProgressFn& progress);

    // The value "On-Focus Distance" holds now (after a pick: the distance under the point).
    double focus_distance() const;

  private:
    void apply_controls();
    // The layer's resolution against the full picture's.
    double resolution() const {
        return static_cast<double>(settings_.downsample_numerator) / settings_.downsample;
    }
    void pick_focus(host::World& input);
    void check(PF_Err err, const std::string& command) const;

    RenderSettings settings_;
    std::unique_ptr<PluginFolderView> folder_view_;
    std::unique_ptr<host::EmulatedHost> host_;
};

// The names of the Iris Shape popup of `module`, in menu order.
std::vector<std::string> declared_shape_names(const std::filesystem::path& module);

}  // namespace session

#endif
