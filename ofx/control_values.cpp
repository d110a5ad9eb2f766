#include "ofx/control_values.h"

#include <fmt/format.h>

#include <algorithm>
#include <cmath>
#include <numeric>
#include <string>
#include <vector>

#include "session/effect_session.h"
#include "session/menu_controls.h"
#include "session/session_error.h"

namespace qb_ofx {

ScaleFraction fraction_of_scale(double scale) {
    constexpr int kSteps = 1000;
    // Written so that NaN and zero or negative scales land on full resolution.
    if (!(scale > 0.0) || scale >= 1.0) {
        return ScaleFraction{};
    }
    const int numerator = std::max(1, static_cast<int>(std::lround(scale * kSteps)));
    const int common = std::gcd(numerator, kSteps);
    return ScaleFraction{numerator / common, kSteps / common};
}

session::RenderSettings render_settings(const ControlValues& values,
                                        const session::EffectDeclarations& declarations,
                                        const FrameGeometry& frame) {
    session::MenuControls controls;
    controls.shape_position = values.shape;
    // The host counts menu positions from 0, the module from 1.
    controls.quality_position = values.quality + 1;
    controls.focus_distance = values.focus_distance;
    controls.bokeh_amount = values.bokeh_amount;
    controls.hardness = values.hardness;
    controls.brightness = values.brightness;
    controls.distance_precision = values.distance_precision;
    if (values.blur_opacity) {
        controls.alpha_bokeh = values.alpha_bokeh;
    }
    session::RenderSettings settings = session::settings_of_controls(controls, declarations);
    if (frame.with_depth && values.use_focus_point) {
        const OfxRectD& region = frame.source_region;
        const OfxPointD& point = values.focus_point;
        if (point.x < region.x1 || point.x >= region.x2 || point.y <= region.y1 ||
            point.y > region.y2) {
            session::fail_input(fmt::format(
                "the focus point {:g},{:g} lies outside the picture ({:g},{:g} to {:g},{:g})",
                point.x, point.y, region.x1, region.y1, region.x2, region.y2));
        }
        // Focus Here takes full-resolution pixels counted from the top row.
        settings.focus_at = session::PointXY{point.x - region.x1, region.y2 - point.y};
    }
    const ScaleFraction scale = fraction_of_scale(frame.render_scale);
    settings.downsample_numerator = scale.numerator;
    settings.downsample = scale.denominator;
    return settings;
}

}  // namespace qb_ofx
