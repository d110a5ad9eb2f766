// The emulated host: loads an effect module file and drives it through its exported `main` the
// way the compositing host would, for tests and for the command-line tool.
//
// Principles shared by everything here:
// - One host loads one module file; destroying the host sends nothing and unloads the file.
//   Commands are sent one at a time from the calling thread, as the real host does; hosts on
//   different threads may send theirs at the same time.
// - The host keeps the in-record, the out-record and the parameter array. Every command starts
//   from a cleared out-record; the last one stays readable through `out_data()`.
// - Controls are learnt from the module's own `add_param` calls; a caller sets them by name in
//   natural units (pixels, slider units, 1-based popup positions) and the host converts them to
//   the declared record type.
// - Handles are heap blocks with a lock count; suites are tables the caller registers. Both can
//   be refused on request so that a module's failure paths can be reached.
// - Callbacks that carry no effect reference (handles, the basic suite) reach the host that is
//   sending the current command, or else the most recently created one still alive.
#ifndef QB_HOST_EMULATED_HOST_H
#define QB_HOST_EMULATED_HOST_H

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <set>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

#include "host/world.h"
#include "sdk/effect_sdk.h"

namespace host {

// Thrown when a module file cannot be loaded or has no entry point, or when a caller names a
// control the module did not declare or gives it a value of the wrong kind.
class HostError : public std::runtime_error {
  public:
    using std::runtime_error::runtime_error;
};

// One control as the module declared it, with the strings it pointed at copied into the host.
struct DeclaredParam {
    PF_ParamDef def{};
    std::string choices;         // popup entries joined with "|"
    std::string checkbox_label;  // text beside a check box
};

class EmulatedHost {
  public:
    // Progress callback: current and total as the module reports them; non-zero cancels.
    using ProgressFn = std::function<int(A_long current, A_long total)>;

    // Loads `module_path`. Throws HostError when it cannot be loaded or has no `main`.
    explicit EmulatedHost(std::string module_path);
    // Drives a module linked into this program through `entry`, as if it had been loaded from
    // `module_path` (which the module is told when it asks where it lives). Tests use it to
    // reach the module's own statics, such as its allocation hook.
    EmulatedHost(PF_EffectMain entry, std::string module_path);
    // Sets down the open sequence and the module, when the module still holds them.
    ~EmulatedHost();
    EmulatedHost(const EmulatedHost&) = delete;
    EmulatedHost& operator=(const EmulatedHost&) = delete;

    const std::string& module_path() const { return module_path_; }

    // Commands, one method each, in the order the host sends them.
    PF_Err about();
    PF_Err global_setup();
    PF_Err params_setup();
    PF_Err sequence_setup();
    // The input becomes parameter 0 and sets the in-record's layer size (and the extent hint,
    // unless one was set).
    PF_Err render(World& input, World& output);
    PF_Err user_changed_param(std::string_view name);
    PF_Err frame_setdown();
    PF_Err sequence_setdown();
    PF_Err global_setdown();
    // Any selector, with the parameter array, the output world and `extra` as given.
    PF_Err send(PF_Cmd cmd, PF_LayerDef* output = nullptr, void* extra = nullptr);

    // Global set-up, parameter set-up and sequence set-up; stops at the first failure.
    PF_Err open_sequence();

    // The records of the last command. The in-record may be changed before a command (layer
    // size, downsample factor, extent hint, sequence handle).
    PF_InData& in_data() { return in_data_; }
    const PF_OutData& out_data() const { return out_data_; }
    // Whether the module declared at global setup that it renders float worlds; a host offers
    // them to no other module.
    bool module_takes_float() const { return module_takes_float_; }
    void set_layer_size(int width, int height);
    void set_downsample(A_long num, A_u_long den);
    // Without one, a render's extent hint is the whole input layer.
    void set_extent_hint(PF_Rect extent) { extent_hint_ = extent; }

