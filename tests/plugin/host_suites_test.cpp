// Suite acquisition and release against the emulated host's basic suite: the failure messages,
// the display-error flag, and the dialog suites held in order.
#include "plugin/host_suites.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "host/emulated_host.h"
#include "sdk/adm_suites.h"
#include "tests/plugin/plugin_folder.h"

namespace {

using host::EmulatedHost;

struct SuiteName {
    const char* name;
    A_long version;
};
const SuiteName kDialogSuites[] = {
    {"ADM Basic Suite", 2},  {"ADM Dialog Suite", 5}, {"ADM Item Suite", 4}, {"ADM Image Suite", 1},
    {"ADM Drawer Suite", 3}, {"ADM List Suite", 1},   {"ADM Entry Suite", 2}};

class HostSuitesTest : public ::testing::Test {
  protected:
    HostSuitesTest() : host_(folder_.module().string()) {
        for (int i = 0; i < kDialogSuiteCount; ++i) {
            host_.register_suite(kDialogSuites[i].name, kDialogSuites[i].version, &tables_[i]);
        }
    }
    ~HostSuitesTest() override {
        // The dialog-suite pointers are module-level: leave none held for the next test.
        host_.set_basic_suite_present(true);
        PF_OutData out{};
        unload_dialog_suites(&host_.in_data(), &out);
    }

    PF_InData* in() { return &host_.in_data(); }

    qb_test::PluginFolder folder_;
    EmulatedHost host_;
    int tables_[kDialogSuiteCount] = {};
    PF_OutData out_{};
};

TEST_F(HostSuitesTest, WithoutABasicSuiteEveryCallFailsWithItsMessageAndTheFlag) {
    host_.set_basic_suite_present(false);
    const void* suite = nullptr;
    EXPECT_EQ(acquire_suite(in(), &out_, "ADM Item Suite", 4, nullptr, &suite),
              PF_Err_BAD_CALLBACK_PARAM);
    EXPECT_STREQ(out_.return_msg, "Not able to acquire AEFX Suite.");
    EXPECT_EQ(out_.out_flags, PF_OutFlag_DISPLAY_ERROR_MESSAGE);

    out_ = PF_OutData{};
    EXPECT_EQ(release_suite(in(), &out_, "ADM Item Suite", 4, nullptr), PF_Err_BAD_CALLBACK_PARAM);
    EXPECT_STREQ(out_.return_msg, "Not able to release AEFX Suite.");
    EXPECT_EQ(out_.out_flags, PF_OutFlag_DISPLAY_ERROR_MESSAGE);

    out_ = PF_OutData{};
    out_.out_flags = PF_OutFlag_REFRESH_UI;
    EXPECT_EQ(acquire_suite(in(), &out_, "X", 1, "Given text.", &suite), PF_Err_BAD_CALLBACK_PARAM);
    EXPECT_STREQ(out_.return_msg, "Given text.");
    EXPECT_EQ(out_.out_flags, PF_OutFlag_REFRESH_UI | PF_OutFlag_DISPLAY_ERROR_MESSAGE);
}

TEST_F(HostSuitesTest, AcquireSucceedsOnlyWhenTheHostFillsThePointer) {
    const void* suite = nullptr;
    EXPECT_EQ(acquire_suite(in(), &out_, "ADM List Suite", 1, nullptr, &suite), PF_Err_NONE);
    EXPECT_EQ(suite, &tables_[5]);
    EXPECT_EQ(out_.out_flags, 0);
    EXPECT_EQ(release_suite(in(), &out_, "ADM List Suite", 1, nullptr), PF_Err_NONE);
    EXPECT_EQ(host_.suites_held(), 0);

    // A version the host does not have is no suite.
    EXPECT_EQ(acquire_suite(in(), &out_, "ADM List Suite", 2, "Missing.", &suite),
              PF_Err_BAD_CALLBACK_PARAM);
    EXPECT_STREQ(out_.return_msg, "Missing.");
    // Release answers success whatever the host's own release answered.
    out_ = PF_OutData{};
    EXPECT_EQ(release_suite(in(), &out_, "Never Acquired", 1, nullptr), PF_Err_NONE);
    EXPECT_EQ(out_.out_flags, 0);
}

TEST_F(HostSuitesTest, LoadingTakesAllSevenInOrderAndUnloadingGivesThemBack) {
    EXPECT_EQ(load_dialog_suites(in(), &out_), PF_Err_NONE);
    EXPECT_EQ(host_.suites_held(), 7);
    for (int i = 0; i < kDialogSuiteCount; ++i) {
        EXPECT_EQ(dialog_suite(static_cast<DialogSuite>(i)), &tables_[i]) << i;
    }
    EXPECT_EQ(unload_dialog_suites(in(), &out_), PF_Err_NONE);
    EXPECT_EQ(host_.suites_held(), 0);
    for (int i = 0; i < kDialogSuiteCount; ++i) {
        EXPECT_EQ(dialog_suite(static_cast<DialogSuite>(i)), nullptr) << i;
    }
    EXPECT_EQ(out_.out_flags, 0);
}

TEST_F(HostSuitesTest, LoadingStopsAtTheFirstMissingSuiteAndKeepsTheOnesBefore) {
    host_.leave_out_suite("ADM Image Suite");
    EXPECT_EQ(load_dialog_suites(in(), &out_), PF_Err_BAD_CALLBACK_PARAM);
    EXPECT_STREQ(out_.return_msg, "Couldn't load ADM Image suite.");
    EXPECT_EQ(out_.out_flags, PF_OutFlag_DISPLAY_ERROR_MESSAGE);
    EXPECT_EQ(host_.suites_held(), 3);
    EXPECT_EQ(host_.suite_acquisitions(), 3);
    EXPECT_NE(dialog_suite(DialogSuite::item), nullptr);
    EXPECT_EQ(dialog_suite(DialogSuite::image), nullptr);
    EXPECT_EQ(dialog_suite(DialogSuite::entry), nullptr);

    EXPECT_EQ(unload_dialog_suites(in(), &out_), PF_Err_NONE);
    EXPECT_EQ(host_.suites_held(), 0);
}

TEST_F(HostSuitesTest, UnloadingWithNothingHeldCallsNothing) {
    host_.set_basic_suite_present(false);
    EXPECT_EQ(unload_dialog_suites(in(), &out_), PF_Err_NONE);
    EXPECT_EQ(out_.out_flags, 0);
    EXPECT_STREQ(out_.return_msg, "");
}

TEST_F(HostSuitesTest, UnloadingGoesOnPastFailuresAndKeepsWhatItCouldNotRelease) {
    ASSERT_EQ(load_dialog_suites(in(), &out_), PF_Err_NONE);
    host_.set_basic_suite_present(false);
    EXPECT_EQ(unload_dialog_suites(in(), &out_), PF_Err_BAD_CALLBACK_PARAM);
    // Each failure overwrites the message: the last one attempted remains.
    EXPECT_STREQ(out_.return_msg, "Couldn't unload ADM Entry suite.");
    EXPECT_EQ(out_.out_flags, PF_OutFlag_DISPLAY_ERROR_MESSAGE);
    for (int i = 0; i < kDialogSuiteCount; ++i) {
        EXPECT_NE(dialog_suite(static_cast<DialogSuite>(i)), nullptr) << i;
    }
}

}  // namespace
