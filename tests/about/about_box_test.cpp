// The About command of the built module, driven through the emulated host: the dialog it builds,
// the suites it holds, and what its Help button does with and without the help page.
#include <dlfcn.h>
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>

#include "host/desktop_recorder.h"
#include "host/dialog_suites.h"
#include "host/emulated_host.h"

namespace fs = std::filesystem;

namespace {

constexpr A_long kOk = 1;
constexpr A_long kHelp = 3;
constexpr A_long kCredits = 6;

// A plug-in folder of its own for every test, holding a copy of the built module, so that the
// help page can be present or not and every test starts from a freshly loaded module.
class AboutBoxTest : public ::testing::Test {
  protected:
    void SetUp() override {
        char pattern[] = "/tmp/qb_about_XXXXXX";
        ASSERT_NE(mkdtemp(pattern), nullptr);
        folder_ = pattern;
        fs::copy_file(fs::path(QB_PLUGIN_DIR) / "QuilAE.aex", folder_ / "QuilAE.aex");
        host::dialog_host().clear();
        host::desktop_record().opened_documents.clear();
        host::desktop_record().shell_open_result = 0;
    }

    void TearDown() override {
        host_.reset();
        fs::remove_all(folder_);
    }

    host::EmulatedHost& load_module() {
        host_ = std::make_unique<host::EmulatedHost>((folder_ / "QuilAE.aex").string());
        host::register_dialog_suites(*host_);
        return *host_;
    }

    void write_help_page() const {
        fs::create_directories(folder_ / "help");
        std::ofstream(folder_ / "help" / "index.html") << "<!DOCTYPE html><title>help</title>\n";
    }

    std::string help_page_path() const { return (folder_ / "help" / "index.html").string(); }

    static void press(std::initializer_list<A_long> buttons) {
        host::dialog_host().button_presses.assign(buttons);
    }

    static const host::DialogRecord& only_dialog() {
        const auto& dialogs = host::dialog_host().dialogs;
        EXPECT_EQ(dialogs.size(), 1u);
        return dialogs.front();
    }

