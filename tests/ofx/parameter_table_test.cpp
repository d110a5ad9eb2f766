// The parameter table against the controls the built module declares: every control a user
// sets is there under its own name with the module's range, default and menu, preview controls
// are not, and every switch names a boolean of the table.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <set>

#include "ofx/depth_conventions.h"
#include "ofx/parameter_table.h"
#include "plugin/effect_entry.h"
#include "sdk/effect_controls.h"

namespace {

using qb_ofx::ParamKind;
using qb_ofx::ParamSpec;

class ParameterTable : public ::testing::Test {
  protected:
    static void SetUpTestSuite() {
        declarations_ = new session::EffectDeclarations(session::learn_declarations(
            quillbloom_effect_main, std::filesystem::path(QB_PLUGIN_DIR) / "QuilAE.aex"));
        table_ = new std::vector<ParamSpec>(qb_ofx::parameter_table(*declarations_));
    }
    static void TearDownTestSuite() {
        delete table_;
        delete declarations_;
    }

    static const ParamSpec* find(const std::string& name) {
        const auto found = std::find_if(table_->begin(), table_->end(),
                                        [&](const ParamSpec& spec) { return spec.name == name; });
        return found == table_->end() ? nullptr : &*found;
    }

    static void expect_slider(const char* name, const session::SliderDeclaration& declared) {
        const ParamSpec* spec = find(name);
        ASSERT_NE(spec, nullptr) << name;
        EXPECT_EQ(spec->default_value, declared.default_value) << name;
        EXPECT_EQ(spec->min, declared.valid_min) << name;
        EXPECT_EQ(spec->max, declared.valid_max) << name;
        EXPECT_EQ(spec->display_min, declared.slider_min) << name;
        EXPECT_EQ(spec->display_max, declared.slider_max) << name;
        EXPECT_LE(spec->min, spec->default_value) << name;
        EXPECT_GE(spec->max, spec->default_value) << name;
    }

    static session::EffectDeclarations* declarations_;
    static std::vector<ParamSpec>* table_;
};

session::EffectDeclarations* ParameterTable::declarations_ = nullptr;
std::vector<ParamSpec>* ParameterTable::table_ = nullptr;

TEST_F(ParameterTable, EverySliderHasTheModulesRangeAndDefault) {
    using namespace effect_controls;
    expect_slider(kFocusDistance, declarations_->focus_distance);
    expect_slider(kBokehAmount, declarations_->bokeh_amount);
    expect_slider(kHardness, declarations_->hardness);
    expect_slider(kBrightness, declarations_->brightness);
    expect_slider(kDistancePrecision, declarations_->distance_precision);
    expect_slider(kAlphaBokeh, declarations_->alpha_bokeh);
    EXPECT_EQ(find(kDistancePrecision)->kind, ParamKind::kInteger);
}

TEST_F(ParameterTable, MenusListTheModulesEntriesWithItsDefault) {
    const ParamSpec* shape = find(effect_controls::kIrisShape);
    ASSERT_NE(shape, nullptr);
    EXPECT_EQ(shape->kind, ParamKind::kChoice);
    EXPECT_EQ(shape->options, declarations_->iris_shape.entries);
    EXPECT_FALSE(shape->options.empty());
    const ParamSpec* quality = find(effect_controls::kQuality);
    ASSERT_NE(quality, nullptr);
    EXPECT_EQ(quality->options, declarations_->quality.entries);
    ASSERT_GT(declarations_->quality.default_position, 0);
    EXPECT_EQ(quality->default_value, declarations_->quality.default_position - 1);
}

TEST_F(ParameterTable, PreviewControlsAndTheModulesOwnLayersAreLeftOut) {
    using namespace effect_controls;
    for (const char* name : {kPreviewOnly, kPreviewPoint, kPreviewSize, kPreviewQuality,
                             kPreviewGroup, kDistanceLayer, kIrisLayer, kFocusHere}) {
        EXPECT_EQ(find(name), nullptr) << name;
    }
}

TEST_F(ParameterTable, NamesAreUniqueAndParentsAndSwitchesExist) {
    std::set<std::string> names;
    for (const ParamSpec& spec : *table_) {
        EXPECT_TRUE(names.insert(spec.name).second) << spec.name;
    }
    for (const ParamSpec& spec : *table_) {
        if (!spec.parent.empty()) {
            ASSERT_NE(find(spec.parent), nullptr) << spec.name;
            EXPECT_EQ(find(spec.parent)->kind, ParamKind::kGroup) << spec.name;
        }
        if (!spec.enabled_by.empty()) {
            ASSERT_NE(find(spec.enabled_by), nullptr) << spec.name;
            EXPECT_EQ(find(spec.enabled_by)->kind, ParamKind::kBoolean) << spec.name;
        }
    }
}

TEST_F(ParameterTable, DepthConventionsDefaultToTheEffectsOwn) {
    const ParamSpec* channel = find(qb_ofx::kDepthChannel);
    ASSERT_NE(channel, nullptr);
    EXPECT_EQ(channel->options.size(), qb_ofx::kDepthChannelNames.size());
    EXPECT_EQ(channel->default_value, 0.0);  // red, as the module reads a Distance Layer
    EXPECT_EQ(find(qb_ofx::kWhiteIsNear)->default_value, 1.0);
    EXPECT_EQ(find(qb_ofx::kDepthInSceneUnits)->default_value, 0.0);
    EXPECT_LT(find(qb_ofx::kNearPlane)->default_value, find(qb_ofx::kFarPlane)->default_value);
    EXPECT_EQ(find(qb_ofx::kUseFocusPoint)->default_value, 0.0);
    EXPECT_EQ(find(qb_ofx::kFocusPoint)->kind, ParamKind::kPoint);
}

}  // namespace
