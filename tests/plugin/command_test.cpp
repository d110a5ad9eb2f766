// The module's commands as a host sees them through `main`: results, out-record effects, the
// sequence data, the focus pick and the first-call initialisation.
#include <gtest/gtest.h>

#include <cstring>
#include <initializer_list>

#include "host/emulated_host.h"
#include "tests/plugin/plugin_folder.h"

namespace {

using host::EmulatedHost;
using qb_test::PluginFolder;

constexpr PF_Fixed kUnknownDistance = static_cast<PF_Fixed>(0xFFFF0000u);

class CommandTest : public ::testing::Test {
  protected:
    CommandTest() : effect_(folder_.module().string()) { effect_.set_layer_size(40, 30); }

    PluginFolder folder_;
    EmulatedHost effect_;
};

TEST_F(CommandTest, GlobalSetupAnnouncesVersionAndFlagsEvenWithoutAPatternFolder) {
    EXPECT_EQ(effect_.global_setup(), PF_Err_NONE);
    EXPECT_EQ(effect_.out_data().my_version, 0x00080000u);
    EXPECT_EQ(effect_.out_data().out_flags, 0x41);
    EXPECT_STREQ(effect_.out_data().return_msg, "");
}

TEST_F(CommandTest, CommandsWithoutActionAnswerSuccessAndTouchNothing) {
    ASSERT_EQ(effect_.open_sequence(), PF_Err_NONE);
    for (PF_Cmd cmd : std::initializer_list<PF_Cmd>{
             PF_Cmd_RESERVED_2, PF_Cmd_GLOBAL_SETDOWN, PF_Cmd_SEQUENCE_RESETUP,
             PF_Cmd_SEQUENCE_FLATTEN, PF_Cmd_DO_DIALOG, PF_Cmd_FRAME_SETUP, PF_Cmd_UPDATE_PARAMS_UI,
             PF_Cmd_EVENT, 16, 17, 1000, -1}) {
        SCOPED_TRACE(cmd);
        EXPECT_EQ(effect_.send(cmd), PF_Err_NONE);
        EXPECT_EQ(effect_.out_data().out_flags, 0);
        EXPECT_EQ(effect_.out_data().num_params, 0);
        EXPECT_EQ(effect_.out_data().my_version, 0u);
        EXPECT_STREQ(effect_.out_data().return_msg, "");
        EXPECT_EQ(effect_.out_data().sequence_data, effect_.in_data().sequence_data);
    }
    EXPECT_EQ(effect_.live_handles(), 1);
}

TEST_F(CommandTest, ParamsSetupReportsTheParameterCount) {
    ASSERT_EQ(effect_.global_setup(), PF_Err_NONE);
    EXPECT_EQ(effect_.params_setup(), PF_Err_NONE);
    EXPECT_EQ(effect_.out_data().num_params, 18);
    EXPECT_EQ(effect_.declared_params().size(), 17u);
}

TEST_F(CommandTest, SequenceDataIsALockedHandleOfOneBytePerPixelUntilSetDown) {
    ASSERT_EQ(effect_.global_setup(), PF_Err_NONE);
    ASSERT_EQ(effect_.sequence_setup(), PF_Err_NONE);
    PF_Handle handle = effect_.out_data().sequence_data;
    ASSERT_NE(handle, nullptr);
    EXPECT_EQ(effect_.in_data().utils->host_get_handle_size(handle), 40u * 30u);
    EXPECT_EQ(effect_.lock_count(handle), 1);

    EXPECT_EQ(effect_.sequence_setdown(), PF_Err_NONE);
    // Only the module's own global data is left, until global set-down.
    EXPECT_EQ(effect_.live_handles(), 1);
    EXPECT_EQ(effect_.global_setdown(), PF_Err_NONE);
    EXPECT_EQ(effect_.live_handles(), 0);
}

TEST_F(CommandTest, SequenceSetupAdoptsTheHandleTheHostAlreadyHas) {
    PF_Handle existing = effect_.in_data().utils->host_new_handle(7);
    effect_.in_data().sequence_data = existing;
    // Adopting must not allocate: a refused allocation would show as an error.
    effect_.refuse_handle_after(0);
    EXPECT_EQ(effect_.sequence_setup(), PF_Err_NONE);
    EXPECT_EQ(effect_.out_data().sequence_data, existing);
    EXPECT_EQ(effect_.live_handles(), 1);
    EXPECT_EQ(effect_.lock_count(existing), 0);
}

TEST_F(CommandTest, SequenceSetupRefusedMemoryAnswersOutOfMemoryWithNoHandle) {
    effect_.refuse_handle_after(0);
    EXPECT_EQ(effect_.sequence_setup(), PF_Err_OUT_OF_MEMORY);
    EXPECT_EQ(effect_.out_data().sequence_data, nullptr);
    EXPECT_EQ(effect_.live_handles(), 0);
    EXPECT_EQ(effect_.sequence_setdown(), PF_Err_NONE);
}

TEST_F(CommandTest, ANegativeLayerSizeAsksForAnEmptyHandle) {
    effect_.set_layer_size(-40, 30);
    EXPECT_EQ(effect_.sequence_setup(), PF_Err_NONE);
    EXPECT_EQ(effect_.in_data().utils->host_get_handle_size(effect_.out_data().sequence_data), 0u);
}

TEST_F(CommandTest, FrameSetdownAfterNoRenderFindsNoLeak) {
    ASSERT_EQ(effect_.open_sequence(), PF_Err_NONE);
    EXPECT_EQ(effect_.frame_setdown(), PF_Err_NONE);
    EXPECT_STREQ(effect_.out_data().return_msg, "");
}

class FocusPickTest : public CommandTest {
  protected:
    void SetUp() override {
        ASSERT_EQ(effect_.open_sequence(), PF_Err_NONE);
        effect_.set_point("Focus Here", 12, 7);
        effect_.set_value("On-Focus Distance", 42.0);
    }
    PF_ParamDef& focus_distance() { return effect_.param("On-Focus Distance"); }
};

TEST_F(FocusPickTest, BeforeAnyRenderTheDistanceIsUnknown) {
    EXPECT_EQ(effect_.user_changed_param("Focus Here"), PF_Err_NONE);
    EXPECT_EQ(focus_distance().u.fd.value, kUnknownDistance);
    EXPECT_EQ(focus_distance().change_flags, PF_ChangeFlag_CHANGED_VALUE);
    EXPECT_EQ(effect_.out_data().out_flags, PF_OutFlag_REFRESH_UI);
}

TEST_F(FocusPickTest, AtAnotherDownsampleFactorTheDistanceIsStillUnknown) {
    effect_.set_downsample(1, 2);
    EXPECT_EQ(effect_.user_changed_param("Focus Here"), PF_Err_NONE);
    EXPECT_EQ(focus_distance().u.fd.value, kUnknownDistance);
    EXPECT_EQ(effect_.out_data().out_flags, PF_OutFlag_REFRESH_UI);
}

TEST_F(FocusPickTest, AChangeToAnotherControlIsIgnored) {
    for (const char* name : {"Bokeh Amount", "Preview Point", "On-Focus Distance"}) {
        SCOPED_TRACE(name);
        EXPECT_EQ(effect_.user_changed_param(name), PF_Err_NONE);
        EXPECT_EQ(effect_.out_data().out_flags, 0);
        EXPECT_EQ(effect_.value("On-Focus Distance"), 42.0);
        EXPECT_EQ(focus_distance().change_flags, 0);
    }
}

TEST_F(CommandTest, AChangeBeforeGlobalSetupTouchesNoParameter) {
    PluginFolder reference_folder;
    {
        EmulatedHost reference(reference_folder.module().string());
        ASSERT_EQ(reference.global_setup(), PF_Err_NONE);
        ASSERT_EQ(reference.params_setup(), PF_Err_NONE);
        effect_.use_declarations(reference.declared_params());
    }
    host::World input(4, 4);
    effect_.param(0).u.ld = input.def();
    PF_UserChangedParamExtra extra{0};
    EXPECT_EQ(effect_.send(PF_Cmd_USER_CHANGED_PARAM, nullptr, &extra), PF_Err_NONE);
    EXPECT_EQ(effect_.param(0).u.ld.layer_marker, 1);
    EXPECT_EQ(effect_.param(0).u.ld.data, input.def().data);
    EXPECT_EQ(effect_.param(0).change_flags, 0);
    EXPECT_EQ(effect_.out_data().out_flags, 0);
}

// Every case loads its own copy of the module, so the command under test is the first one that
// copy ever receives.
class FirstCallTest : public ::testing::TestWithParam<PF_Cmd> {};

TEST_P(FirstCallTest, InitialisesOnWhateverCommandComesFirstAndOnlyThen) {
    PluginFolder folder;
    folder.add_shape_folder("01");
    folder.add_shape_folder("06");
    EmulatedHost effect(folder.module().string());
    effect.set_layer_size(8, 8);
    host::World input(8, 8), output(8, 8);
    {
        // A render needs the parameter array that a host keeps from an earlier load.
        PluginFolder reference_folder;
        EmulatedHost reference(reference_folder.module().string());
        ASSERT_EQ(reference.global_setup(), PF_Err_NONE);
        ASSERT_EQ(reference.params_setup(), PF_Err_NONE);
        effect.use_declarations(reference.declared_params());
    }

    const PF_Cmd first = GetParam();
    if (first == PF_Cmd_RENDER) {
        effect.render(input, output);
    } else {
        effect.send(first);
    }
    ASSERT_EQ(effect.global_setup(), PF_Err_NONE);
    // Sent again after global set-up, the command must not wipe the folders it found.
    if (first == PF_Cmd_RENDER) {
        effect.render(input, output);
    } else {
        effect.send(first);
    }
    ASSERT_EQ(effect.params_setup(), PF_Err_NONE);

    // The preferred shape "06" comes from the first-call initialisation.
    const PF_PopupDef& iris = effect.param("Iris Shape").u.pd;
    EXPECT_EQ(iris.num_choices, 2);
    EXPECT_EQ(iris.dephault, 2);
    EXPECT_EQ(effect.declared_params()[0].choices, "01|06");
    // So does a focus map scale of 0: no render has recorded a map yet.
    ASSERT_EQ(effect.sequence_setup(), PF_Err_NONE);
    effect.user_changed_param("Focus Here");
    EXPECT_EQ(effect.param("On-Focus Distance").u.fd.value, kUnknownDistance);
}

INSTANTIATE_TEST_SUITE_P(AnyCommand, FirstCallTest,
                         ::testing::Values(PF_Cmd_ABOUT, PF_Cmd_GLOBAL_SETUP, PF_Cmd_RENDER,
                                           PF_Cmd_FRAME_SETDOWN, PF_Cmd_SEQUENCE_FLATTEN, 99));

}  // namespace
