// The plug-in object driven directly, for what a host cannot reach through `main` alone: the
// option flags, the index table, a recorded focus map and buffers left over at frame set-down.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <functional>
#include <memory>
#include <vector>

#include "host/emulated_host.h"
#include "plugin/bokeh_plugin.h"
#include "tests/plugin/plugin_folder.h"

namespace {

using host::EmulatedHost;
using qb_test::PluginFolder;

class PluginStateTest : public ::testing::Test {
  protected:
    PluginStateTest() : host_(folder_.module().string()) { plugin_->first_call_init(); }

    void global_setup() { plugin_->global_setup(&host_.in_data(), &out_); }

    PluginFolder folder_;
    EmulatedHost host_;
    std::unique_ptr<BokehPlugin> plugin_ = std::make_unique<BokehPlugin>();
    PF_OutData out_{};
};

TEST_F(PluginStateTest, GlobalSetupFindsTheFoldersBesideTheModule) {
    global_setup();
    EXPECT_EQ(plugin_->plugin_folder, folder_.root().string());
    EXPECT_EQ(plugin_->pattern_folder, (folder_.root() / "pattern").string());
    EXPECT_EQ(plugin_->use_simd, 1);
    EXPECT_EQ(plugin_->alpha_bokeh_mode, 0);
    EXPECT_EQ(plugin_->more_params, 0);
    EXPECT_EQ(plugin_->use_micro, 0);
    EXPECT_EQ(plugin_->distance_params_enabled, 1);
    EXPECT_EQ(plugin_->iris_layer_enabled, 0);
}

TEST_F(PluginStateTest, AnUnknownPluginFolderLooksAtNothingOutsideIt) {
    PF_UtilCallbacks utils = *host_.in_data().utils;
    utils.get_platform_data = [](PF_ProgPtr, PF_PlatDataID, void*) -> PF_Err {
        return PF_Err_BAD_CALLBACK_PARAM;
    };
    PF_InData without_path = host_.in_data();
    without_path.utils = &utils;
    PF_InData without_utils = host_.in_data();
    without_utils.utils = nullptr;
    for (PF_InData* in_data : {&without_path, &without_utils}) {
        plugin_ = std::make_unique<BokehPlugin>();
        plugin_->first_call_init();
        plugin_->global_setup(in_data, &out_);
        EXPECT_STREQ(plugin_->plugin_folder, "");
        EXPECT_STREQ(plugin_->pattern_folder, "");
        EXPECT_EQ(plugin_->shape_count, 0);
        EXPECT_EQ(plugin_->use_simd, 1);
        EXPECT_EQ(plugin_->num_params, 18);
    }
}

TEST_F(PluginStateTest, EachOptionFileSwitchesItsOwnFlagOnly) {
    struct Case {
        const char* file;
        int BokehPlugin::*flag;
        int when_present;
    };
    const Case cases[] = {{"no_simd", &BokehPlugin::use_simd, 0},
                          {"alpha_boke", &BokehPlugin::alpha_bokeh_mode, 1},
                          {"more_param", &BokehPlugin::more_params, 1},
                          {"use_micro", &BokehPlugin::use_micro, 1}};
    for (const Case& option : cases) {
        SCOPED_TRACE(option.file);
        folder_.touch(option.file);
        plugin_ = std::make_unique<BokehPlugin>();
        plugin_->first_call_init();
        global_setup();
        for (const Case& other : cases) {
            const int absent = other.when_present ? 0 : 1;
            EXPECT_EQ((*plugin_).*other.flag, &other == &option ? other.when_present : absent)
                << other.file;
        }
        std::filesystem::remove(folder_.root() / option.file);
    }
}

TEST_F(PluginStateTest, AFolderIsNoOptionFile) {
    std::filesystem::create_directory(folder_.root() / "no_simd");
    std::filesystem::create_directory(folder_.root() / "more_param");
    global_setup();
    EXPECT_EQ(plugin_->use_simd, 1);
    EXPECT_EQ(plugin_->more_params, 0);
}

TEST_F(PluginStateTest, IndexTableFollowsTheOptionFlags) {
    global_setup();
    const int without[] = {
        plugin_->idx_iris_shape,         plugin_->idx_distance_layer, plugin_->idx_focus_here,
        plugin_->idx_focus_distance,     plugin_->idx_bokeh_amount,   plugin_->idx_hardness,
        plugin_->idx_brightness,         plugin_->idx_preview_group,  plugin_->idx_preview_only,
        plugin_->idx_preview_point,      plugin_->idx_preview_size,   plugin_->idx_preview_quality,
        plugin_->idx_preview_end,        plugin_->idx_settings_group, plugin_->idx_quality,
        plugin_->idx_distance_precision, plugin_->idx_settings_end};
    for (int i = 0; i < 17; ++i) {
        EXPECT_EQ(without[i], i + 1) << "entry " << i;
    }
    EXPECT_EQ(plugin_->num_params, 18);
    // Absent controls keep whatever their entry held.
    EXPECT_EQ(plugin_->idx_iris_layer, 0);
    EXPECT_EQ(plugin_->idx_alpha_bokeh, 0);

    plugin_->more_params = 1;
    plugin_->compute_param_indices();
    EXPECT_EQ(plugin_->idx_alpha_bokeh, 17);
    EXPECT_EQ(plugin_->idx_settings_end, 18);
    EXPECT_EQ(plugin_->num_params, 19);

    plugin_->iris_layer_enabled = 1;
    plugin_->compute_param_indices();
    EXPECT_EQ(plugin_->idx_iris_layer, 2);
    EXPECT_EQ(plugin_->idx_distance_layer, 3);
    EXPECT_EQ(plugin_->num_params, 20);
}

TEST_F(PluginStateTest, AModulePathWithoutSeparatorIsTheFolderItself) {
    // A host answers whatever path it loaded the module from; a bare name has no folder part.
    struct BareName {
        static PF_Err answer(PF_ProgPtr, PF_PlatDataID, void* data) {
            std::strcpy(static_cast<char*>(data), "QuilAE.aex");
            return PF_Err_NONE;
        }
    };
    PF_UtilCallbacks utils = *host_.in_data().utils;
    utils.get_platform_data = BareName::answer;
    PF_InData in_data = host_.in_data();
    in_data.utils = &utils;
    plugin_->global_setup(&in_data, &out_);
    EXPECT_STREQ(plugin_->plugin_folder, "QuilAE.aex");
    EXPECT_STREQ(plugin_->pattern_folder, "QuilAE.aex/pattern");
    EXPECT_EQ(plugin_->shape_count, 0);
}

// A focus map of 6 x 4 recorded at half resolution, stride 8: byte = 10 * row + column.
class FocusMapTest : public PluginStateTest {
  protected:
    void SetUp() override {
        handle_ = host_.in_data().utils->host_new_handle(8 * 4);
        auto* map = static_cast<uint8_t*>(host_.in_data().utils->host_lock_handle(handle_));
        for (int row = 0; row < 4; ++row) {
            for (int column = 0; column < 8; ++column) {
                map[row * 8 + column] = static_cast<uint8_t>(10 * row + column);
            }
        }
        host_.in_data().sequence_data = handle_;
        plugin_->focus_map_scale = 0.5;
        plugin_->focus_map_stride = 8;
        plugin_->focus_map_width = 6;
        plugin_->focus_map_height = 4;
        plugin_->idx_focus_here = 3;
        plugin_->idx_focus_distance = 4;
        for (int i = 0; i < 6; ++i) {
            params_.push_back(&records_[i]);
        }
        records_[4].u.fd.value = 0x123456;
    }

