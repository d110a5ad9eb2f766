// The OpenFX bundle's entry points: the one plug-in of the binary and its action dispatch. This is
// the one place where failures become the host's statuses and messages: nothing thrown inside
// crosses into the host. The host's suites and the controls the module declares are learnt once
// at load and only read afterwards; everything a render needs beyond them it owns.
#include <cstring>
#include <exception>
#include <filesystem>
#include <new>
#include <string>

#include "ofx/api/ofx_api.h"
#include "ofx/bundle_folder.h"
#include "ofx/effect_description.h"
#include "ofx/host_suites.h"
#include "ofx/instance_actions.h"
#include "ofx/ofx_failure.h"
#include "ofx/render_action.h"
#include "plugin/effect_entry.h"
#include "session/effect_declarations.h"
#include "session/plugin_folder_location.h"
#include "session/session_error.h"

namespace {

struct LoadedPlugin {
    const OfxHost* host = nullptr;
    qb_ofx::HostSuites suites;
    std::filesystem::path module;
    session::EffectDeclarations declarations;
};

LoadedPlugin& loaded() {
    static LoadedPlugin plugin;
    return plugin;
}

void tell_host(const void* handle, const char* kind, const std::string& text) {
    const OfxMessageSuiteV1* messages = loaded().suites.message;
    if (messages && !text.empty()) {
        messages->message(const_cast<void*>(handle), kind, nullptr, "%s", text.c_str());
    }
}

void load() {
    LoadedPlugin& plugin = loaded();
    plugin.suites = qb_ofx::fetch_suites(plugin.host);
    plugin.module = qb_ofx::effect_module_path();
    try {
        plugin.declarations = session::learn_declarations(quillbloom_effect_main, plugin.module);
    } catch (const std::exception& error) {
        throw qb_ofx::OfxFailure(kOfxStatFailed,
                                 std::string("Quillbloom Depth of Field is not available: ") +
                                     error.what() + " (its plug-in folder is " +
                                     plugin.module.parent_path().string() + "; " +
                                     session::kPluginFolderVariable + " chooses another)");
    }
}

OfxStatus dispatch(const char* action, OfxImageEffectHandle effect, OfxPropertySetHandle in_args,
                   OfxPropertySetHandle out_args) {
    const LoadedPlugin& plugin = loaded();
    const qb_ofx::HostSuites& suites = plugin.suites;
    const auto is = [action](const char* name) { return std::strcmp(action, name) == 0; };
    if (is(kOfxActionLoad)) {
        load();
        return kOfxStatOK;
    }
    if (is(kOfxActionUnload) || is(kOfxActionCreateInstance) || is(kOfxActionDestroyInstance)) {
        // Instances keep nothing of their own: every render starts its own effect session.
        return kOfxStatOK;
    }
    if (is(kOfxActionDescribe)) {
        qb_ofx::describe(suites, effect);
        return kOfxStatOK;
    }
    if (is(kOfxImageEffectActionDescribeInContext)) {
        qb_ofx::describe_in_context(suites, effect, in_args, plugin.declarations);
        return kOfxStatOK;
    }
    if (is(kOfxImageEffectActionGetRegionOfDefinition)) {
        return qb_ofx::region_of_definition(suites, effect, in_args, out_args);
    }
    if (is(kOfxImageEffectActionGetRegionsOfInterest)) {
        return qb_ofx::regions_of_interest(suites, effect, in_args, out_args);
    }
    if (is(kOfxImageEffectActionGetClipPreferences)) {
        return qb_ofx::clip_preferences(suites, effect, out_args);
    }
    if (is(kOfxActionInstanceChanged)) {
        return qb_ofx::instance_changed(suites, effect, in_args);
    }
    if (is(kOfxImageEffectActionRender)) {
        qb_ofx::render_frame(suites, effect, in_args, plugin.declarations, plugin.module);
        return kOfxStatOK;
    }
    // Is-identity, sequence renders and the rest: the effect always renders, and needs nothing
    // set up beforehand.
    return kOfxStatReplyDefault;
}

OfxStatus main_entry(const char* action, const void* handle, OfxPropertySetHandle in_args,
                     OfxPropertySetHandle out_args) {
    if (!action) {
        return kOfxStatErrUnknown;
    }
    auto* effect = static_cast<OfxImageEffectHandle>(const_cast<void*>(handle));
    try {
        return dispatch(action, effect, in_args, out_args);
    } catch (const qb_ofx::OfxFailure& failure) {
        tell_host(handle, kOfxMessageError, failure.what());
        return failure.status();
    } catch (const session::SessionError& error) {
        // The host asked for the stop: nothing to tell, and nothing was written.
        if (error.kind() != session::FailureKind::cancelled) {
            tell_host(handle, kOfxMessageError, error.what());
        }
        return kOfxStatFailed;
    } catch (const std::bad_alloc&) {
        tell_host(handle, kOfxMessageError,
                  std::string("not enough memory for Quillbloom Depth of Field (") + action + ")");
        return kOfxStatErrMemory;
    } catch (const std::exception& error) {
        tell_host(handle, kOfxMessageError, error.what());
        return kOfxStatFailed;
    } catch (...) {
        tell_host(handle, kOfxMessageError,
                  std::string("Quillbloom Depth of Field failed in ") + action);
        return kOfxStatFailed;
    }
}

void set_host(OfxHost* host) {
    loaded().host = host;
}

OfxPlugin the_plugin = {kOfxImageEffectPluginApi,
                        kOfxImageEffectPluginApiVersion,
                        qb_ofx::kPluginIdentifier,
                        qb_ofx::kPluginVersionMajor,
                        qb_ofx::kPluginVersionMinor,
                        set_host,
                        main_entry};

}  // namespace

extern "C" {

__attribute__((visibility("default"))) OfxPlugin* OfxGetPlugin(int nth) {
    return nth == 0 ? &the_plugin : nullptr;
}

__attribute__((visibility("default"))) int OfxGetNumberOfPlugins(void) {
    return 1;
}

__attribute__((visibility("default"))) OfxStatus OfxSetHost(const OfxHost* host) {
    loaded().host = host;
    return kOfxStatOK;
}

}  // extern "C"
