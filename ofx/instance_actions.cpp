#include "ofx/instance_actions.h"

#include <string>

#include "ofx/control_reader.h"
#include "ofx/effect_description.h"
#include "ofx/ofx_failure.h"
#include "ofx/parameter_table.h"
#include "ofx/property_access.h"

namespace qb_ofx {
namespace {

OfxRectD region_of(const HostSuites& suites, OfxImageClipHandle clip, OfxTime time) {
    OfxRectD region{};
    const OfxStatus status = suites.effect->clipGetRegionOfDefinition(clip, time, &region);
    if (status != kOfxStatOK) {
        throw OfxFailure(kOfxStatFailed, "the host could not tell where an input lies (status " +
                                             std::to_string(status) + ")");
    }
    return region;
}

void enable(const HostSuites& suites, OfxParamSetHandle params, const char* name, bool on) {
    OfxPropertySetHandle handle = nullptr;
    OfxParamHandle param = nullptr;
    if (suites.param->paramGetHandle(params, name, &param, &handle) == kOfxStatOK && handle) {
        suites.property->propSetInt(handle, kOfxParamPropEnabled, 0, on ? 1 : 0);
    }
}

bool boolean_value(const HostSuites& suites, OfxParamSetHandle params, const char* name,
                   OfxTime time) {
    int value = 0;
    suites.param->paramGetValueAtTime(param_handle(suites, params, name), time, &value);
    return value != 0;
}

}  // namespace

ClipHandles clip_named(const HostSuites& suites, OfxImageEffectHandle effect, const char* name) {
    ClipHandles handles;
    if (suites.effect->clipGetHandle(effect, name, &handles.clip, &handles.properties) !=
        kOfxStatOK) {
        return {};
    }
    return handles;
}

bool connected(const HostSuites& suites, const ClipHandles& clip) {
    return clip.clip && PropertyAccess(*suites.property, clip.properties)
                                .integer_or(kOfxImageClipPropConnected, 0) != 0;
}

OfxStatus region_of_definition(const HostSuites& suites, OfxImageEffectHandle effect,
                               OfxPropertySetHandle in_args, OfxPropertySetHandle out_args) {
    const ClipHandles source = clip_named(suites, effect, kOfxImageEffectSimpleSourceClipName);
    if (!connected(suites, source)) {
        return kOfxStatReplyDefault;
    }
    const OfxTime time = PropertyAccess(*suites.property, in_args).real(kOfxPropTime);
    PropertyAccess(*suites.property, out_args)
        .set(kOfxImageEffectPropRegionOfDefinition, region_of(suites, source.clip, time));
    return kOfxStatOK;
}

OfxStatus regions_of_interest(const HostSuites& suites, OfxImageEffectHandle effect,
                              OfxPropertySetHandle in_args, OfxPropertySetHandle out_args) {
    const OfxTime time = PropertyAccess(*suites.property, in_args).real(kOfxPropTime);
    const PropertyAccess out(*suites.property, out_args);
    for (const char* name : {kOfxImageEffectSimpleSourceClipName, kDepthClipName}) {
        const ClipHandles clip = clip_named(suites, effect, name);
        if (connected(suites, clip)) {
            out.set((std::string(kOfxImageClipPropRoIPrefix) + name).c_str(),
                    region_of(suites, clip.clip, time));
        }
    }
    return kOfxStatOK;
}

OfxStatus clip_preferences(const HostSuites& suites, OfxImageEffectHandle effect,
                           OfxPropertySetHandle out_args) {
    const ClipHandles source = clip_named(suites, effect, kOfxImageEffectSimpleSourceClipName);
    if (!connected(suites, source)) {
        return kOfxStatReplyDefault;
    }
    // The output is what the source is: its components, and its premultiplication, which the
    // render undoes and redoes.
    const PropertyAccess props(*suites.property, source.properties);
    const PropertyAccess out(*suites.property, out_args);
    const std::string components = props.string_or(kOfxImageEffectPropComponents, "");
    if (!components.empty()) {
        out.set((std::string(kOfxImageClipPropComponentsPrefix) + kOfxImageEffectOutputClipName)
                    .c_str(),
                components);
    }
    const std::string premultiplication = props.string_or(kOfxImageEffectPropPreMultiplication, "");
    if (!premultiplication.empty()) {
        out.set(kOfxImageEffectPropPreMultiplication, premultiplication);
    }
    return kOfxStatOK;
}

OfxStatus instance_changed(const HostSuites& suites, OfxImageEffectHandle effect,
                           OfxPropertySetHandle in_args) {
    const PropertyAccess args(*suites.property, in_args);
    if (args.string_or(kOfxPropType, "") != kOfxTypeParameter) {
        return kOfxStatReplyDefault;
    }
    const std::string name = args.string_or(kOfxPropName, "");
    const OfxTime time = args.real_or(kOfxPropTime, 0, 0.0);
    OfxParamSetHandle params = nullptr;
    if (suites.effect->getParamSet(effect, &params) != kOfxStatOK) {
        return kOfxStatFailed;
    }
    for (const ParamEntry& entry : parameter_table({})) {
        if (entry.enabled_by == name) {
            enable(suites, params, entry.name.c_str(),
                   boolean_value(suites, params, name.c_str(), time));
        }
    }
    return kOfxStatOK;
}

}  // namespace qb_ofx