    PF_Err pick(int x, int y, int changed = 3) {
        records_[3].u.td.x_value = x * 0x10000;
        records_[3].u.td.y_value = y * 0x10000;
        PF_UserChangedParamExtra extra{changed};
        out_ = PF_OutData{};
        return plugin_->user_changed_param(&host_.in_data(), &out_, params_.data(), &extra);
    }

    PF_Handle handle_ = nullptr;
    PF_ParamDef records_[6] = {};
    std::vector<PF_ParamDef*> params_;
};

TEST_F(FocusMapTest, SamplesTheMapAtTheScaledPointTruncated) {
    EXPECT_EQ(plugin_->focus_map_sample(&host_.in_data(), 0, 0), 0);
    EXPECT_EQ(plugin_->focus_map_sample(&host_.in_data(), 7, 5), 23);
    EXPECT_EQ(plugin_->focus_map_sample(&host_.in_data(), 11, 7), 35);
    // The sample must not leave the handle locked more than it was.
    EXPECT_EQ(host_.lock_count(handle_), 1);
}

TEST_F(FocusMapTest, APointOutsideTheRecordedMapSamplesZero) {
    EXPECT_EQ(plugin_->focus_map_sample(&host_.in_data(), 12, 0), 0);  // column 6 of 6
    EXPECT_EQ(plugin_->focus_map_sample(&host_.in_data(), 0, 8), 0);   // row 4 of 4
    EXPECT_EQ(plugin_->focus_map_sample(&host_.in_data(), 0, 4000), 0);
    EXPECT_EQ(plugin_->focus_map_sample(&host_.in_data(), -2, 0), 0);
    EXPECT_EQ(plugin_->focus_map_sample(&host_.in_data(), 0, -3), 0);
    host_.in_data().sequence_data = nullptr;
    EXPECT_EQ(plugin_->focus_map_sample(&host_.in_data(), 7, 5), 0);
}

TEST_F(FocusMapTest, StaleRowsAndAMapNeverRecordedSampleZero) {
    // The handle still holds rows of a taller layer recorded earlier.
    plugin_->focus_map_height = 2;
    EXPECT_EQ(plugin_->focus_map_sample(&host_.in_data(), 0, 2), 10);
    EXPECT_EQ(plugin_->focus_map_sample(&host_.in_data(), 0, 4), 0);
    plugin_->focus_map_width = 0;
    plugin_->focus_map_height = 0;
    plugin_->focus_map_scale = 0.0;
    EXPECT_EQ(plugin_->focus_map_sample(&host_.in_data(), 7, 5), 0);
}

TEST_F(FocusMapTest, AFocusPickAtTheRecordedScaleSetsTheSampledDistance) {
    host_.set_downsample(1, 2);
    EXPECT_EQ(pick(7, 5), PF_Err_NONE);
    EXPECT_EQ(records_[4].u.fd.value, 23 * 0x10000);
    EXPECT_EQ(records_[4].change_flags, PF_ChangeFlag_CHANGED_VALUE);
    EXPECT_EQ(out_.out_flags, PF_OutFlag_REFRESH_UI);

    EXPECT_EQ(pick(40, 40), PF_Err_NONE);
    EXPECT_EQ(records_[4].u.fd.value, 0);
}

TEST_F(FocusMapTest, AFocusPickAtAnotherScaleOrOnAnotherControl) {
    host_.set_downsample(1, 1);
    EXPECT_EQ(pick(7, 5), PF_Err_NONE);
    EXPECT_EQ(records_[4].u.fd.value, static_cast<PF_Fixed>(0xFFFF0000u));

    records_[4] = PF_ParamDef{};
    EXPECT_EQ(pick(7, 5, 4), PF_Err_NONE);
    EXPECT_EQ(records_[4].u.fd.value, 0);
    EXPECT_EQ(records_[4].change_flags, 0);
    EXPECT_EQ(out_.out_flags, 0);
}

}  // namespace
