#include "tests/ofx/ofx_test_host.h"

#include <dlfcn.h>

#include <algorithm>
#include <climits>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace ofx_test {
namespace {

constexpr double kByteTop = 255.0;
constexpr double kShortTop = 65535.0;
constexpr int kApiVersionMajor = 1;
constexpr int kApiVersionMinor = 4;
constexpr int kMessageBytes = 4096;

OfxTestHost& host_of(OfxImageEffectHandle handle) {
    return OfxTestHost::of(reinterpret_cast<Effect*>(handle));
}

Effect* effect_of(OfxImageEffectHandle handle) {
    return reinterpret_cast<Effect*>(handle);
}

// ---- What each kind of object holds before the plug-in touches it.

void define_labels(PropertySet& props, const std::string& name) {
    props.define(kOfxPropName, std::vector<std::string>{name});
    props.define(kOfxPropLabel, std::vector<std::string>{name});
    props.define(kOfxPropShortLabel, std::vector<std::string>{name});
    props.define(kOfxPropLongLabel, std::vector<std::string>{name});
}

void define_effect_descriptor(PropertySet& props, const std::string& path) {
    props.define(kOfxPropType, std::vector<std::string>{kOfxTypeImageEffect});
    define_labels(props, "");
    props.define(kOfxPropVersion, std::vector<int>{});
    props.define(kOfxPropVersionLabel, std::vector<std::string>{""});
    props.define(kOfxPropPluginDescription, std::vector<std::string>{""});
    props.define(kOfxPluginPropFilePath, std::vector<std::string>{path});
    props.define(kOfxImageEffectPluginPropGrouping, std::vector<std::string>{""});
    props.define(kOfxImageEffectPropSupportedContexts, std::vector<std::string>{});
    props.define(kOfxImageEffectPropSupportedPixelDepths, std::vector<std::string>{});
    props.define(kOfxImageEffectPluginPropSingleInstance, std::vector<int>{0});
    props.define(kOfxImageEffectPluginRenderThreadSafety,
                 std::vector<std::string>{kOfxImageEffectRenderInstanceSafe});
    props.define(kOfxImageEffectPluginPropHostFrameThreading, std::vector<int>{1});
    props.define(kOfxImageEffectPropSupportsMultiResolution, std::vector<int>{1});
    props.define(kOfxImageEffectPropSupportsTiles, std::vector<int>{1});
    props.define(kOfxImageEffectPropTemporalClipAccess, std::vector<int>{0});
    props.define(kOfxImageEffectPropSupportsMultipleClipDepths, std::vector<int>{0});
    props.define(kOfxImageEffectPropSupportsMultipleClipPARs, std::vector<int>{0});
    props.define(kOfxImageEffectPluginPropFieldRenderTwiceAlways, std::vector<int>{1});
    props.define(kOfxImageEffectPropClipPreferencesSlaveParam, std::vector<std::string>{});
    props.define(kOfxPluginPropParamPageOrder, std::vector<std::string>{});
}

void define_clip_descriptor(PropertySet& props, const std::string& name) {
    props.define(kOfxPropType, std::vector<std::string>{kOfxTypeClip});
    define_labels(props, name);
    props.define(kOfxImageEffectPropSupportedComponents, std::vector<std::string>{});
    props.define(kOfxImageEffectPropTemporalClipAccess, std::vector<int>{0});
    props.define(kOfxImageClipPropOptional, std::vector<int>{0});
    props.define(kOfxImageClipPropFieldExtraction, std::vector<std::string>{kOfxImageFieldBoth});
    props.define(kOfxImageClipPropIsMask, std::vector<int>{0});
    props.define(kOfxImageEffectPropSupportsTiles, std::vector<int>{1});
}

bool integer_valued(const std::string& type) {
    return type == kOfxParamTypeInteger || type == kOfxParamTypeBoolean ||
           type == kOfxParamTypeChoice || type == kOfxParamTypeInteger2D ||
           type == kOfxParamTypeInteger3D;
}

bool double_valued(const std::string& type) {
    return type == kOfxParamTypeDouble || type == kOfxParamTypeDouble2D ||
           type == kOfxParamTypeDouble3D || type == kOfxParamTypeRGB || type == kOfxParamTypeRGBA;
}

int dimensions(const std::string& type) {
    if (type == kOfxParamTypeDouble2D || type == kOfxParamTypeInteger2D) {
        return 2;
    }
    if (type == kOfxParamTypeDouble3D || type == kOfxParamTypeInteger3D ||
        type == kOfxParamTypeRGB) {
        return 3;
    }
    return type == kOfxParamTypeRGBA ? 4 : 1;
}

void define_param_descriptor(PropertySet& props, const std::string& type, const std::string& name) {
    props.define(kOfxPropType, std::vector<std::string>{kOfxTypeParameter});
    define_labels(props, name);
    props.define(kOfxParamPropType, std::vector<std::string>{type});
    props.define(kOfxParamPropScriptName, std::vector<std::string>{name});
    props.define(kOfxParamPropHint, std::vector<std::string>{""});
    props.define(kOfxParamPropParent, std::vector<std::string>{""});
    props.define(kOfxParamPropEnabled, std::vector<int>{1});
    props.define(kOfxParamPropSecret, std::vector<int>{0});
    if (type == kOfxParamTypeGroup) {
        props.define(kOfxParamPropGroupOpen, std::vector<int>{1});
        return;
    }
    if (type == kOfxParamTypePage) {
        props.define(kOfxParamPropPageChild, std::vector<std::string>{});
        return;
    }
    props.define(kOfxParamPropEvaluateOnChange, std::vector<int>{1});
    props.define(kOfxParamPropAnimates, std::vector<int>{1});
    props.define(kOfxParamPropPersistant, std::vector<int>{1});
    props.define(kOfxParamPropCanUndo, std::vector<int>{1});
    props.define(kOfxParamPropPluginMayWrite, std::vector<int>{0});
    props.define(kOfxParamPropCacheInvalidation,
                 std::vector<std::string>{kOfxParamInvalidateValueChange});
    const int n = dimensions(type);
    if (integer_valued(type)) {
        props.define(kOfxParamPropDefault, std::vector<int>(static_cast<std::size_t>(n), 0));
        if (type != kOfxParamTypeBoolean && type != kOfxParamTypeChoice) {
            props.define(kOfxParamPropMin, std::vector<int>(static_cast<std::size_t>(n), INT_MIN));
            props.define(kOfxParamPropMax, std::vector<int>(static_cast<std::size_t>(n), INT_MAX));
            props.define(kOfxParamPropDisplayMin,
                         std::vector<int>(static_cast<std::size_t>(n), INT_MIN));
            props.define(kOfxParamPropDisplayMax,
                         std::vector<int>(static_cast<std::size_t>(n), INT_MAX));
        }
        if (type == kOfxParamTypeChoice) {
            props.define(kOfxParamPropChoiceOption, std::vector<std::string>{});
        }
    } else if (double_valued(type)) {
        props.define(kOfxParamPropDefault, std::vector<double>(static_cast<std::size_t>(n), 0.0));
        props.define(kOfxParamPropMin, std::vector<double>(static_cast<std::size_t>(n), -1e300));
        props.define(kOfxParamPropMax, std::vector<double>(static_cast<std::size_t>(n), 1e300));
        props.define(kOfxParamPropDisplayMin,
                     std::vector<double>(static_cast<std::size_t>(n), -1e300));
        props.define(kOfxParamPropDisplayMax,
                     std::vector<double>(static_cast<std::size_t>(n), 1e300));
        props.define(kOfxParamPropIncrement, std::vector<double>{1.0});
        props.define(kOfxParamPropDigits, std::vector<int>{2});
        props.define(kOfxParamPropDoubleType, std::vector<std::string>{kOfxParamDoubleTypePlain});
        props.define(kOfxParamPropDefaultCoordinateSystem,
                     std::vector<std::string>{kOfxParamCoordinatesCanonical});
        if (n > 1) {
            props.define(kOfxParamPropDimensionLabel, std::vector<std::string>{"x", "y", "z", "w"});
        }
    } else if (type == kOfxParamTypeString) {
        props.define(kOfxParamPropDefault, std::vector<std::string>{""});
    }
}

// ---- The parameter suite.

Param* param_of(OfxParamHandle handle) {
    return reinterpret_cast<Param*>(handle);
}

ParamSet* param_set_of(OfxParamSetHandle handle) {
    return reinterpret_cast<ParamSet*>(handle);
}

OfxStatus param_define(OfxParamSetHandle set, const char* type, const char* name,
                       OfxPropertySetHandle* props) {
    ParamSet* params = param_set_of(set);
    if (!params || !type || !name) {
        return kOfxStatErrBadHandle;
    }
    if (params->params.count(name)) {
        return kOfxStatErrExists;
    }
    auto param = std::make_unique<Param>();
    param->type = type;
    define_param_descriptor(param->props, type, name);
    if (props) {
        *props = param->props.handle();
    }
    params->order.push_back(name);
    params->params[name] = std::move(param);
    return kOfxStatOK;
}

OfxStatus param_get_handle(OfxParamSetHandle set, const char* name, OfxParamHandle* param,
                           OfxPropertySetHandle* props) {
    ParamSet* params = param_set_of(set);
    const auto found = params && name ? params->params.find(name) : params->params.end();
    if (!params || found == params->params.end()) {
        return kOfxStatErrUnknown;
    }
    if (param) {
        *param = reinterpret_cast<OfxParamHandle>(found->second.get());
    }
    if (props) {
        *props = found->second->props.handle();
    }
    return kOfxStatOK;
}

OfxStatus read_value(Param* param, va_list args) {
    if (!param) {
        return kOfxStatErrBadHandle;
    }
    const int n = dimensions(param->type);
    for (int i = 0; i < n; ++i) {
        if (integer_valued(param->type)) {
            *va_arg(args, int*) = param->ints.at(static_cast<std::size_t>(i));
        } else if (double_valued(param->type)) {
            *va_arg(args, double*) = param->doubles.at(static_cast<std::size_t>(i));
        } else if (param->type == kOfxParamTypeString) {
            *va_arg(args, char**) = const_cast<char*>(param->text.c_str());
        } else {
            return kOfxStatErrUnsupported;
        }
    }
    return kOfxStatOK;
}

OfxStatus get_value(OfxParamHandle handle, ...) {
    va_list args;
    va_start(args, handle);
    const OfxStatus status = read_value(param_of(handle), args);
    va_end(args);
    return status;
}

OfxStatus get_value_at_time(OfxParamHandle handle, OfxTime time, ...) {
    va_list args;
    va_start(args, time);
    const OfxStatus status = read_value(param_of(handle), args);
    va_end(args);
    return status;
}

// Animation and writing values back are not part of what the plug-in may use.
OfxStatus unsupported_at_time(OfxParamHandle, OfxTime, ...) {
    return kOfxStatErrUnsupported;
}
OfxStatus unsupported_over_times(OfxParamHandle, OfxTime, OfxTime, ...) {
    return kOfxStatErrUnsupported;
}
OfxStatus unsupported_set(OfxParamHandle, ...) {
    return kOfxStatErrUnsupported;
}

const OfxParameterSuiteV1 kParameterSuite = {
    param_define,
    param_get_handle,
    [](OfxParamSetHandle set, OfxPropertySetHandle* props) {
        if (!set || !props) {
            return kOfxStatErrBadHandle;
        }
        *props = param_set_of(set)->props.handle();
        return kOfxStatOK;
    },
    [](OfxParamHandle param, OfxPropertySetHandle* props) {
        if (!param || !props) {
            return kOfxStatErrBadHandle;
        }
        *props = param_of(param)->props.handle();
        return kOfxStatOK;
    },
    get_value,
    get_value_at_time,
    unsupported_at_time,
    unsupported_over_times,
    unsupported_set,
    unsupported_at_time,
    [](OfxParamHandle, unsigned int* keys) {
        if (keys) {
            *keys = 0;
        }
        return kOfxStatOK;
    },
    [](OfxParamHandle, unsigned int, OfxTime*) { return kOfxStatErrBadIndex; },
    [](OfxParamHandle, OfxTime, int, int*) { return kOfxStatFailed; },
    [](OfxParamHandle, OfxTime) { return kOfxStatErrBadIndex; },
    [](OfxParamHandle) { return kOfxStatOK; },
    [](OfxParamHandle, OfxParamHandle, OfxTime, const OfxRangeD*) {
        return kOfxStatErrUnsupported;
    },
    [](OfxParamSetHandle, const char*) { return kOfxStatOK; },
    [](OfxParamSetHandle) { return kOfxStatOK; },
};

// ---- Images.

struct FetchedImage {
    OfxTestHost* host = nullptr;
    PropertySet props;
    std::vector<unsigned char> bytes;  // bottom-up copy of the picture
};

// Fetched images by the handle the plug-in holds: their property set.
std::mutex fetched_lock;
std::map<PropertySet*, std::unique_ptr<FetchedImage>>& fetched_images() {
    static std::map<PropertySet*, std::unique_ptr<FetchedImage>> images;
    return images;
}

OfxPropertySetHandle hand_out(std::unique_ptr<FetchedImage> image) {
    image->host->count_image(+1);
    PropertySet* props = &image->props;
    const std::lock_guard<std::mutex> lock(fetched_lock);
    fetched_images()[props] = std::move(image);
    return props->handle();
}

std::string components_of(const Picture& picture) {
    return picture.channels == 3 ? kOfxImageComponentRGB : kOfxImageComponentRGBA;
}

void define_image(PropertySet& props, const Picture& picture, void* data, int row_bytes,
                  const std::string& premultiplication, double scale) {
    props.define(kOfxPropType, std::vector<std::string>{kOfxTypeImage});
    props.define(kOfxImageEffectPropPixelDepth, std::vector<std::string>{picture.depth});
    props.define(kOfxImageEffectPropComponents, std::vector<std::string>{components_of(picture)});
    props.define(kOfxImageEffectPropPreMultiplication, std::vector<std::string>{premultiplication});
    props.define(kOfxImageEffectPropRenderScale, std::vector<double>{scale, scale});
    props.define(kOfxImagePropPixelAspectRatio, std::vector<double>{1.0});
    props.define(kOfxImagePropData, std::vector<void*>{data});
    props.define(kOfxImagePropBounds, std::vector<int>{0, 0, picture.width, picture.height});
    props.define(kOfxImagePropRegionOfDefinition,
                 std::vector<int>{0, 0, picture.width, picture.height});
    props.define(kOfxImagePropRowBytes, std::vector<int>{row_bytes});
    props.define(kOfxImagePropField, std::vector<std::string>{kOfxImageFieldNone});
    props.define(kOfxImagePropUniqueIdentifier, std::vector<std::string>{"frame-0"});
}

Clip* clip_of(OfxImageClipHandle handle) {
    return reinterpret_cast<Clip*>(handle);
}

// The source's rows as the standard lays them: the bottom row first in the picture's own
// memory, walked upwards with negative row bytes.
OfxStatus fetch_input(OfxTestHost& host, Clip& clip, OfxPropertySetHandle* image) {
    auto fetched = std::make_unique<FetchedImage>();
    const Picture& picture = *clip.picture;
    fetched->bytes = picture.bytes;
    const std::size_t row = picture.row_bytes();
    unsigned char* bottom =
        fetched->bytes.data() + row * static_cast<std::size_t>(std::max(picture.height - 1, 0));
    define_image(fetched->props, picture, bottom, -static_cast<int>(row),
                 clip.props.get_string(kOfxImageEffectPropPreMultiplication), clip.scale);
    fetched->host = &host;
    *image = hand_out(std::move(fetched));
    return kOfxStatOK;
}

// The output's rows bottom-up with positive row bytes, in the output picture itself: the host
// turns them top-down once the render is over.
OfxStatus fetch_output(OfxTestHost& host, Clip& clip, OfxPropertySetHandle* image) {
    auto fetched = std::make_unique<FetchedImage>();
    Picture& picture = *clip.output;
    define_image(fetched->props, picture, picture.bytes.data(),
                 static_cast<int>(picture.row_bytes()),
                 clip.props.get_string(kOfxImageEffectPropPreMultiplication), clip.scale);
    fetched->host = &host;
    *image = hand_out(std::move(fetched));
    return kOfxStatOK;
}

Effect* owner_of(Clip* clip);

OfxStatus clip_get_image(OfxImageClipHandle handle, OfxTime, const OfxRectD*,
                         OfxPropertySetHandle* image) {
    Clip* clip = clip_of(handle);
    if (!clip || !image) {
        return kOfxStatErrBadHandle;
    }
    const bool is_output = clip->name == kOfxImageEffectOutputClipName;
    if ((is_output && !clip->output) || (!is_output && !clip->picture)) {
        return kOfxStatFailed;
    }
    OfxTestHost& host = OfxTestHost::of(owner_of(clip));
    return is_output ? fetch_output(host, *clip, image) : fetch_input(host, *clip, image);
}

std::map<Clip*, Effect*>& clip_owners() {
    static std::map<Clip*, Effect*> owners;
    return owners;
}
std::mutex clip_owners_lock;

Effect* owner_of(Clip* clip) {
    const std::lock_guard<std::mutex> lock(clip_owners_lock);
    return clip_owners().at(clip);
}

OfxStatus clip_release_image(OfxPropertySetHandle image) {
    std::unique_ptr<FetchedImage> released;
    {
        const std::lock_guard<std::mutex> lock(fetched_lock);
        const auto found = fetched_images().find(PropertySet::of(image));
        if (found == fetched_images().end()) {
            return kOfxStatErrBadHandle;
        }
        released = std::move(found->second);
        fetched_images().erase(found);
    }
    released->host->count_image(-1);
    return kOfxStatOK;
}

OfxStatus clip_define(OfxImageEffectHandle handle, const char* name, OfxPropertySetHandle* props) {
    Effect* effect = effect_of(handle);
    if (!effect || !name || effect->instance) {
        return kOfxStatErrBadHandle;
    }
    auto clip = std::make_unique<Clip>();
    clip->name = name;
    define_clip_descriptor(clip->props, name);
    if (props) {
        *props = clip->props.handle();
    }
    effect->clip_order.push_back(name);
    effect->clips[name] = std::move(clip);
    return kOfxStatOK;
}

OfxStatus clip_get_handle(OfxImageEffectHandle handle, const char* name, OfxImageClipHandle* clip,
                          OfxPropertySetHandle* props) {
    Effect* effect = effect_of(handle);
    if (!effect || !name || !effect->instance) {
        return kOfxStatErrBadHandle;
    }
    const auto found = effect->clips.find(name);
    if (found == effect->clips.end()) {
        return kOfxStatErrUnknown;
    }
    if (clip) {
        *clip = reinterpret_cast<OfxImageClipHandle>(found->second.get());
    }
    if (props) {
        *props = found->second->props.handle();
    }
    return kOfxStatOK;
}

OfxStatus clip_region(OfxImageClipHandle handle, OfxTime, OfxRectD* bounds) {
    Clip* clip = clip_of(handle);
    if (!clip || !bounds) {
        return kOfxStatErrBadHandle;
    }
    const Picture* picture = clip->picture ? clip->picture : clip->output;
    *bounds = picture ? OfxRectD{0, 0, static_cast<double>(picture->width),
                                 static_cast<double>(picture->height)}
                      : OfxRectD{0, 0, 0, 0};
    return kOfxStatOK;
}

const OfxImageEffectSuiteV1 kImageEffectSuite = {
    [](OfxImageEffectHandle handle, OfxPropertySetHandle* props) {
        if (!handle || !props) {
            return kOfxStatErrBadHandle;
        }
        *props = effect_of(handle)->props.handle();
        return kOfxStatOK;
    },
    [](OfxImageEffectHandle handle, OfxParamSetHandle* params) {
        if (!handle || !params) {
            return kOfxStatErrBadHandle;
        }
        *params = reinterpret_cast<OfxParamSetHandle>(&effect_of(handle)->params);
        return kOfxStatOK;
    },
    clip_define,
    clip_get_handle,
    [](OfxImageClipHandle clip, OfxPropertySetHandle* props) {
        if (!clip || !props) {
            return kOfxStatErrBadHandle;
        }
        *props = clip_of(clip)->props.handle();
        return kOfxStatOK;
    },
    clip_get_image,
    clip_release_image,
    clip_region,
    [](OfxImageEffectHandle handle) { return host_of(handle).abort_requested() ? 1 : 0; },
    [](OfxImageEffectHandle, size_t, OfxImageMemoryHandle*) { return kOfxStatErrMemory; },
    [](OfxImageMemoryHandle) { return kOfxStatErrBadHandle; },
    [](OfxImageMemoryHandle, void**) { return kOfxStatErrBadHandle; },
    [](OfxImageMemoryHandle) { return kOfxStatErrBadHandle; },
};

// ---- Memory, messages, progress.

OfxTestHost* current_host = nullptr;

const OfxMemorySuiteV1 kMemorySuite = {
    [](void*, size_t bytes, void** data) {
        if (!data) {
            return kOfxStatErrBadHandle;
        }
        *data = std::malloc(bytes);
        if (*data && current_host) {
            current_host->count_block(+1);
        }
        return *data ? kOfxStatOK : kOfxStatErrMemory;
    },
    [](void* data) {
        if (data && current_host) {
            current_host->count_block(-1);
        }
        std::free(data);
        return kOfxStatOK;
    },
};

OfxStatus post_message(void* handle, const char* kind, const char*, const char* format, ...) {
    char text[kMessageBytes] = {};
    va_list args;
    va_start(args, format);
    std::vsnprintf(text, sizeof text, format ? format : "", args);
    va_end(args);
    OfxTestHost* host = handle ? &OfxTestHost::of(static_cast<Effect*>(handle)) : current_host;
    if (host) {
        host->post(kind ? kind : "", text);
    }
    return kOfxStatOK;
}

const OfxMessageSuiteV1 kMessageSuite = {post_message};

const OfxProgressSuiteV1 kProgressSuite = {
    [](void* instance, const char*) { return instance ? kOfxStatOK : kOfxStatErrBadHandle; },
    [](void* instance, double) {
        if (!instance) {
            return kOfxStatErrBadHandle;
        }
        return OfxTestHost::of(static_cast<Effect*>(instance)).abort_requested() ? kOfxStatReplyNo
                                                                                 : kOfxStatOK;
    },
    [](void* instance) { return instance ? kOfxStatOK : kOfxStatErrBadHandle; },
};

const void* fetch_suite(OfxPropertySetHandle, const char* name, int version) {
    const std::string suite = name ? name : "";
    if (suite == kOfxPropertySuite && version == 1) {
        return &kPropertySuite;
    }
    if (suite == kOfxImageEffectSuite && version == 1) {
        return &kImageEffectSuite;
    }
    if (suite == kOfxParameterSuite && version == 1) {
        return &kParameterSuite;
    }
    if (suite == kOfxMemorySuite && version == 1) {
        return &kMemorySuite;
    }
    if (suite == kOfxMessageSuite && version == 1) {
        return &kMessageSuite;
    }
    if (suite == kOfxProgressSuite && version == 1) {
        return &kProgressSuite;
    }
    return nullptr;
}

void define_host(PropertySet& props) {
    props.define(kOfxPropType, std::vector<std::string>{kOfxTypeImageEffectHost});
    props.define(kOfxPropName, std::vector<std::string>{"org.quillbloom.TestHost"});
    props.define(kOfxPropLabel, std::vector<std::string>{"Test host"});
    props.define(kOfxPropAPIVersion, std::vector<int>{kApiVersionMajor, kApiVersionMinor});
    props.define(kOfxImageEffectHostPropIsBackground, std::vector<int>{1});
    props.define(kOfxImageEffectPropSupportsOverlays, std::vector<int>{0});
    props.define(kOfxImageEffectPropSupportsMultiResolution, std::vector<int>{1});
    props.define(kOfxImageEffectPropSupportsTiles, std::vector<int>{1});
    props.define(kOfxImageEffectPropTemporalClipAccess, std::vector<int>{0});
    props.define(kOfxImageEffectPropSupportedComponents,
                 std::vector<std::string>{kOfxImageComponentRGBA, kOfxImageComponentRGB});
    props.define(
        kOfxImageEffectPropSupportedContexts,
        std::vector<std::string>{kOfxImageEffectContextFilter, kOfxImageEffectContextGeneral});
    props.define(kOfxImageEffectPropSupportedPixelDepths,
                 std::vector<std::string>{kOfxBitDepthByte, kOfxBitDepthShort, kOfxBitDepthFloat});
    props.define(kOfxImageEffectPropSupportsMultipleClipDepths, std::vector<int>{0});
    props.define(kOfxImageEffectPropSupportsMultipleClipPARs, std::vector<int>{0});
    props.define(kOfxParamHostPropSupportsCustomInteract, std::vector<int>{0});
    props.define(kOfxParamHostPropSupportsStringAnimation, std::vector<int>{0});
    props.define(kOfxParamHostPropSupportsChoiceAnimation, std::vector<int>{0});
    props.define(kOfxParamHostPropSupportsBooleanAnimation, std::vector<int>{0});
    props.define(kOfxParamHostPropSupportsCustomAnimation, std::vector<int>{0});
    props.define(kOfxParamHostPropMaxParameters, std::vector<int>{-1});
    props.define(kOfxParamHostPropMaxPages, std::vector<int>{0});
    props.define(kOfxParamHostPropPageRowColumnCount, std::vector<int>{0, 0});
}

}  // namespace

