#include "ofx/control_values.h"

#include <fmt/format.h>

#include <cmath>
#include <string>
#include <vector>

#include "session/effect_session.h"
#include "session/session_error.h"

namespace qb_ofx {

int downsample_for_scale(double scale) {
    // Written so that NaN and zero or negative scales land on full resolution.
    if (!(scale > 0.0) || scale >= 1.0) {
        return 1;
    }
    const double divisor = std::round(1.0 / scale);
    return divisor > session::kLargestSide ? session::kLargestSide : static_cast<int>(divisor);
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
    settings.downsample = downsample_for_scale(frame.render_scale);
    return settings;
}

}  // namespace qb_ofx
