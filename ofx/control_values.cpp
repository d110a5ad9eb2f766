#include "ofx/control_values.h"

#include <fmt/format.h>

#include <algorithm>
#include <cmath>
#include <numeric>
#include <string>
#include <vector>

#include "session/effect_session.h"
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
    session::RenderSettings settings;
    const std::vector<std::string>& shapes = declarations.iris_shape.entries;
    if (values.shape >= 0 && static_cast<std::size_t>(values.shape) < shapes.size()) {
        settings.shape = shapes[static_cast<std::size_t>(values.shape)];
    }
    settings.focus = values.focus_distance;
    settings.amount = values.bokeh_amount;
    settings.hardness = values.hardness;
    settings.brightness = values.brightness;
    // The module counts menu positions from 1.
    settings.quality = std::to_string(values.quality + 1);
    settings.precision = values.distance_precision;
    if (values.blur_opacity) {
        settings.alpha_bokeh = true;
        settings.alpha_bokeh_value = values.alpha_bokeh;
    }
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
