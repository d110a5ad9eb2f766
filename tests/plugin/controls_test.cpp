// The controls exactly as the module declares them to a host: order, identifiers, flags,
// defaults and fixed-point ranges, with and without the extra control, and the shape popup.
#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "host/emulated_host.h"
#include "tests/plugin/plugin_folder.h"

namespace {

using host::DeclaredParam;
using host::EmulatedHost;
using qb_test::PluginFolder;

constexpr PF_Fixed whole(int value) {
    return value * 0x10000;
}

constexpr const char* kQualityChoices = "Auto (Speed)|Auto (Quality)|Low|Normal|High";

// What a host must find in one record; every field of the record's type not named is zero.
struct Expected {
    std::string name;
    PF_ParamType type;
    A_long id;
    PF_ParamFlags flags = 0;
    PF_ParamUIFlags ui_flags = 0;
    A_long dephault = 0;
    A_long valid_min = 0, valid_max = 0, slider_min = 0, slider_max = 0;
    std::string text = {};
    A_short choices = 0;
};

std::vector<Expected> expected_controls(bool with_alpha_bokeh) {
    std::vector<Expected> controls = {
        {"Iris Shape", PF_Param_POPUP, 3},
        {"Distance Layer", PF_Param_LAYER, 4},
        {"Focus Here", PF_Param_POINT, 8, 0x40},
        {"On-Focus Distance", PF_Param_FIX_SLIDER, 9, 0, 0, 0, 0, whole(255), 0, whole(255)},
        {"Bokeh Amount", PF_Param_FIX_SLIDER, 7, 0, 0, whole(20), 0, whole(300), 0, whole(300)},
        {"Hardness", PF_Param_FIX_SLIDER, 5, 0, 0, whole(1), 0x6664, whole(2), 0x6664, whole(2)},
        {"Brightness", PF_Param_FIX_SLIDER, 6, 0, 0, whole(1), 0x6664, whole(10), 0x6664, whole(6)},
        {"Preview", PF_Param_GROUP_START, 14},
        {"Preview Only", PF_Param_CHECKBOX, 1, 0x2, 0x10, 0, 0, 0, 0, 0, "Preview small area"},
        {"Preview Point", PF_Param_POINT, 2, 0x2},
        {"Preview Size", PF_Param_SLIDER, 13, 0x2, 0, 100, 20, 300, 20, 300},
        {"Preview Quality", PF_Param_POPUP, 12, 0x2, 0, 1, 0, 0, 0, 0, kQualityChoices, 5},
        {"", PF_Param_GROUP_END, 14},
        {"Settings", PF_Param_GROUP_START, 15},
        {"Quality", PF_Param_POPUP, 11, 0x2, 0, 1, 0, 0, 0, 0, kQualityChoices, 5},
        {"Distance Precision", PF_Param_SLIDER, 10, 0x2, 0, 10, 1, 128, 1, 128},
    };
    if (with_alpha_bokeh) {
        controls.push_back({"Alpha bokeh", PF_Param_FIX_SLIDER, 17, 0x2, 0, 0x8000, 0x1999,
                            whole(1), 0x1999, whole(1)});
    }
    controls.push_back({"", PF_Param_GROUP_END, 14});
    return controls;
}

template <class Slider>
void expect_slider(const Slider& slider, const Expected& want) {
    EXPECT_EQ(slider.value, want.dephault);
    EXPECT_EQ(slider.dephault, want.dephault);
    EXPECT_EQ(slider.valid_min, want.valid_min);
    EXPECT_EQ(slider.valid_max, want.valid_max);
    EXPECT_EQ(slider.slider_min, want.slider_min);
    EXPECT_EQ(slider.slider_max, want.slider_max);
    EXPECT_STREQ(slider.value_str, "");
    EXPECT_STREQ(slider.value_desc, "");
}

void expect_record(const DeclaredParam& actual, const Expected& want) {
    const PF_ParamDef& def = actual.def;
    EXPECT_STREQ(def.name, want.name.c_str());
    EXPECT_EQ(def.param_type, want.type);
    EXPECT_EQ(def.id, want.id);
    EXPECT_EQ(def.flags, want.flags);
    EXPECT_EQ(def.ui_flags, want.ui_flags);
    EXPECT_EQ(def.change_flags, 0);
    switch (def.param_type) {
        case PF_Param_FIX_SLIDER:
            expect_slider(def.u.fd, want);
            EXPECT_EQ(def.u.fd.precision, 1);
            EXPECT_EQ(def.u.fd.display_flags, 0);
            break;
        case PF_Param_SLIDER:
            expect_slider(def.u.sd, want);
            break;
        case PF_Param_POPUP:
            if (want.choices > 0) {
                EXPECT_EQ(def.u.pd.num_choices, want.choices);
                EXPECT_EQ(def.u.pd.dephault, want.dephault);
                EXPECT_EQ(def.u.pd.value, want.dephault);
                EXPECT_EQ(actual.choices, want.text);
            }
            break;
        case PF_Param_CHECKBOX:
            EXPECT_EQ(def.u.bd.value, 0);
            EXPECT_EQ(def.u.bd.dephault, 0);
            EXPECT_EQ(actual.checkbox_label, want.text);
            break;
        case PF_Param_POINT:
            EXPECT_EQ(def.u.td.x_value, 0);
            EXPECT_EQ(def.u.td.y_value, 0);
            EXPECT_EQ(def.u.td.x_dephault, 0);
            EXPECT_EQ(def.u.td.y_dephault, 0);
            EXPECT_EQ(def.u.td.restrict_bounds, 1);
            break;
        case PF_Param_LAYER:
            EXPECT_EQ(def.u.ld.dephault, PF_LayerDefault_NONE);
            EXPECT_EQ(def.u.ld.layer_marker, 0);
            EXPECT_EQ(def.u.ld.data, nullptr);
            break;
        default:
            break;
    }
}

class ControlsTest : public ::testing::Test {
  protected:
    // Declares the controls of a fresh module from the plug-in folder as it stands.
    const std::vector<DeclaredParam>& declare() {
        effect_ = std::make_unique<EmulatedHost>(folder_.module().string());
        EXPECT_EQ(effect_->global_setup(), PF_Err_NONE);
        EXPECT_EQ(effect_->params_setup(), PF_Err_NONE);
        return effect_->declared_params();
    }

