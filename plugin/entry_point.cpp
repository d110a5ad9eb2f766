#include "plugin/bokeh_plugin.h"
#include "plugin/effect_entry.h"
#include "plugin/held_handle.h"
#include "sdk/effect_messages.h"

#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <memory>
#include <new>

namespace {

struct CommandArgs {
    PF_InData* in_data;
    PF_OutData* out_data;
    PF_ParamDef** params;
    PF_LayerDef* output;
    void* extra;
};

constexpr const char kOutOfMemory[] = QB_MESSAGE "Not enough memory";
constexpr const char kInternalError[] = QB_MESSAGE "Internal error";

void report(PF_OutData* out_data, const char* message) {
    if (out_data) {
        std::snprintf(out_data->return_msg, sizeof out_data->return_msg, "%s", message);
    }
}

using CommandHandler = PF_Err (*)(BokehPlugin& plugin, const CommandArgs& args);

PF_Err do_nothing(BokehPlugin&, const CommandArgs&) {
    return PF_Err_NONE;
}

PF_Err on_about(BokehPlugin& plugin, const CommandArgs& a) {
    return plugin.about(a.in_data, a.out_data);
}

PF_Err on_global_setup(BokehPlugin& plugin, const CommandArgs& a) {
    // The time seed is kept for any later random use; nothing here depends on its value.
    std::srand(static_cast<unsigned>(std::time(nullptr)));
    plugin.global_setup(a.in_data, a.out_data);
    a.out_data->out_flags |= PF_OutFlag_KEEP_RESOURCE_OPEN | PF_OutFlag_USE_OUTPUT_EXTENT;
    a.out_data->out_flags2 |= PF_OutFlag2_FLOAT_COLOR_AWARE;
    a.out_data->my_version = QB_EFFECT_VERSION;
    return PF_Err_NONE;
}

bool handle_callbacks_present(const PF_InData* in_data) {
    const PF_UtilCallbacks* utils = in_data ? in_data->utils : nullptr;
    return utils && utils->host_new_handle && utils->host_lock_handle &&
           utils->host_unlock_handle && utils->host_dispose_handle;
}

// The plug-in object the host keeps for this module load: in the global-data handle, locked from
// global set-up to set-down, so every host (every process's effect) has its own and renders of
// two hosts share nothing. Null before global set-up.
BokehPlugin* held_plugin(PF_InData* in_data) {
    if (!handle_callbacks_present(in_data) || !in_data->global_data) {
        return nullptr;
    }
    return static_cast<BokehPlugin*>(held_handle_bytes(in_data, in_data->global_data));
}

// A new plug-in object with its first-call values in a handle the host will keep, or null when
// the host has no handle for it.
BokehPlugin* make_held_plugin(PF_InData* in_data, PF_OutData* out_data) {
    if (!handle_callbacks_present(in_data) || !out_data) {
        return nullptr;
    }
    PF_Handle handle = in_data->utils->host_new_handle(sizeof(BokehPlugin));
    if (!handle) {
        return nullptr;
    }
    void* bytes = in_data->utils->host_lock_handle(handle);
    if (!bytes) {
        in_data->utils->host_dispose_handle(handle);
        return nullptr;
    }
    auto* plugin = new (bytes) BokehPlugin;
    plugin->first_call_init();
    out_data->global_data = handle;
    return plugin;
}

void release_held_plugin(PF_InData* in_data, PF_OutData* out_data) {
    BokehPlugin* plugin = held_plugin(in_data);
    if (!plugin) {
        return;
    }
    // The host frees the handle as raw bytes.
    plugin->~BokehPlugin();
    in_data->utils->host_unlock_handle(in_data->global_data);
    in_data->utils->host_dispose_handle(in_data->global_data);
    if (out_data) {
        out_data->global_data = nullptr;
    }
}

PF_Err on_params_setup(BokehPlugin& plugin, const CommandArgs& a) {
    return plugin.params_setup(a.in_data, a.out_data);
}

PF_Err on_sequence_setup(BokehPlugin& plugin, const CommandArgs& a) {
    return plugin.sequence_setup(a.in_data, a.out_data);
}

PF_Err on_sequence_setdown(BokehPlugin& plugin, const CommandArgs& a) {
    return plugin.sequence_setdown(a.in_data, a.out_data);
}

PF_Err on_render(BokehPlugin& plugin, const CommandArgs& a) {
    return plugin.render_frame(a.in_data, a.out_data, a.params, a.output);
}

PF_Err on_user_changed_param(BokehPlugin& plugin, const CommandArgs& a) {
    return plugin.user_changed_param(a.in_data, a.out_data, a.params,
                                     static_cast<const PF_UserChangedParamExtra*>(a.extra));
}

PF_Err on_global_setdown(BokehPlugin&, const CommandArgs& a) {
    release_held_plugin(a.in_data, a.out_data);
    return PF_Err_NONE;
}

// One slot per selector 0..15; larger selectors are answered with success.
constexpr CommandHandler kCommandTable[PF_Cmd_NUM_CMDS] = {
    on_about,               // PF_Cmd_ABOUT
    on_global_setup,        // PF_Cmd_GLOBAL_SETUP
    do_nothing,             // reserved
    on_global_setdown,      // PF_Cmd_GLOBAL_SETDOWN
    on_params_setup,        // PF_Cmd_PARAMS_SETUP
    on_sequence_setup,      // PF_Cmd_SEQUENCE_SETUP
    do_nothing,             // PF_Cmd_SEQUENCE_RESETUP
    do_nothing,             // PF_Cmd_SEQUENCE_FLATTEN
    on_sequence_setdown,    // PF_Cmd_SEQUENCE_SETDOWN
    do_nothing,             // PF_Cmd_DO_DIALOG
    do_nothing,             // PF_Cmd_FRAME_SETUP
    on_render,              // PF_Cmd_RENDER
    do_nothing,             // PF_Cmd_FRAME_SETDOWN: a render keeps nothing past its return
    on_user_changed_param,  // PF_Cmd_USER_CHANGED_PARAM
    do_nothing,             // PF_Cmd_UPDATE_PARAMS_UI
    do_nothing,             // PF_Cmd_EVENT
};

}  // namespace

extern "C" PF_Err quillbloom_effect_main(PF_Cmd cmd, PF_InData* in_data, PF_OutData* out_data,
                                         PF_ParamDef* params[], PF_LayerDef* output, void* extra) {
    if (cmd < 0 || cmd >= PF_Cmd_NUM_CMDS) {
        return PF_Err_NONE;
    }
    // The handlers report through codes; only the C++ library itself (a listing or a name that
    // finds no memory) can throw, and nothing may cross into the host.
    try {
        BokehPlugin* plugin = held_plugin(in_data);
        if (!plugin && cmd == PF_Cmd_GLOBAL_SETUP) {
            plugin = make_held_plugin(in_data, out_data);
        }
        // A command before global set-up, or from a host that keeps no handle for the module,
        // works on an object of its own with the first-call values, and keeps nothing.
        std::unique_ptr<BokehPlugin> for_this_command;
        if (!plugin) {
            for_this_command = std::make_unique<BokehPlugin>();
            for_this_command->first_call_init();
            plugin = for_this_command.get();
        }
        return kCommandTable[cmd](*plugin, CommandArgs{in_data, out_data, params, output, extra});
    } catch (const std::bad_alloc&) {
        report(out_data, kOutOfMemory);
        return PF_Err_OUT_OF_MEMORY;
    } catch (...) {
        report(out_data, kInternalError);
        return PF_Err_INVALID_INDEX;
    }
}