    fs::path folder_;
    std::unique_ptr<host::EmulatedHost> host_;
};

void expect_item(const host::DialogRecord& dialog, A_long id, const char* type, ADMRect bounds) {
    const host::DialogItemRecord* item = dialog.item(id);
    ASSERT_NE(item, nullptr) << "item " << id;
    EXPECT_EQ(item->type, type) << "item " << id;
    EXPECT_EQ(item->bounds.left, bounds.left) << "item " << id;
    EXPECT_EQ(item->bounds.top, bounds.top) << "item " << id;
    EXPECT_EQ(item->bounds.right, bounds.right) << "item " << id;
    EXPECT_EQ(item->bounds.bottom, bounds.bottom) << "item " << id;
}

TEST_F(AboutBoxTest, ShowsTheDialogAndHoldsNoSuiteAfterwards) {
    host::EmulatedHost& host = load_module();
    ASSERT_EQ(host.global_setup(), PF_Err_NONE);
    press({kOk, kHelp});

    EXPECT_EQ(host.about(), PF_Err_NONE);

    const host::DialogRecord& dialog = only_dialog();
    EXPECT_TRUE(dialog.shown);
    EXPECT_EQ(dialog.name, "About Quillbloom8.0");
    EXPECT_EQ(dialog.title, "About Quillbloom8.0");
    EXPECT_EQ(dialog.width, 400);
    EXPECT_EQ(dialog.height, 495);
    ASSERT_EQ(dialog.items.size(), 3u);
    expect_item(dialog, kOk, ADM_TEXT_PUSH_BUTTON_TYPE, {330, 460, 390, 485});
    expect_item(dialog, kHelp, ADM_TEXT_PUSH_BUTTON_TYPE, {260, 460, 320, 485});
    expect_item(dialog, kCredits, ADM_TEXT_STATIC_TYPE, {10, 310, 390, 400});
    EXPECT_EQ(dialog.item(kOk)->text, "OK");
    EXPECT_EQ(dialog.item(kHelp)->text, "Help");
    EXPECT_TRUE(dialog.item(kOk)->has_action);
    EXPECT_TRUE(dialog.item(kHelp)->has_action);
    for (const char* library : {"libtiff", "OpenMP", "OpenImageIO", "CLI11", "fmt"}) {
        EXPECT_NE(dialog.item(kCredits)->text.find(library), std::string::npos) << library;
    }

    // OK ends the dialog at once: the Help press after it never reaches it.
    EXPECT_EQ(dialog.result, kOk);
    EXPECT_EQ(dialog.presses, std::vector<A_long>{kOk});
    EXPECT_EQ(host::dialog_host().button_presses.size(), 1u);
    EXPECT_TRUE(host::dialog_host().alerts.empty());
    EXPECT_TRUE(host::desktop_record().opened_documents.empty());

    EXPECT_EQ(host.suite_acquisitions(), 7);
    EXPECT_EQ(host.suites_held(), 0);
    EXPECT_EQ(host.out_data().out_flags & PF_OutFlag_DISPLAY_ERROR_MESSAGE, 0);
    EXPECT_STREQ(host.out_data().return_msg, "");
}

TEST_F(AboutBoxTest, ClosingTheWindowWithoutAButtonStillReleasesTheSuites) {
    host::EmulatedHost& host = load_module();
    ASSERT_EQ(host.global_setup(), PF_Err_NONE);

    EXPECT_EQ(host.about(), PF_Err_NONE);

    EXPECT_EQ(only_dialog().result, host::kDialogClosedByWindow);
    EXPECT_EQ(host.suites_held(), 0);
}

// Each missing suite stops the loading there: the suites before it are released again, nothing
// is shown, and the command still succeeds with the failure left for the host to display.
TEST_F(AboutBoxTest, AMissingDialogSuiteShowsNothingAndReleasesTheOthers) {
    const auto suites = host::dialog_suite_entries();
    const char* const messages[] = {
        "Couldn't load ADM Basic suite.",  "Couldn't load ADM Dialog suite.",
        "Couldn't load ADM Item suite.",   "Couldn't load ADM Image suite.",
        "Couldn't load ADM Drawer suite.", "Couldn't load ADM List suite.",
        "Couldn't load ADM Entry suite.",
    };
    ASSERT_EQ(suites.size(), std::size(messages));
    host::EmulatedHost& host = load_module();
    ASSERT_EQ(host.global_setup(), PF_Err_NONE);
    for (std::size_t missing = 0; missing < suites.size(); ++missing) {
        SCOPED_TRACE(suites[missing].name);
        host::register_dialog_suites(host);
        host.leave_out_suite(suites[missing].name);
        host::dialog_host().clear();
        press({kOk});
        const int acquired_before = host.suite_acquisitions();

        EXPECT_EQ(host.about(), PF_Err_NONE);

        EXPECT_TRUE(host::dialog_host().dialogs.empty());
        EXPECT_EQ(host.suite_acquisitions() - acquired_before, static_cast<int>(missing));
        EXPECT_EQ(host.suites_held(), 0);
        EXPECT_STREQ(host.out_data().return_msg, messages[missing]);
        EXPECT_NE(host.out_data().out_flags & PF_OutFlag_DISPLAY_ERROR_MESSAGE, 0);
    }
}

TEST_F(AboutBoxTest, AHostWithoutABasicSuiteGetsTheFirstLoadFailure) {
    host::EmulatedHost& host = load_module();
    ASSERT_EQ(host.global_setup(), PF_Err_NONE);
    host.set_basic_suite_present(false);

    EXPECT_EQ(host.about(), PF_Err_NONE);

    EXPECT_TRUE(host::dialog_host().dialogs.empty());
    EXPECT_STREQ(host.out_data().return_msg, "Couldn't load ADM Basic suite.");
    EXPECT_NE(host.out_data().out_flags & PF_OutFlag_DISPLAY_ERROR_MESSAGE, 0);
}

TEST_F(AboutBoxTest, HelpWithoutThePageAlertsAndLeavesTheShellAlone) {
    host::EmulatedHost& host = load_module();
    ASSERT_EQ(host.global_setup(), PF_Err_NONE);
    // No help folder, an empty one, and a folder where the page should be.
    for (const auto& prepare : std::initializer_list<void (*)(const fs::path&)>{
             [](const fs::path&) {},
             [](const fs::path& folder) { fs::create_directories(folder / "help"); },
             [](const fs::path& folder) {
                 fs::create_directories(folder / "help" / "index.html");
             }}) {
        prepare(folder_);
        host::dialog_host().clear();
        press({kHelp, kOk});

        EXPECT_EQ(host.about(), PF_Err_NONE);

        EXPECT_EQ(host::dialog_host().alerts,
                  std::vector<std::string>{"Glimmerdeep: Help file not found"});
        EXPECT_TRUE(host::desktop_record().opened_documents.empty());
        // The alert leaves the dialog open until OK.
        EXPECT_EQ(only_dialog().result, kOk);
        EXPECT_EQ(host.suites_held(), 0);
    }
}

TEST_F(AboutBoxTest, HelpOpensThePageBesideTheModuleOnce) {
    write_help_page();
    host::EmulatedHost& host = load_module();
    ASSERT_EQ(host.global_setup(), PF_Err_NONE);
    press({kHelp, kOk});

    EXPECT_EQ(host.about(), PF_Err_NONE);

    EXPECT_EQ(host::desktop_record().opened_documents, std::vector<std::string>{help_page_path()});
    EXPECT_TRUE(host::dialog_host().alerts.empty());
    EXPECT_EQ(host.suites_held(), 0);
}

TEST_F(AboutBoxTest, HelpSaysSoWhenNoApplicationTakesThePage) {
    write_help_page();
    host::EmulatedHost& host = load_module();
    ASSERT_EQ(host.global_setup(), PF_Err_NONE);
    host::desktop_record().shell_open_result = 1;
    press({kHelp, kOk});

    EXPECT_EQ(host.about(), PF_Err_NONE);

    EXPECT_EQ(host::desktop_record().opened_documents.size(), 1u);
    ASSERT_EQ(host::dialog_host().alerts.size(), 1u);
    const std::string& alert = host::dialog_host().alerts.front();
    EXPECT_EQ(alert.rfind("[Quillbloom8.0] No application could open the help page.", 0), 0u)
        << alert;
    EXPECT_NE(alert.find(help_page_path()), std::string::npos) << alert;
}

TEST_F(AboutBoxTest, AboutAsTheFirstCommandStillFindsThePageBesideTheModule) {
    write_help_page();
    host::EmulatedHost& host = load_module();
    press({kHelp, kOk});

    EXPECT_EQ(host.about(), PF_Err_NONE);

    EXPECT_EQ(host::desktop_record().opened_documents, std::vector<std::string>{help_page_path()});
    EXPECT_TRUE(host::dialog_host().alerts.empty());
}

// The barest host: the module's `main` and an in-record holding nothing but a basic suite that
// serves the dialog suites. Without utility callbacks the module cannot learn its folder.
int bare_host_suites_held = 0;

SPErr bare_acquire(const char* name, A_long version, const void** suite) {
    *suite = nullptr;
    for (const host::DialogSuiteEntry& entry : host::dialog_suite_entries()) {
        if (std::string(entry.name) == name && entry.version == version) {
            *suite = entry.table;
            ++bare_host_suites_held;
            return kSPNoError;
        }
    }
    return kSPSuiteNotFoundError;
}

SPErr bare_release(const char*, A_long) {
    --bare_host_suites_held;
    return kSPNoError;
}

TEST_F(AboutBoxTest, ABareHostGetsTheBoxAndAnHonestAlertFromHelp) {
    write_help_page();
    void* module = dlopen((folder_ / "QuilAE.aex").c_str(), RTLD_NOW | RTLD_LOCAL);
    ASSERT_NE(module, nullptr) << dlerror();
    const auto entry = reinterpret_cast<PF_EffectMain>(dlsym(module, PF_ENTRY_POINT_NAME));
    ASSERT_NE(entry, nullptr);
    SPBasicSuite basic = {bare_acquire, bare_release};
    PF_InData in_data = {};
    in_data.pica_basicP = &basic;
    PF_OutData out_data = {};
    press({kHelp, kOk});

    EXPECT_EQ(entry(PF_Cmd_ABOUT, &in_data, &out_data, nullptr, nullptr, nullptr), PF_Err_NONE);

    EXPECT_EQ(only_dialog().items.size(), 3u);
    EXPECT_EQ(only_dialog().result, kOk);
    EXPECT_EQ(host::dialog_host().alerts,
              std::vector<std::string>{"Glimmerdeep: Help file not found"});
    EXPECT_TRUE(host::desktop_record().opened_documents.empty());
    EXPECT_EQ(bare_host_suites_held, 0);
    dlclose(module);
}

// The build's own plug-in folder, as a user gets it: the page is there and Help opens it.
TEST(BuiltPluginFolder, HelpOpensTheInstalledPage) {
    const fs::path page = fs::path(QB_PLUGIN_DIR) / "help" / "index.html";
    ASSERT_TRUE(fs::is_regular_file(page)) << page;
    host::dialog_host().clear();
    host::desktop_record().opened_documents.clear();
    host::desktop_record().shell_open_result = 0;
    host::EmulatedHost host((fs::path(QB_PLUGIN_DIR) / "QuilAE.aex").string());
    host::register_dialog_suites(host);
    ASSERT_EQ(host.global_setup(), PF_Err_NONE);
    host::dialog_host().button_presses.assign({kHelp, kOk});

    EXPECT_EQ(host.about(), PF_Err_NONE);

    ASSERT_EQ(host::desktop_record().opened_documents.size(), 1u);
    EXPECT_TRUE(fs::equivalent(host::desktop_record().opened_documents.front(), page));
    EXPECT_TRUE(host::dialog_host().alerts.empty());
}

}  // namespace
