// The settings a render takes from the parameters: render scales as the tool's --downsample,
// the focus point as a click on Focus Here, menus by the module's positions.
#include <gtest/gtest.h>

#include <cmath>
#include <utility>

#include "ofx/control_values.h"
#include "session/session_error.h"

namespace {

session::EffectDeclarations two_shapes() {
    session::EffectDeclarations declarations;
    declarations.iris_shape.entries = {"Circle", "Hexagon"};
    return declarations;
}

TEST(FractionOfScale, HalfScaleIsTheToolsDownsampleTwoAndOtherScalesKeepTheirBlur) {
    const auto fraction = [](double scale) {
        const qb_ofx::ScaleFraction f = qb_ofx::fraction_of_scale(scale);
        return std::pair{f.numerator, f.denominator};
    };
    EXPECT_EQ(fraction(1.0), std::pair(1, 1));
    EXPECT_EQ(fraction(0.5), std::pair(1, 2));
    EXPECT_EQ(fraction(0.25), std::pair(1, 4));
    EXPECT_EQ(fraction(0.75), std::pair(3, 4));
    EXPECT_EQ(fraction(0.3), std::pair(3, 10));
    EXPECT_EQ(fraction(1.0 / 3.0), std::pair(333, 1000));
    EXPECT_EQ(fraction(1e-6), std::pair(1, 1000));
    // What a broken host might send renders at full resolution.
    EXPECT_EQ(fraction(0.0), std::pair(1, 1));
    EXPECT_EQ(fraction(-0.5), std::pair(1, 1));
    EXPECT_EQ(fraction(NAN), std::pair(1, 1));
    EXPECT_EQ(fraction(2.0), std::pair(1, 1));
}

TEST(RenderSettings, MenusGoByTheModulesPositionsAndShapesByName) {
    qb_ofx::ControlValues values;
    values.shape = 1;
    values.quality = 2;
    const session::RenderSettings settings =
        qb_ofx::render_settings(values, two_shapes(), qb_ofx::FrameGeometry{});
    EXPECT_EQ(settings.shape, "Hexagon");
    EXPECT_EQ(settings.quality, "3");
    EXPECT_FALSE(settings.alpha_bokeh);
    values.shape = 5;  // a shape folder that went away: the module's default
    EXPECT_FALSE(qb_ofx::render_settings(values, two_shapes(), {}).shape);
}

TEST(RenderSettings, BlurOpacityBringsTheAlphaBokehValue) {
    qb_ofx::ControlValues values;
    values.blur_opacity = true;
    values.alpha_bokeh = 40.0;
    const session::RenderSettings settings = qb_ofx::render_settings(values, two_shapes(), {});
    EXPECT_TRUE(settings.alpha_bokeh);
    EXPECT_EQ(settings.alpha_bokeh_value, 40.0);
}

TEST(RenderSettings, TheFocusPointIsAFullResolutionClickCountedFromTheTopRow) {
    qb_ofx::ControlValues values;
    values.use_focus_point = true;
    values.focus_point = {110.5, 20.0};
    qb_ofx::FrameGeometry frame{{100.0, 0.0, 200.0, 50.0}, 0.5, true};
    const session::RenderSettings settings = qb_ofx::render_settings(values, two_shapes(), frame);
    ASSERT_TRUE(settings.focus_at);
    EXPECT_EQ(settings.focus_at->x, 10.5);
    EXPECT_EQ(settings.focus_at->y, 30.0);
    EXPECT_EQ(settings.downsample, 2);

    // Without a Depth input, or switched off, the point is not used.
    frame.with_depth = false;
    EXPECT_FALSE(qb_ofx::render_settings(values, two_shapes(), frame).focus_at);
    frame.with_depth = true;
    values.use_focus_point = false;
    EXPECT_FALSE(qb_ofx::render_settings(values, two_shapes(), frame).focus_at);
}

TEST(RenderSettings, AFocusPointOutsideThePictureIsRefusedWithItsPlace) {
    qb_ofx::ControlValues values;
    values.use_focus_point = true;
    const qb_ofx::FrameGeometry frame{{0.0, 0.0, 64.0, 48.0}, 1.0, true};
    for (const OfxPointD outside : {OfxPointD{-1.0, 10.0}, OfxPointD{64.0, 10.0},
                                    OfxPointD{10.0, 0.0}, OfxPointD{10.0, 48.5}}) {
        values.focus_point = outside;
        try {
            qb_ofx::render_settings(values, two_shapes(), frame);
            ADD_FAILURE() << outside.x << "," << outside.y << " was taken";
        } catch (const session::SessionError& error) {
            EXPECT_EQ(error.kind(), session::FailureKind::bad_input);
            EXPECT_NE(std::string(error.what()).find("outside the picture"), std::string::npos);
        }
    }
}

}  // namespace
