#include "ofx/control_reader.h"

#include <string>

#include "ofx/ofx_failure.h"
#include "ofx/parameter_table.h"
#include "sdk/effect_controls.h"

namespace qb_ofx {
namespace {

void check(OfxStatus status, const char* name) {
    if (status != kOfxStatOK) {
        throw OfxFailure(kOfxStatFailed, std::string("the host could not give the value of \"") +
                                             name + "\" (status " + std::to_string(status) + ")");
    }
}

class Reader {
  public:
    Reader(const HostSuites& suites, OfxParamSetHandle params, OfxTime time)
        : suites_(suites), params_(params), time_(time) {}

    double real(const char* name) const {
        double value = 0.0;
        check(suites_.param->paramGetValueAtTime(handle(name), time_, &value), name);
        return value;
    }

    // Integers, booleans and choices all travel as int.
    int integer(const char* name) const {
        int value = 0;
        check(suites_.param->paramGetValueAtTime(handle(name), time_, &value), name);
        return value;
    }

    OfxPointD point(const char* name) const {
        OfxPointD value{};
        check(suites_.param->paramGetValueAtTime(handle(name), time_, &value.x, &value.y), name);
        return value;
    }

  private:
    OfxParamHandle handle(const char* name) const { return param_handle(suites_, params_, name); }

    const HostSuites& suites_;
    OfxParamSetHandle params_;
    OfxTime time_;
};

DepthChannel depth_channel_at(int position) {
    const bool known = position >= 0 && position < static_cast<int>(kDepthChannelNames.size());
    return known ? static_cast<DepthChannel>(position) : DepthChannel::kRed;
}

}  // namespace

OfxParamHandle param_handle(const HostSuites& suites, OfxParamSetHandle params, const char* name) {
    OfxParamHandle param = nullptr;
    check(suites.param->paramGetHandle(params, name, &param, nullptr), name);
    return param;
}

ControlValues read_controls(const HostSuites& suites, OfxImageEffectHandle effect, OfxTime time) {
    using namespace effect_controls;
    OfxParamSetHandle params = nullptr;
    check(suites.effect->getParamSet(effect, &params), "the parameter set");
    const Reader read(suites, params, time);
    ControlValues values;
    values.shape = read.integer(kIrisShape);
    values.focus_distance = read.real(kFocusDistance);
    values.use_focus_point = read.integer(kUseFocusPoint) != 0;
    values.focus_point = read.point(kFocusPoint);
    values.bokeh_amount = read.real(kBokehAmount);
    values.hardness = read.real(kHardness);
    values.brightness = read.real(kBrightness);
    values.quality = read.integer(kQuality);
    values.distance_precision = read.integer(kDistancePrecision);
    values.blur_opacity = read.integer(kBlurOpacity) != 0;
    values.alpha_bokeh = read.real(kAlphaBokeh);
    values.depth.channel = depth_channel_at(read.integer(kDepthChannel));
    values.depth.white_is_near = read.integer(kWhiteIsNear) != 0;
    if (read.integer(kDepthInSceneUnits) != 0) {
        values.depth.scene_units = session::DepthRange{read.real(kNearPlane), read.real(kFarPlane)};
    }
    return values;
}

}  // namespace qb_ofx