    // Controls as declared by the last parameter set-up; entry i is parameter i + 1, since
    // parameter 0 is the input layer the host supplies.
    const std::vector<DeclaredParam>& declared_params() const { return declared_; }
    // Takes controls learnt elsewhere, as a host reopening a project would, so that commands
    // can be sent before this module's own parameter set-up.
    void use_declarations(std::vector<DeclaredParam> controls);
    int param_index(std::string_view name) const;  // throws HostError for an unknown name
    // The live record the module sees at `index` in the parameter array.
    PF_ParamDef& param(int index);
    const PF_ParamDef& param(int index) const;
    PF_ParamDef& param(std::string_view name) { return param(param_index(name)); }

    // Setting a control: fixed sliders in slider units, integer sliders and popups as integers,
    // check boxes as 0/1, points in layer pixels, layers as a world (null: no layer).
    void set_value(std::string_view name, double value);
    void set_point(std::string_view name, double x, double y);
    void set_layer(std::string_view name, World* layer);
    double value(std::string_view name) const;

    // Progress reports go here; without a function the host never cancels.
    void set_progress(ProgressFn progress) { progress_ = std::move(progress); }

    // Suites served through the basic suite.
    void register_suite(std::string name, A_long version, const void* table);
    void leave_out_suite(const std::string& name);
    // Without a basic suite the in-record's pointer is null.
    void set_basic_suite_present(bool present);
    int suites_held() const { return suites_held_; }
    int suite_acquisitions() const { return suite_acquisitions_; }

    // Handles. `refuse_handle_after(n)` refuses the allocation n requests from now (0: the next
    // one); a negative value stops refusing. Resizes count as requests too.
    void refuse_handle_after(int countdown) { handle_refusal_countdown_ = countdown; }
    int live_handles() const { return static_cast<int>(handles_.size()); }
    int lock_count(PF_Handle handle) const;

    // Layers checked out and not yet checked in.
    int layers_checked_out() const { return checked_out_; }
    // Checking out a parameter answers `err` while set (PF_Err_NONE: lend as usual).
    void refuse_checkouts(PF_Err err) { checkout_refusal_ = err; }

    // `add_param` answers `err` for the declaration `countdown` calls from now (0: the next);
    // a negative countdown stops refusing.
    void refuse_add_param_after(int countdown, PF_Err err = PF_Err_OUT_OF_MEMORY) {
        add_param_refusal_countdown_ = countdown;
        add_param_refusal_ = err;
    }

    // The host of the command being sent, else the newest live host (null if none).
    static EmulatedHost* active();

    struct Handle;
    struct Suite {
        A_long version = 0;
        const void* table = nullptr;
    };

  private:
    friend struct HostCallbacks;

    void install_callbacks();
    void reset_in_data();
    void rebuild_param_array();
    PF_Err dispatch(PF_Cmd cmd, PF_LayerDef* output, void* extra);

    std::string module_path_;
    void* library_ = nullptr;
    PF_EffectMain entry_ = nullptr;

    PF_InData in_data_{};
    PF_OutData out_data_{};
    PF_UtilCallbacks utils_{};
    SPBasicSuite basic_suite_{};
    bool basic_suite_present_ = true;
    bool module_takes_float_ = false;

    std::vector<DeclaredParam> declared_;
    std::vector<PF_ParamDef> params_;
    std::vector<PF_ParamDef*> param_array_;
    std::map<int, World*> layers_;  // parameter index -> assigned layer

    ProgressFn progress_;
    std::map<std::string, Suite, std::less<>> suites_;
    int suites_held_ = 0;
    int suite_acquisitions_ = 0;

    std::set<std::string, std::less<>> left_out_suites_;

    std::map<const Handle*, std::unique_ptr<Handle>> handles_;
    int handle_refusal_countdown_ = -1;
    int checked_out_ = 0;
    PF_Err checkout_refusal_ = PF_Err_NONE;
    int add_param_refusal_countdown_ = -1;
    PF_Err add_param_refusal_ = PF_Err_NONE;
    std::optional<PF_Rect> extent_hint_;
};

}  // namespace host

#endif
