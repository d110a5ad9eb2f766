#include "ofx/parameter_table.h"

#include <limits>

#include "ofx/depth_conventions.h"
#include "sdk/effect_controls.h"

namespace qb_ofx {
namespace {

// Scene-unit planes have no natural end; the sliders show a common range.
constexpr double kDefaultNearPlane = 1.0;
constexpr double kDefaultFarPlane = 100.0;
constexpr double kPlaneSliderEnd = 1000.0;
constexpr int kPlaneDigits = 3;

ParamEntry slider(const char* name, const char* hint, const session::SliderDeclaration& declared,
                  const std::string& parent = "") {
    ParamEntry entry;
    entry.name = name;
    entry.kind = ParamKind::kDouble;
    entry.hint = hint;
    entry.parent = parent;
    entry.default_value = declared.default_value;
    entry.min = declared.valid_min;
    entry.max = declared.valid_max;
    entry.display_min = declared.slider_min;
    entry.display_max = declared.slider_max;
    entry.digits = declared.decimals;
    return entry;
}

// A menu's default is the module's 1-based position, or its first entry when it names none.
ParamEntry choice(const char* name, const char* hint, const session::MenuDeclaration& declared,
                  const std::string& parent = "") {
    ParamEntry entry;
    entry.name = name;
    entry.kind = ParamKind::kChoice;
    entry.hint = hint;
    entry.parent = parent;
    entry.options = declared.entries;
    entry.default_value = declared.default_position > 0 ? declared.default_position - 1 : 0;
    return entry;
}

ParamEntry boolean(const char* name, const char* hint, bool on, const std::string& parent = "") {
    ParamEntry entry;
    entry.name = name;
    entry.kind = ParamKind::kBoolean;
    entry.hint = hint;
    entry.parent = parent;
    entry.default_value = on ? 1.0 : 0.0;
    return entry;
}

ParamEntry plane(const char* name, const char* hint, double default_value) {
    ParamEntry entry;
    entry.name = name;
    entry.kind = ParamKind::kDouble;
    entry.hint = hint;
    entry.parent = kDepthGroup;
    entry.default_value = default_value;
    entry.min = -std::numeric_limits<double>::max();
    entry.max = std::numeric_limits<double>::max();
    entry.display_min = 0.0;
    entry.display_max = kPlaneSliderEnd;
    entry.digits = kPlaneDigits;
    entry.enabled_by = kDepthInSceneUnits;
    return entry;
}

}  // namespace

std::vector<ParamEntry> parameter_table(const session::EffectDeclarations& declarations) {
    using namespace effect_controls;
    std::vector<ParamEntry> table;
    table.push_back(
        choice(kIrisShape,
               "The lens iris: one of the shape folders in the plug-in folder's pattern folder",
               declarations.iris_shape));
    table.push_back(slider(kFocusDistance,
                           "The distance that stays sharp, in the Distance Layer's values (0 to "
                           "255)",
                           declarations.focus_distance));
    table.push_back(boolean(kUseFocusPoint,
                            "With a Depth input, On-Focus Distance becomes the depth under the "
                            "Focus Point, as a click on Focus Here does",
                            false));
    ParamEntry point;
    point.name = kFocusPoint;
    point.kind = ParamKind::kPoint;
    point.hint = "Where the picture should be sharp, with Use Focus Point";
    point.enabled_by = kUseFocusPoint;
    table.push_back(point);
    table.push_back(slider(kBokehAmount,
                           "How strongly out-of-focus pixels are blurred: the farthest pixel gets "
                           "a disc this many pixels across, plus one",
                           declarations.bokeh_amount));
    table.push_back(slider(kHardness,
                           "Contrast of the light curve: higher values make highlights bloom into "
                           "distinct iris shapes",
                           declarations.hardness));
    table.push_back(slider(kBrightness,
                           "Multiplies the light before it is turned back into pixel values",
                           declarations.brightness));
    ParamEntry settings;
    settings.name = kSettingsGroup;
    settings.kind = ParamKind::kGroup;
    table.push_back(settings);
    table.push_back(choice(kQuality, "How faithfully the soft edges of the iris shape are kept",
                           declarations.quality, kSettingsGroup));
    ParamEntry precision = slider(kDistancePrecision,
                                  "How finely distances are cut into steps: higher values give "
                                  "smoother changes of blur with depth and take longer",
                                  declarations.distance_precision, kSettingsGroup);
    precision.kind = ParamKind::kInteger;
    table.push_back(precision);
    table.push_back(boolean(kBlurOpacity,
                            "Spread the picture's opacity into discs like its colours, so "
                            "transparent areas and cut-out edges blur too",
                            false, kSettingsGroup));
    ParamEntry alpha = slider(kAlphaBokeh,
                              "With Blur Opacity: scales the opacity before it is spread and "
                              "divides the blurred opacity by it again, so it sets how solid "
                              "blurred edges look",
                              declarations.alpha_bokeh, kSettingsGroup);
    alpha.enabled_by = kBlurOpacity;
    table.push_back(alpha);

    ParamEntry depth;
    depth.name = kDepthGroup;
    depth.kind = ParamKind::kGroup;
    table.push_back(depth);
    ParamEntry channel;
    channel.name = kDepthChannel;
    channel.kind = ParamKind::kChoice;
    channel.hint = "The channel of the Depth input that holds the depth";
    channel.parent = kDepthGroup;
    channel.options.assign(kDepthChannelNames.begin(), kDepthChannelNames.end());
    table.push_back(channel);
    table.push_back(boolean(kWhiteIsNear,
                            "On: white (high values) is near, as the effect takes it. Off: white "
                            "is far, and the depth is turned round",
                            true, kDepthGroup));
    table.push_back(boolean(kDepthInSceneUnits,
                            "The Depth input holds distances from the camera in scene units "
                            "(a 3-D render's depth pass), mapped from Near Plane to Far Plane",
                            false, kDepthGroup));
    table.push_back(
        plane(kNearPlane, "The depth that counts as nearest (distance 255)", kDefaultNearPlane));
    table.push_back(
        plane(kFarPlane, "The depth that counts as farthest (distance 0)", kDefaultFarPlane));
    return table;
}

}  // namespace qb_ofx
