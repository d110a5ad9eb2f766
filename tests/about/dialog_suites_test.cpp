// The emulated host's dialog suites on their own, as any module would use them.
#include <gtest/gtest.h>

#include <string>

#include "host/dialog_suites.h"

namespace {

template <typename Table>
const Table& suite(const char* name) {
    for (const host::DialogSuiteEntry& entry : host::dialog_suite_entries()) {
        if (std::string(entry.name) == name) {
            return *static_cast<const Table*>(entry.table);
        }
    }
    throw std::runtime_error(std::string("no suite ") + name);
}

const ADMDialogSuite5& dialogs() {
    return suite<ADMDialogSuite5>(ADM_DIALOG_SUITE_NAME);
}

const ADMItemSuite4& items() {
    return suite<ADMItemSuite4>(ADM_ITEM_SUITE_NAME);
}

constexpr ADMRect kButtonBounds = {10, 10, 70, 35};

// A dialog with a button 1 that closes it and a button 2 that counts its presses.
int counted_presses = 0;

A_long build_two_buttons(ADMDialogRef dialog) {
    ADMItemRef close = items().create(dialog, 1, ADM_TEXT_PUSH_BUTTON_TYPE, &kButtonBounds);
    ADMItemRef count = items().create(dialog, 2, ADM_TEXT_PUSH_BUTTON_TYPE, &kButtonBounds);
    items().set_notify_proc(close, [](ADMItemRef item) {
        dialogs().end_modal(items().get_dialog(item), items().get_id(item));
    });
    items().set_notify_proc(count, [](ADMItemRef) { ++counted_presses; });
    return 1;
}

class DialogSuitesTest : public ::testing::Test {
  protected:
    void SetUp() override {
        host::dialog_host().clear();
        counted_presses = 0;
    }
};

TEST_F(DialogSuitesTest, TheSevenSuitesAreServedUnderTheirNamesAndVersions) {
    const auto entries = host::dialog_suite_entries();
    ASSERT_EQ(entries.size(), 7u);
    const std::pair<const char*, A_long> expected[] = {
        {"ADM Basic Suite", 2}, {"ADM Dialog Suite", 5}, {"ADM Item Suite", 4},
        {"ADM Image Suite", 1}, {"ADM Drawer Suite", 3}, {"ADM List Suite", 1},
        {"ADM Entry Suite", 2},
    };
    for (std::size_t i = 0; i < entries.size(); ++i) {
        EXPECT_STREQ(entries[i].name, expected[i].first);
        EXPECT_EQ(entries[i].version, expected[i].second);
        EXPECT_NE(entries[i].table, nullptr);
        for (std::size_t j = 0; j < i; ++j) {
            EXPECT_NE(entries[i].table, entries[j].table) << entries[i].name;
        }
    }
}

TEST_F(DialogSuitesTest, PressesRunUntilAButtonEndsTheDialog) {
    host::dialog_host().button_presses = {2, 9, 2, 1, 2};

    EXPECT_EQ(dialogs().run_modal("Two buttons", build_two_buttons, nullptr), 1);

    // The press on an id the dialog lacks is recorded and does nothing; the press after the
    // closing one is left for whatever opens next.
    EXPECT_EQ(counted_presses, 2);
    const host::DialogRecord& record = host::dialog_host().dialogs.at(0);
    EXPECT_EQ(record.presses, (std::vector<A_long>{2, 9, 2, 1}));
    EXPECT_EQ(record.result, 1);
    EXPECT_EQ(host::dialog_host().button_presses, std::deque<A_long>{2});
}

TEST_F(DialogSuitesTest, ARefusedInitialisationShowsNothingAndTakesNoPress) {
    host::dialog_host().button_presses = {1};

    EXPECT_EQ(dialogs().run_modal(
                  "Refused", [](ADMDialogRef) -> A_long { return 0; }, nullptr),
              ADM_NO_DIALOG);

    const host::DialogRecord& record = host::dialog_host().dialogs.at(0);
    EXPECT_FALSE(record.shown);
    EXPECT_EQ(record.result, ADM_NO_DIALOG);
    EXPECT_EQ(host::dialog_host().button_presses.size(), 1u);
}

TEST_F(DialogSuitesTest, UnknownItemKindsAreRefusedAndUserDataComesBack) {
    static int owner = 0;
    static bool checked = false;
    checked = false;
    dialogs().run_modal(
        "Kinds",
        [](ADMDialogRef dialog) -> A_long {
            EXPECT_EQ(items().create(dialog, 4, "ADM Spinning Wheel Type", &kButtonBounds),
                      nullptr);
            EXPECT_NE(items().create(dialog, 5, ADM_TEXT_STATIC_TYPE, &kButtonBounds), nullptr);
            EXPECT_EQ(dialogs().get_user_data(dialog), &owner);
            checked = true;
            return 1;
        },
        &owner);

    EXPECT_TRUE(checked);
    const host::DialogRecord& record = host::dialog_host().dialogs.at(0);
    ASSERT_EQ(record.items.size(), 1u);
    EXPECT_EQ(record.items[0].id, 5);
    EXPECT_FALSE(record.items[0].has_action);
}

TEST_F(DialogSuitesTest, AlertsAreRecordedAndPassedOn) {
    std::vector<std::string> seen;
    host::dialog_host().on_alert = [&seen](const std::string& text) { seen.push_back(text); };

    suite<ADMBasicSuite2>(ADM_BASIC_SUITE_NAME).alert("Something to say");

    host::dialog_host().on_alert = nullptr;
    EXPECT_EQ(host::dialog_host().alerts, std::vector<std::string>{"Something to say"});
    EXPECT_EQ(seen, std::vector<std::string>{"Something to say"});
}

}  // namespace
