// Control values checked against what the module declared: menu entries by number or text, and
// slider ranges.
#include "session/control_values.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <string>

#include "session/session_error.h"

namespace {

host::DeclaredParam popup(const char* name, const char* choices) {
    host::DeclaredParam control;
    control.def.param_type = PF_Param_POPUP;
    std::strcpy(control.def.name, name);
    control.choices = choices;
    return control;
}

host::DeclaredParam fixed_slider(const char* name, double min, double max) {
    host::DeclaredParam control;
    control.def.param_type = PF_Param_FIX_SLIDER;
    std::strcpy(control.def.name, name);
    control.def.u.fd.valid_min = static_cast<PF_Fixed>(min * PF_FIXED_ONE);
    control.def.u.fd.valid_max = static_cast<PF_Fixed>(max * PF_FIXED_ONE);
    return control;
}

TEST(ControlValues, PopupsTakeANumberOrTheirTextInAnyCase) {
    const auto quality = popup("Quality", "Auto (Speed)|Auto (Quality)|Low|Normal|High");
    EXPECT_EQ(session::popup_position(quality, "3", "--quality", true), 3);
    EXPECT_EQ(session::popup_position(quality, "high", "--quality", true), 5);
    EXPECT_EQ(session::popup_position(quality, "Auto (Quality)", "--quality", true), 2);
    EXPECT_THROW(session::popup_position(quality, "6", "--quality", true), session::SessionError);
    EXPECT_THROW(session::popup_position(quality, "Best", "--quality", true),
                 session::SessionError);
}

TEST(ControlValues, ShapeNamesThatLookLikeNumbersAreTakenByName) {
    const auto shapes = popup("Iris Shape", "05|06|07|08|09|circle");
    EXPECT_EQ(session::popup_position(shapes, "06", "--shape", false), 2);
    EXPECT_EQ(session::popup_position(shapes, "Circle", "--shape", false), 6);
    try {
        session::popup_position(shapes, "3", "--shape", false);
        FAIL() << "a position was taken for a name";
    } catch (const session::SessionError& error) {
        EXPECT_EQ(error.kind(), session::FailureKind::bad_input);
        EXPECT_NE(std::string(error.what()).find("05, 06, 07"), std::string::npos);
    }
}

TEST(ControlValues, SlidersRefuseValuesOutsideTheDeclaredRange) {
    const auto amount = fixed_slider("Bokeh Amount", 0, 300);
    EXPECT_EQ(session::checked_slider_value(amount, 300, "--amount"), 300);
    EXPECT_EQ(session::checked_slider_value(amount, 0, "--amount"), 0);
    try {
        session::checked_slider_value(amount, 300.5, "--amount");
        FAIL() << "out of range accepted";
    } catch (const session::SessionError& error) {
        EXPECT_STREQ(error.what(), "--amount 300.5: \"Bokeh Amount\" takes 0 to 300");
    }
    EXPECT_THROW(session::checked_slider_value(amount, NAN, "--amount"), session::SessionError);
}

}  // namespace