    PluginFolder folder_;
    std::unique_ptr<EmulatedHost> effect_;
};

TEST_F(ControlsTest, EveryControlIsDeclaredExactly) {
    const auto& declared = declare();
    const auto expected = expected_controls(false);
    ASSERT_EQ(declared.size(), expected.size());
    for (std::size_t i = 0; i < expected.size(); ++i) {
        SCOPED_TRACE("parameter " + std::to_string(i + 1) + " " + expected[i].name);
        expect_record(declared[i], expected[i]);
    }
    EXPECT_EQ(effect_->out_data().num_params, 18);
}

TEST_F(ControlsTest, TheExtraOptionFileAddsAlphaBokehBeforeTheLastGroupEnd) {
    folder_.touch("more_param");
    const auto& declared = declare();
    const auto expected = expected_controls(true);
    ASSERT_EQ(declared.size(), expected.size());
    for (std::size_t i = 0; i < expected.size(); ++i) {
        SCOPED_TRACE("parameter " + std::to_string(i + 1) + " " + expected[i].name);
        expect_record(declared[i], expected[i]);
    }
    EXPECT_EQ(effect_->param_index("Alpha bokeh"), 17);
    EXPECT_EQ(effect_->out_data().num_params, 19);
}

TEST_F(ControlsTest, OptionFilesThatOnlySwitchEnginePathsLeaveTheControlsAlone) {
    folder_.touch("no_simd");
    folder_.touch("alpha_boke");
    folder_.touch("use_micro");
    EXPECT_EQ(declare().size(), 17u);
    EXPECT_EQ(effect_->out_data().num_params, 18);
}

TEST_F(ControlsTest, IrisShapeOffersTheShapeFoldersAndPrefersTheOneNamed06) {
    for (const char* name : {"circle", "00", "03", "hexagon", "06", "01"}) {
        folder_.add_shape_folder(name);
    }
    folder_.touch("pattern/02");  // a plain file is no shape
    const PF_ParamDef& iris = declare()[0].def;
    EXPECT_EQ(effect_->declared_params()[0].choices, "00|01|03|06|circle|hexagon");
    EXPECT_EQ(iris.u.pd.num_choices, 6);
    EXPECT_EQ(iris.u.pd.dephault, 4);
    EXPECT_EQ(iris.u.pd.value, 4);
}

TEST_F(ControlsTest, IrisShapeWithout06DefaultsToZeroAndWithoutFoldersOffersNothing) {
    declare();
    EXPECT_EQ(effect_->declared_params()[0].choices, "");
    EXPECT_EQ(effect_->declared_params()[0].def.u.pd.num_choices, 0);
    EXPECT_EQ(effect_->declared_params()[0].def.u.pd.dephault, 0);

    folder_.add_shape_folder("6");
    folder_.add_shape_folder("060");
    EXPECT_EQ(effect_->params_setup(), PF_Err_NONE);
    EXPECT_EQ(effect_->declared_params()[0].choices, "060|6");
    EXPECT_EQ(effect_->declared_params()[0].def.u.pd.dephault, 0);
    EXPECT_EQ(effect_->declared_params()[0].def.u.pd.value, 0);
}

TEST_F(ControlsTest, ShapeChoicesAreListedAgainAtEveryParameterSetup) {
    folder_.add_shape_folder("06");
    declare();
    folder_.add_shape_folder("02");
    ASSERT_EQ(effect_->params_setup(), PF_Err_NONE);
    EXPECT_EQ(effect_->declared_params()[0].choices, "02|06");
    EXPECT_EQ(effect_->declared_params()[0].def.u.pd.dephault, 2);
}

TEST_F(ControlsTest, ARefusedDeclarationEndsParameterSetupWithTheHostsError) {
    EmulatedHost effect(folder_.module().string());
    ASSERT_EQ(effect.global_setup(), PF_Err_NONE);
    effect.refuse_add_param_after(5, PF_Err_INVALID_INDEX);
    EXPECT_EQ(effect.params_setup(), PF_Err_INVALID_INDEX);
    EXPECT_EQ(effect.declared_params().size(), 5u);
    EXPECT_EQ(effect.out_data().num_params, 0);
}

TEST_F(ControlsTest, TheHostCanSetEachKindOfControlInItsOwnUnits) {
    declare();
    effect_->set_value("Hardness", 0.5);
    EXPECT_EQ(effect_->param("Hardness").u.fd.value, 0x8000);
    effect_->set_value("Preview Size", 64);
    EXPECT_EQ(effect_->param("Preview Size").u.sd.value, 64);
    effect_->set_value("Quality", 3);
    EXPECT_EQ(effect_->value("Quality"), 3.0);
    effect_->set_point("Preview Point", 10.5, -2);
    EXPECT_EQ(effect_->param("Preview Point").u.td.x_value, 0xA8000);
    EXPECT_EQ(effect_->param("Preview Point").u.td.y_value, -0x20000);
    EXPECT_THROW(effect_->set_value("No Such Control", 1), host::HostError);
    EXPECT_THROW(effect_->set_value("Focus Here", 1), host::HostError);
    EXPECT_THROW(effect_->set_point("Bokeh Amount", 1, 1), host::HostError);
}

}  // namespace
