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

using qb_ofx::ParamEntry;
using qb_ofx::ParamKind;

class ParameterTable : public ::testing::Test {
  protected:
    static void SetUpTestSuite() {
        declarations_ = new session::EffectDeclarations(session::learn_declarations(
            quillbloom_effect_main, std::filesystem::path(QB_PLUGIN_DIR) / "QuilAE.aex"));
        table_ = new std::vector<ParamEntry>(qb_ofx::parameter_table(*declarations_));
    }
    static void TearDownTestSuite() {
        delete table_;
        delete declarations_;
    }

    static const ParamEntry* find(const std::string& name) {
        const auto found =
            std::find_if(table_->begin(), table_->end(),
                         [&](const ParamEntry& entry) { return entry.name == name; });
        return found == table_->end() ? nullptr : &*found;
    }

    static void expect_slider(const char* name, const session::SliderDeclaration& declared) {
        const ParamEntry* entry = find(name);
        ASSERT_NE(entry, nullptr) << name;
        EXPECT_EQ(entry->default_value, declared.default_value) << name;
        EXPECT_EQ(entry->min, declared.valid_min) << name;
        EXPECT_EQ(entry->max, declared.valid_max) << name;
        EXPECT_EQ(entry->display_min, declared.slider_min) << name;
        EXPECT_EQ(entry->display_max, declared.slider_max) << name;
        EXPECT_LE(entry->min, entry->default_value) << name;
        EXPECT_GE(entry->max, entry->default_value) << name;
    }

    static session::EffectDeclarations* declarations_;
    static std::vector<ParamEntry>* table_;
};

session::EffectDeclarations* ParameterTable::declarations_ = nullptr;
std::vector<ParamEntry>* ParameterTable::table_ = nullptr;

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
    const ParamEntry* shape = find(effect_controls::kIrisShape);
    ASSERT_NE(shape, nullptr);
    EXPECT_EQ(shape->kind, ParamKind::kChoice);
    EXPECT_EQ(shape->options, declarations_->iris_shape.entries);
    EXPECT_FALSE(shape->options.empty());
    const ParamEntry* quality = find(effect_controls::kQuality);
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
    for (const ParamEntry& entry : *table_) {
        EXPECT_TRUE(names.insert(entry.name).second) << entry.name;
    }
    for (const ParamEntry& entry : *table_) {
        if (!entry.parent.empty()) {
            ASSERT_NE(find(entry.parent), nullptr) << entry.name;
            EXPECT_EQ(find(entry.parent)->kind, ParamKind::kGroup) << entry.name;
        }
        if (!entry.enabled_by.empty()) {
            ASSERT_NE(find(entry.enabled_by), nullptr) << entry.name;
            EXPECT_EQ(find(entry.enabled_by)->kind, ParamKind::kBoolean) << entry.name;
        }
    }
}

TEST_F(ParameterTable, DepthConventionsDefaultToTheEffectsOwn) {
    const ParamEntry* channel = find(qb_ofx::kDepthChannel);
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
