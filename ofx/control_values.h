// The values of the plug-in's parameters at one time, as plain values, and the session settings
// a render takes from them.
#ifndef QB_OFX_CONTROL_VALUES_H
#define QB_OFX_CONTROL_VALUES_H

#include "ofx/api/ofx_core.h"
#include "ofx/depth_conventions.h"
#include "session/effect_declarations.h"
#include "session/render_settings.h"

namespace qb_ofx {

struct ControlValues {
    int shape = 0;  // menu positions from 0, as the host counts them
    double focus_distance = 0.0;
    bool use_focus_point = false;
    OfxPointD focus_point{};  // canonical coordinates
    double bokeh_amount = 0.0;
    double hardness = 0.0;
    double brightness = 0.0;
    int quality = 0;
    int distance_precision = 0;
    bool blur_opacity = false;
    double alpha_bokeh = 0.0;
    DepthConventions depth;
};

// What a render knows of the frame: where the source lies in canonical coordinates (full
// resolution, y up), the scale the host renders at, and whether a Depth input is there.
struct FrameGeometry {
    OfxRectD source_region{};
    double render_scale = 1.0;
    bool with_depth = false;
};

// The host renders at `scale` (1: full resolution) and the effect blurs at that scale, as a
// fraction of at most a thousandth's step in lowest terms: 0.5 is 1/2, the tool's
// --downsample 2. A scale that is no reduction renders at full resolution.
struct ScaleFraction {
    int numerator = 1;
    int denominator = 1;
};
ScaleFraction fraction_of_scale(double scale);

// The settings of one render. The focus point counts only with a Depth input, the only place a
// distance can be picked from. Throws session::SessionError for a focus point outside the frame.
session::RenderSettings render_settings(const ControlValues& values,
                                        const session::EffectDeclarations& declarations,
                                        const FrameGeometry& frame);

}  // namespace qb_ofx

#endif