// ---- Pictures.

std::size_t Picture::sample_bytes() const {
    if (depth == kOfxBitDepthShort) {
        return 2;
    }
    return depth == kOfxBitDepthFloat ? 4 : 1;
}

double Picture::sample(int x, int y, int c) const {
    const std::size_t at = static_cast<std::size_t>(y) * row_bytes() +
                           (static_cast<std::size_t>(x) * channels + c) * sample_bytes();
    if (depth == kOfxBitDepthFloat) {
        float value;
        std::memcpy(&value, bytes.data() + at, sizeof value);
        return value;
    }
    if (depth == kOfxBitDepthShort) {
        uint16_t value;
        std::memcpy(&value, bytes.data() + at, sizeof value);
        return value;
    }
    return bytes[at];
}

void Picture::set_sample(int x, int y, int c, double value) {
    const std::size_t at = static_cast<std::size_t>(y) * row_bytes() +
                           (static_cast<std::size_t>(x) * channels + c) * sample_bytes();
    if (depth == kOfxBitDepthFloat) {
        const auto stored = static_cast<float>(value);
        std::memcpy(bytes.data() + at, &stored, sizeof stored);
    } else if (depth == kOfxBitDepthShort) {
        const auto stored = static_cast<uint16_t>(std::clamp(value, 0.0, kShortTop));
        std::memcpy(bytes.data() + at, &stored, sizeof stored);
    } else {
        bytes[at] = static_cast<unsigned char>(std::clamp(value, 0.0, kByteTop));
    }
}

