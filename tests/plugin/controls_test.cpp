// The controls as the module declares them to a host: every record well formed, the released
// identifiers, the exact fixed-point words, the index table, and the shape popup.
#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "host/emulated_host.h"
#include "plugin/bokeh_plugin.h"
#include "plugin/effect_entry.h"
#include "tests/plugin/plugin_folder.h"

namespace {

using host::DeclaredParam;
using host::EmulatedHost;
using qb_test::PluginFolder;

constexpr PF_Fixed whole(int value) {
    return value * 0x10000;
}

// Group starts and ends share identifiers; every other control has its own.
bool is_group(const PF_ParamDef& def) {
    return def.param_type == PF_Param_GROUP_START || def.param_type == PF_Param_GROUP_END;
}

template <class Slider>
void expect_well_formed_range(const Slider& slider) {
    EXPECT_LE(slider.valid_min, slider.slider_min);
    EXPECT_LT(slider.slider_min, slider.slider_max);
    EXPECT_LE(slider.slider_max, slider.valid_max);
    EXPECT_GE(slider.dephault, slider.valid_min);
    EXPECT_LE(slider.dephault, slider.valid_max);
    EXPECT_EQ(slider.value, slider.dephault);
    EXPECT_STREQ(slider.value_str, "");
    EXPECT_STREQ(slider.value_desc, "");
}

// What every declaration must satisfy, whatever the table says.
void expect_well_formed(const DeclaredParam& declared) {
    const PF_ParamDef& def = declared.def;
    SCOPED_TRACE(def.name);
    EXPECT_EQ(def.change_flags, 0);
    switch (def.param_type) {
        case PF_Param_FIX_SLIDER:
            expect_well_formed_range(def.u.fd);
            EXPECT_EQ(def.u.fd.precision, 1);
            EXPECT_EQ(def.u.fd.display_flags, 0);
            break;
        case PF_Param_SLIDER:
            expect_well_formed_range(def.u.sd);
            break;
        case PF_Param_POPUP:
            EXPECT_GE(def.u.pd.dephault, 0);
            EXPECT_LE(def.u.pd.dephault, def.u.pd.num_choices);
            EXPECT_EQ(def.u.pd.value, def.u.pd.dephault);
            EXPECT_EQ(std::count(declared.choices.begin(), declared.choices.end(), '|') + 1,
                      std::max<A_short>(def.u.pd.num_choices, 1));
            break;
        case PF_Param_CHECKBOX:
            EXPECT_EQ(def.u.bd.value, 0);
            EXPECT_EQ(def.u.bd.dephault, 0);
            EXPECT_FALSE(declared.checkbox_label.empty());
            break;
        case PF_Param_POINT:
            EXPECT_EQ(def.u.td.x_value, 0);
            EXPECT_EQ(def.u.td.y_value, 0);
            EXPECT_EQ(def.u.td.restrict_bounds, 1);
            break;
        case PF_Param_LAYER:
            EXPECT_EQ(def.u.ld.dephault, PF_LayerDefault_NONE);
            EXPECT_EQ(def.u.ld.data, nullptr);
            break;
        default:
            EXPECT_TRUE(is_group(def));
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

TEST_F(ControlsTest, EveryDeclarationIsWellFormedWithAndWithoutTheExtraControl) {
    for (const bool extra : {false, true}) {
        SCOPED_TRACE(extra ? "with more_param" : "without");
        if (extra) {
            folder_.touch("more_param");
        }
        const auto& declared = declare();
        std::set<A_long> ids;
        std::set<std::string> names;
        for (const DeclaredParam& control : declared) {
            expect_well_formed(control);
            if (!is_group(control.def)) {
                EXPECT_TRUE(ids.insert(control.def.id).second) << "id " << control.def.id;
                EXPECT_TRUE(names.insert(control.def.name).second) << control.def.name;
            }
        }
        EXPECT_EQ(effect_->out_data().num_params, static_cast<A_long>(declared.size()) + 1);
        // The settings group ends the list; the extra control sits just before its end.
        EXPECT_EQ(declared.back().def.param_type, PF_Param_GROUP_END);
        EXPECT_EQ(names.count("Alpha bokeh"), extra ? 1u : 0u);
        if (extra) {
            EXPECT_EQ(effect_->param_index("Alpha bokeh"), static_cast<int>(declared.size()) - 1);
        }
    }
}

// Saved projects find their values by these identifiers, and expressions by these names: they
// may never change.
TEST_F(ControlsTest, PersistentIdentifiersAndTypesStayAsReleased) {
    folder_.touch("more_param");
    const std::map<std::string, std::pair<PF_ParamType, A_long>> released = {
        {"Iris Shape", {PF_Param_POPUP, 3}},
        {"Distance Layer", {PF_Param_LAYER, 4}},
        {"Focus Here", {PF_Param_POINT, 8}},
        {"On-Focus Distance", {PF_Param_FIX_SLIDER, 9}},
        {"Bokeh Amount", {PF_Param_FIX_SLIDER, 7}},
        {"Hardness", {PF_Param_FIX_SLIDER, 5}},
        {"Brightness", {PF_Param_FIX_SLIDER, 6}},
        {"Preview Only", {PF_Param_CHECKBOX, 1}},
        {"Preview Point", {PF_Param_POINT, 2}},
        {"Preview Size", {PF_Param_SLIDER, 13}},
        {"Preview Quality", {PF_Param_POPUP, 12}},
        {"Quality", {PF_Param_POPUP, 11}},
        {"Distance Precision", {PF_Param_SLIDER, 10}},
        {"Alpha bokeh", {PF_Param_FIX_SLIDER, 17}},
    };
    declare();
    for (const auto& [name, kind] : released) {
        const PF_ParamDef& def = effect_->param(name);
        EXPECT_EQ(def.param_type, kind.first) << name;
        EXPECT_EQ(def.id, kind.second) << name;
    }
}

// Fixed-point words a host shows rounded; computed from decimals they would come out otherwise.
TEST_F(ControlsTest, MinimumsAreTheExactFixedPointWords) {
    folder_.touch("more_param");
    declare();
    EXPECT_EQ(effect_->param("Hardness").u.fd.valid_min, 0x6664);
    EXPECT_EQ(effect_->param("Brightness").u.fd.slider_min, 0x6664);
    EXPECT_EQ(effect_->param("Alpha bokeh").u.fd.valid_min, 0x1999);
    EXPECT_EQ(effect_->param("Bokeh Amount").u.fd.dephault, whole(20));
    EXPECT_EQ(effect_->param("Brightness").u.fd.slider_max, whole(6));
    EXPECT_EQ(effect_->param("Brightness").u.fd.valid_max, whole(10));
    EXPECT_EQ(effect_->declared_params()[effect_->param_index("Quality") - 1].choices,
              effect_->declared_params()[effect_->param_index("Preview Quality") - 1].choices);
}

// The module reads each control through its index table; the table must name the places the
// host put the controls, whichever option files are present.
TEST(ControlIndexTable, NamesWhereTheHostPutEachControl) {
    for (const bool extra : {false, true}) {
        SCOPED_TRACE(extra ? "with more_param" : "without");
        PluginFolder folder;
        if (extra) {
            folder.touch("more_param");
        }
        EmulatedHost effect(quillbloom_effect_main, folder.module().string());
        ASSERT_EQ(effect.global_setup(), PF_Err_NONE);
        ASSERT_EQ(effect.params_setup(), PF_Err_NONE);
        // The plug-in object the module keeps in the host's global-data handle.
        PF_Handle global_data = effect.in_data().global_data;
        ASSERT_NE(global_data, nullptr);
        const auto& plugin =
            *static_cast<const BokehPlugin*>(effect.in_data().utils->host_lock_handle(global_data));
        effect.in_data().utils->host_unlock_handle(global_data);
        const std::pair<const char*, int> places[] = {
            {"Iris Shape", plugin.idx_iris_shape},
            {"Distance Layer", plugin.idx_distance_layer},
            {"Focus Here", plugin.idx_focus_here},
            {"On-Focus Distance", plugin.idx_focus_distance},
            {"Bokeh Amount", plugin.idx_bokeh_amount},
            {"Hardness", plugin.idx_hardness},
            {"Brightness", plugin.idx_brightness},
            {"Preview", plugin.idx_preview_group},
            {"Preview Only", plugin.idx_preview_only},
            {"Preview Point", plugin.idx_preview_point},
            {"Preview Size", plugin.idx_preview_size},
            {"Preview Quality", plugin.idx_preview_quality},
            {"Settings", plugin.idx_settings_group},
            {"Quality", plugin.idx_quality},
            {"Distance Precision", plugin.idx_distance_precision},
        };
        for (const auto& [name, index] : places) {
            EXPECT_EQ(effect.param_index(name), index) << name;
        }
        if (extra) {
            EXPECT_EQ(effect.param_index("Alpha bokeh"), plugin.idx_alpha_bokeh);
        }
        EXPECT_EQ(effect.param(plugin.idx_preview_end).param_type, PF_Param_GROUP_END);
        EXPECT_EQ(effect.param(plugin.idx_settings_end).param_type, PF_Param_GROUP_END);
        EXPECT_EQ(plugin.num_params, static_cast<int>(effect.declared_params().size()) + 1);
    }
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
