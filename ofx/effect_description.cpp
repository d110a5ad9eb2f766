#include "ofx/effect_description.h"

#include <string>

#include "ofx/ofx_failure.h"
#include "ofx/parameter_table.h"
#include "ofx/property_access.h"

namespace qb_ofx {
namespace {

constexpr const char kPageName[] = "Controls";

constexpr const char kDescription[] =
    "Renders the picture as a lens focused at one distance would: pixels away from that "
    "distance, as the Depth input tells it, spread into discs of the iris shape, and bright "
    "points bloom into iris-shaped highlights. Without a Depth input everything blurs as far "
    "from focus.";

const char* param_type(ParamKind kind) {
    switch (kind) {
        case ParamKind::kChoice:
            return kOfxParamTypeChoice;
        case ParamKind::kInteger:
            return kOfxParamTypeInteger;
        case ParamKind::kBoolean:
            return kOfxParamTypeBoolean;
        case ParamKind::kPoint:
            return kOfxParamTypeDouble2D;
        case ParamKind::kGroup:
            return kOfxParamTypeGroup;
        case ParamKind::kDouble:
            break;
    }
    return kOfxParamTypeDouble;
}

void set_range(const PropertyAccess& props, const ParamEntry& entry) {
    if (entry.kind == ParamKind::kInteger) {
        props.set(kOfxParamPropDefault, static_cast<int>(entry.default_value));
        props.set(kOfxParamPropMin, static_cast<int>(entry.min));
        props.set(kOfxParamPropMax, static_cast<int>(entry.max));
        props.set(kOfxParamPropDisplayMin, static_cast<int>(entry.display_min));
        props.set(kOfxParamPropDisplayMax, static_cast<int>(entry.display_max));
        return;
    }
    props.set(kOfxParamPropDefault, entry.default_value);
    props.set(kOfxParamPropMin, entry.min);
    props.set(kOfxParamPropMax, entry.max);
    props.set(kOfxParamPropDisplayMin, entry.display_min);
    props.set(kOfxParamPropDisplayMax, entry.display_max);
    props.set(kOfxParamPropDigits, entry.digits);
}

void define_param(const HostSuites& suites, OfxParamSetHandle params, const ParamEntry& entry) {
    OfxPropertySetHandle handle = nullptr;
    const OfxStatus status =
        suites.param->paramDefine(params, param_type(entry.kind), entry.name.c_str(), &handle);
    if (status != kOfxStatOK) {
        throw OfxFailure(kOfxStatFailed, "the host refused the parameter \"" + entry.name +
                                             "\" (status " + std::to_string(status) + ")");
    }
    const PropertyAccess props(*suites.property, handle);
    props.set(kOfxPropLabel, entry.name);
    props.set(kOfxParamPropScriptName, entry.name);
    if (!entry.hint.empty()) {
        props.set(kOfxParamPropHint, entry.hint);
    }
    if (!entry.parent.empty()) {
        props.set(kOfxParamPropParent, entry.parent);
    }
    switch (entry.kind) {
        case ParamKind::kChoice:
            for (std::size_t i = 0; i < entry.options.size(); ++i) {
                props.set(kOfxParamPropChoiceOption, entry.options[i], static_cast<int>(i));
            }
            props.set(kOfxParamPropDefault, static_cast<int>(entry.default_value));
            break;
        case ParamKind::kBoolean:
            props.set(kOfxParamPropDefault, static_cast<int>(entry.default_value));
            break;
        case ParamKind::kPoint:
            props.set(kOfxParamPropDoubleType, kOfxParamDoubleTypeXYAbsolute);
            props.set(kOfxParamPropDefaultCoordinateSystem, kOfxParamCoordinatesCanonical);
            break;
        case ParamKind::kGroup:
            break;
        case ParamKind::kDouble:
        case ParamKind::kInteger:
            set_range(props, entry);
            break;
    }
}

void define_page(const HostSuites& suites, OfxParamSetHandle params,
                 const std::vector<ParamEntry>& table) {
    OfxPropertySetHandle handle = nullptr;
    if (suites.param->paramDefine(params, kOfxParamTypePage, kPageName, &handle) != kOfxStatOK) {
        return;  // a host without pages shows the parameters in their own order
    }
    const PropertyAccess props(*suites.property, handle);
    int index = 0;
    for (const ParamEntry& entry : table) {
        if (entry.kind != ParamKind::kGroup) {
            props.set(kOfxParamPropPageChild, entry.name, index++);
        }
    }
}

void define_clip(const HostSuites& suites, OfxImageEffectHandle effect, const char* name,
                 bool optional) {
    OfxPropertySetHandle handle = nullptr;
    const OfxStatus status = suites.effect->clipDefine(effect, name, &handle);
    if (status != kOfxStatOK) {
        throw OfxFailure(kOfxStatFailed, std::string("the host refused the clip ") + name +
                                             " (status " + std::to_string(status) + ")");
    }
    const PropertyAccess props(*suites.property, handle);
    props.set_strings(kOfxImageEffectPropSupportedComponents,
                      {kOfxImageComponentRGBA, kOfxImageComponentRGB});
    props.set(kOfxImageEffectPropSupportsTiles, 0);
    props.set(kOfxImageEffectPropTemporalClipAccess, 0);
    if (optional) {
        props.set(kOfxImageClipPropOptional, 1);
    }
}

}  // namespace

void describe(const HostSuites& suites, OfxImageEffectHandle effect) {
    OfxPropertySetHandle handle = nullptr;
    if (suites.effect->getPropertySet(effect, &handle) != kOfxStatOK) {
        throw OfxFailure(kOfxStatFailed, "the host gave no property set for the effect");
    }
    const PropertyAccess props(*suites.property, handle);
    props.set(kOfxPropLabel, kPluginLabel);
    props.set(kOfxImageEffectPluginPropGrouping, kPluginGrouping);
    props.set(kOfxPropPluginDescription, kDescription);
    props.set(kOfxPropVersion, static_cast<int>(kPluginVersionMajor), 0);
    props.set(kOfxPropVersion, static_cast<int>(kPluginVersionMinor), 1);
    props.set(kOfxPropVersionLabel, QB_VERSION);
    props.set_strings(kOfxImageEffectPropSupportedContexts,
                      {kOfxImageEffectContextFilter, kOfxImageEffectContextGeneral});
    props.set_strings(kOfxImageEffectPropSupportedPixelDepths,
                      {kOfxBitDepthByte, kOfxBitDepthShort, kOfxBitDepthFloat});
    // Every render has an effect session of its own and the module keeps no state between
    // renders, so instances and frames render at once; the blur of every pixel reaches across
    // the whole frame, so the host must not cut it into tiles or threads.
    props.set(kOfxImageEffectPluginRenderThreadSafety, kOfxImageEffectRenderFullySafe);
    props.set(kOfxImageEffectPluginPropHostFrameThreading, 0);
    props.set(kOfxImageEffectPropSupportsTiles, 0);
    props.set(kOfxImageEffectPropSupportsMultiResolution, 0);
    props.set(kOfxImageEffectPropTemporalClipAccess, 0);
    props.set(kOfxImageEffectPropSupportsMultipleClipDepths, 0);
    props.set(kOfxImageEffectPluginPropSingleInstance, 0);
}

void describe_in_context(const HostSuites& suites, OfxImageEffectHandle effect,
                         OfxPropertySetHandle in_args,
                         const session::EffectDeclarations& declarations) {
    const std::string context =
        PropertyAccess(*suites.property, in_args).string(kOfxImageEffectPropContext);
    const bool general = context == kOfxImageEffectContextGeneral;
    if (!general && context != kOfxImageEffectContextFilter) {
        throw OfxFailure(kOfxStatErrUnsupported,
                         "the effect does not work in the context " + context);
    }
    define_clip(suites, effect, kOfxImageEffectOutputClipName, false);
    define_clip(suites, effect, kOfxImageEffectSimpleSourceClipName, false);
    if (general) {
        define_clip(suites, effect, kDepthClipName, true);
    }
    OfxParamSetHandle params = nullptr;
    if (suites.effect->getParamSet(effect, &params) != kOfxStatOK) {
        throw OfxFailure(kOfxStatFailed, "the host gave no parameter set for the effect");
    }
    const std::vector<ParamEntry> table = parameter_table(declarations);
    for (const ParamEntry& entry : table) {
        define_param(suites, params, entry);
    }
    define_page(suites, params, table);
}

}  // namespace qb_ofx