Picture Picture::blank(const std::string& depth, int channels, int width, int height) {
    Picture picture;
    picture.depth = depth;
    picture.channels = channels;
    picture.width = width;
    picture.height = height;
    picture.bytes.assign(picture.row_bytes() * static_cast<std::size_t>(height), 0);
    return picture;
}

// ---- The host.

OfxTestHost::OfxTestHost(const std::string& binary) {
    define_host(host_props_);
    host_.host = host_props_.handle();
    host_.fetchSuite = fetch_suite;
    current_host = this;
    descriptor_.host = this;
    define_effect_descriptor(descriptor_.props, binary);
    library_ = dlopen(binary.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (!library_) {
        error_ = std::string("dlopen: ") + dlerror();
        return;
    }
    const auto count = reinterpret_cast<OfxGetNumberOfPluginsFunction>(
        dlsym(library_, kOfxGetNumberOfPluginsSymbol));
    const auto get = reinterpret_cast<OfxGetPluginFunction>(dlsym(library_, kOfxGetPluginSymbol));
    if (!count || !get || count() < 1 || !(plugin_ = get(0))) {
        error_ = "the binary exports no plug-in";
        return;
    }
    plugin_->setHost(&host_);
    if (call(kOfxActionLoad, nullptr, nullptr, nullptr) != kOfxStatOK) {
        error_ = "load failed";
        return;
    }
    if (call(kOfxActionDescribe, &descriptor_, nullptr, nullptr) != kOfxStatOK) {
        error_ = "describe failed";
    }
}

OfxTestHost::~OfxTestHost() {
    while (!instances_.empty()) {
        destroy_instance(instances_.back().get());
    }
    if (plugin_ && error_.empty()) {
        call(kOfxActionUnload, nullptr, nullptr, nullptr);
    }
    if (library_) {
        dlclose(library_);
    }
    if (current_host == this) {
        current_host = nullptr;
    }
}

OfxStatus OfxTestHost::call(const char* action, const void* handle, PropertySet* in,
                            PropertySet* out) {
    return plugin_->mainEntry(action, handle, in ? in->handle() : nullptr,
                              out ? out->handle() : nullptr);
}

Effect* OfxTestHost::describe_in_context(const std::string& context) {
    auto effect = new_effect(descriptor_, false);
    effect->props.define(kOfxImageEffectPropContext, std::vector<std::string>{context});
    PropertySet in;
    in.define(kOfxImageEffectPropContext, std::vector<std::string>{context});
    if (call(kOfxImageEffectActionDescribeInContext, effect.get(), &in, nullptr) != kOfxStatOK) {
        return nullptr;
    }
    Effect* made = effect.get();
    contexts_[context] = std::move(effect);
    return made;
}

std::unique_ptr<Effect> OfxTestHost::new_effect(const Effect& from, bool instance) {
    auto effect = std::make_unique<Effect>();
    effect->host = this;
    effect->props = from.props;
    effect->instance = instance;
    if (!instance) {
        return effect;
    }
    effect->props.set_string(kOfxPropType, {kOfxTypeImageEffectInstance});
    effect->props.define(kOfxPropInstanceData, std::vector<void*>{nullptr});
    effect->props.define(kOfxPropIsInteractive, std::vector<int>{0});
    effect->props.define(kOfxImageEffectPropProjectSize, std::vector<double>{0, 0});
    effect->props.define(kOfxImageEffectPropProjectOffset, std::vector<double>{0, 0});
    effect->props.define(kOfxImageEffectPropProjectExtent, std::vector<double>{0, 0});
    effect->props.define(kOfxImageEffectPropProjectPixelAspectRatio, std::vector<double>{1.0});
    effect->props.define(kOfxImageEffectInstancePropEffectDuration, std::vector<double>{1.0});
    effect->props.define(kOfxImageEffectInstancePropSequentialRender, std::vector<int>{0});
    effect->props.define(kOfxImageEffectPropFrameRate, std::vector<double>{24.0});
    for (const std::string& name : from.params.order) {
        const Param& described = *from.params.params.at(name);
        auto param = std::make_unique<Param>();
        param->type = described.type;
        param->props = described.props;
        param->props.set_string(kOfxPropType, {kOfxTypeParameterInstance});
        if (integer_valued(param->type)) {
            for (int i = 0; i < dimensions(param->type); ++i) {
                param->ints.push_back(param->props.get_int(kOfxParamPropDefault, i));
            }
        } else if (double_valued(param->type)) {
            for (int i = 0; i < dimensions(param->type); ++i) {
                param->doubles.push_back(param->props.get_double(kOfxParamPropDefault, i));
            }
        }
        effect->params.order.push_back(name);
        effect->params.params[name] = std::move(param);
    }
    for (const std::string& name : from.clip_order) {
        auto clip = std::make_unique<Clip>();
        clip->name = name;
        clip->props = from.clips.at(name)->props;
        clip->props.define(kOfxImageClipPropConnected, std::vector<int>{0});
        clip->props.define(kOfxImageEffectPropPixelDepth, std::vector<std::string>{""});
        clip->props.define(kOfxImageEffectPropComponents, std::vector<std::string>{""});
        clip->props.define(kOfxImageClipPropUnmappedPixelDepth, std::vector<std::string>{""});
        clip->props.define(kOfxImageClipPropUnmappedComponents, std::vector<std::string>{""});
        clip->props.define(kOfxImageEffectPropPreMultiplication,
                           std::vector<std::string>{kOfxImagePreMultiplied});
        clip->props.define(kOfxImagePropPixelAspectRatio, std::vector<double>{1.0});
        clip->props.define(kOfxImageEffectPropFrameRate, std::vector<double>{24.0});
        clip->props.define(kOfxImageEffectPropFrameRange, std::vector<double>{0.0, 0.0});
        clip->props.define(kOfxImageClipPropFieldExtraction,
                           std::vector<std::string>{kOfxImageFieldBoth});
        {
            const std::lock_guard<std::mutex> lock(clip_owners_lock);
            clip_owners()[clip.get()] = effect.get();
        }
        effect->clip_order.push_back(name);
        effect->clips[name] = std::move(clip);
    }
    return effect;
}

Effect* OfxTestHost::create_instance(const std::string& context) {
    const auto found = contexts_.find(context);
    Effect* described =
        found != contexts_.end() ? found->second.get() : describe_in_context(context);
    if (!described) {
        return nullptr;
    }
    auto instance = new_effect(*described, true);
    if (call(kOfxActionCreateInstance, instance.get(), nullptr, nullptr) != kOfxStatOK) {
        return nullptr;
    }
    instances_.push_back(std::move(instance));
    return instances_.back().get();
}

OfxStatus OfxTestHost::destroy_instance(Effect* instance) {
    const OfxStatus status = call(kOfxActionDestroyInstance, instance, nullptr, nullptr);
    for (auto& [name, clip] : instance->clips) {
        const std::lock_guard<std::mutex> lock(clip_owners_lock);
        clip_owners().erase(clip.get());
    }
    instances_.erase(
        std::remove_if(instances_.begin(), instances_.end(),
                       [instance](const auto& kept) { return kept.get() == instance; }),
        instances_.end());
    return status;
}

void OfxTestHost::set_int(Effect& effect, const std::string& param, int value) {
    effect.params.params.at(param)->ints.at(0) = value;
}

void OfxTestHost::set_double(Effect& effect, const std::string& param, double value) {
    effect.params.params.at(param)->doubles.at(0) = value;
}

void OfxTestHost::set_double2d(Effect& effect, const std::string& param, double x, double y) {
    Param& p = *effect.params.params.at(param);
    p.doubles.at(0) = x;
    p.doubles.at(1) = y;
}

void OfxTestHost::set_choice(Effect& effect, const std::string& param, const std::string& option) {
    Param& p = *effect.params.params.at(param);
    for (int i = 0; i < p.props.dimension(kOfxParamPropChoiceOption); ++i) {
        if (p.props.get_string(kOfxParamPropChoiceOption, i) == option) {
            p.ints.at(0) = i;
            return;
        }
    }
    throw std::out_of_range(param + " has no option " + option);
}

void OfxTestHost::connect(Effect& effect, const std::string& clip, const Picture* picture) {
    Clip& target = *effect.clips.at(clip);
    target.picture = picture;
    target.props.set_int(kOfxImageClipPropConnected, {picture ? 1 : 0});
    if (picture) {
        const std::string components = components_of(*picture);
        target.props.set_string(kOfxImageEffectPropPixelDepth, {picture->depth});
        target.props.set_string(kOfxImageEffectPropComponents, {components});
        target.props.set_string(kOfxImageClipPropUnmappedPixelDepth, {picture->depth});
        target.props.set_string(kOfxImageClipPropUnmappedComponents, {components});
        target.props.set_string(
            kOfxImageEffectPropPreMultiplication,
            {picture->channels == 3 ? kOfxImageOpaque : kOfxImagePreMultiplied});
    }
}

OfxTestHost::RenderOutcome OfxTestHost::render(Effect& instance, double scale) {
    RenderOutcome outcome;
    Clip& source = *instance.clips.at(kOfxImageEffectSimpleSourceClipName);
    Clip& output = *instance.clips.at(kOfxImageEffectOutputClipName);
    const Picture& picture = *source.picture;
    outcome.output = Picture::blank(picture.depth, 4, picture.width, picture.height);
    output.output = &outcome.output;
    output.props.set_string(kOfxImageEffectPropPixelDepth, {picture.depth});
    output.props.set_string(kOfxImageEffectPropComponents, {kOfxImageComponentRGBA});
    output.props.set_int(kOfxImageClipPropConnected, {1});
    for (auto& [name, clip] : instance.clips) {
        clip->scale = scale;
    }

    PropertySet rod_in;
    rod_in.define(kOfxPropTime, std::vector<double>{0.0});
    rod_in.define(kOfxImageEffectPropRenderScale, std::vector<double>{scale, scale});
    PropertySet rod_out;
    rod_out.define(kOfxImageEffectPropRegionOfDefinition, std::vector<double>{0, 0, 0, 0});
    if (call(kOfxImageEffectActionGetRegionOfDefinition, &instance, &rod_in, &rod_out) ==
        kOfxStatOK) {
        outcome.rod = OfxRectD{rod_out.get_double(kOfxImageEffectPropRegionOfDefinition, 0),
                               rod_out.get_double(kOfxImageEffectPropRegionOfDefinition, 1),
                               rod_out.get_double(kOfxImageEffectPropRegionOfDefinition, 2),
                               rod_out.get_double(kOfxImageEffectPropRegionOfDefinition, 3)};
    }

    const std::vector<double> window{0, 0, static_cast<double>(picture.width),
                                     static_cast<double>(picture.height)};
    PropertySet roi_in;
    roi_in.define(kOfxPropTime, std::vector<double>{0.0});
    roi_in.define(kOfxImageEffectPropRenderScale, std::vector<double>{scale, scale});
    roi_in.define(kOfxImageEffectPropRegionOfInterest, window);
    PropertySet roi_out;
    for (const std::string& name : instance.clip_order) {
        if (name != kOfxImageEffectOutputClipName) {
            roi_out.define(kOfxImageClipPropRoIPrefix + name, window);
        }
    }
    call(kOfxImageEffectActionGetRegionsOfInterest, &instance, &roi_in, &roi_out);
    const std::string source_roi =
        std::string(kOfxImageClipPropRoIPrefix) + kOfxImageEffectSimpleSourceClipName;
    outcome.source_roi =
        OfxRectD{roi_out.get_double(source_roi, 0), roi_out.get_double(source_roi, 1),
                 roi_out.get_double(source_roi, 2), roi_out.get_double(source_roi, 3)};

    PropertySet sequence;
    sequence.define(kOfxImageEffectPropFrameRange, std::vector<double>{0.0, 0.0});
    sequence.define(kOfxImageEffectPropFrameStep, std::vector<double>{1.0});
    sequence.define(kOfxPropIsInteractive, std::vector<int>{0});
    sequence.define(kOfxImageEffectPropRenderScale, std::vector<double>{scale, scale});
    sequence.define(kOfxImageEffectPropSequentialRenderStatus, std::vector<int>{0});
    sequence.define(kOfxImageEffectPropInteractiveRenderStatus, std::vector<int>{0});
    call(kOfxImageEffectActionBeginSequenceRender, &instance, &sequence, nullptr);

    PropertySet render;
    render.define(kOfxPropTime, std::vector<double>{0.0});
    render.define(kOfxImageEffectPropFieldToRender, std::vector<std::string>{kOfxImageFieldNone});
    render.define(kOfxImageEffectPropRenderWindow,
                  std::vector<int>{0, 0, picture.width, picture.height});
    render.define(kOfxImageEffectPropRenderScale, std::vector<double>{scale, scale});
    render.define(kOfxImageEffectPropSequentialRenderStatus, std::vector<int>{0});
    render.define(kOfxImageEffectPropInteractiveRenderStatus, std::vector<int>{0});
    render.define(kOfxImageEffectPropRenderQualityDraft, std::vector<int>{0});
    outcome.status = call(kOfxImageEffectActionRender, &instance, &render, nullptr);

    call(kOfxImageEffectActionEndSequenceRender, &instance, &sequence, nullptr);
    output.output = nullptr;

    // The output's rows came bottom-up; a picture is top-down.
    Picture& out = outcome.output;
    const std::size_t row = out.row_bytes();
    for (int y = 0; y < out.height / 2; ++y) {
        std::swap_ranges(
            out.bytes.begin() + static_cast<std::ptrdiff_t>(row * y),
            out.bytes.begin() + static_cast<std::ptrdiff_t>(row * (y + 1)),
            out.bytes.begin() + static_cast<std::ptrdiff_t>(row * (out.height - 1 - y)));
    }
    return outcome;
}

std::vector<OfxTestHost::Message> OfxTestHost::messages() const {
    const std::lock_guard<std::mutex> lock(messages_lock_);
    return messages_;
}

void OfxTestHost::post(const std::string& kind, const std::string& text) {
    const std::lock_guard<std::mutex> lock(messages_lock_);
    messages_.push_back(Message{kind, text});
}

bool OfxTestHost::abort_requested() {
    const int update = ++progress_updates_;
    const int at = abort_at_;
    return at > 0 && update >= at;
}

}  // namespace ofx_test
