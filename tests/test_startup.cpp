// Start-up of the installer: the context's checks in order, the global
// kernel objects shared with other programs, and the message boxes the user
// sees, on Wine's real registry, kernel objects and windows.

#include "app/installer_context.h"
#include "app/instance_counter.h"
#include "app/application_id.h"
#include "app/language.h"
#include "dialog_watch.h"
#include "support/known_folder.h"
#include "support/registry.h"
#include "ui/message_box.h"

#include <gtest/gtest.h>
#include <knownfolders.h>

#include <memory>
#include <optional>

namespace {

const wchar_t* uninstall_key = L"Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\Tablewright 8";

// The language a start settles on with this "VtLanguage" stored, if any.
unsigned start_language(std::optional<DWORD> stored)
{
    if (stored)
        vt::set_dword(vt::create_key(HKEY_LOCAL_MACHINE, uninstall_key).get(), L"VtLanguage", *stored);
    installer_context context;
    EXPECT_TRUE(context.initialise());
    ::RegDeleteTreeW(HKEY_LOCAL_MACHINE, uninstall_key);
    return language_settings::instance().language;
}

// Every case starts from the same state, whatever ran before it: the
// processor checked and the installer speaking English.
class Startup : public ::testing::Test {
protected:
    void SetUp() override
    {
        processor_check_passed = true;
        set_language(language_english);
    }
};

} // namespace

TEST_F(Startup, FillsTheDefaultFoldersUnlessChosenAndLeavesQuickMode)
{
    {
        installer_context context;
        context.advanced_mode = true;
        ASSERT_TRUE(context.initialise());
        EXPECT_EQ(context.install_folder,
                  vt::known_folder(FOLDERID_ProgramFiles) + L"\\Vantrel Software\\Tablewright 8");
        EXPECT_EQ(context.start_menu_folder, vt::known_folder(FOLDERID_CommonPrograms));
        EXPECT_FALSE(context.advanced_mode);
        EXPECT_TRUE(context.instance_lock.owned());
    }
    installer_context chosen; // the lock of the first run is released
    chosen.install_folder = L"D:\\Apps\\Tablewright";
    chosen.start_menu_folder = L"C:\\Menu";
    ASSERT_TRUE(chosen.initialise());
    EXPECT_EQ(chosen.install_folder, L"D:\\Apps\\Tablewright");
    EXPECT_EQ(chosen.start_menu_folder, L"C:\\Menu");
}

TEST_F(Startup, StoredLanguageIsRestoredWhenTheInstallerSpeaksIt)
{
    EXPECT_EQ(start_language(2), 2u); // German
    EXPECT_EQ(start_language(15), language_english) << "Polish has no installer texts";
    EXPECT_EQ(start_language(1000), start_language({})) << "a value out of the table is ignored";
}

TEST_F(Startup, WithoutTheProcessorCheckNothingStarts)
{
    processor_check_passed = false;
    installer_context context;
    box_watcher watcher([](const seen_box&) { return IDOK; });
    EXPECT_FALSE(context.initialise());
    ASSERT_EQ(watcher.boxes().size(), 1u);
    EXPECT_EQ(watcher.boxes()[0].text, system_error_text(0x8000FFFF, 0));
    EXPECT_TRUE(context.install_folder.empty());
}

TEST_F(Startup, AnotherRunningProgramIsWaitedForWithRetry)
{
    // A second program of the product counts itself in the same semaphore.
    auto other = std::make_unique<instance_counter>(L"Global\\" + application_id() +
                                                    L".{a3526b56-ca7c-4e16-8a26-da7758a378fd}");
    instance_counter::instance();
    {
        installer_context context;
        box_watcher watcher([](const seen_box&) { return IDCANCEL; });
        EXPECT_FALSE(context.initialise());
        ASSERT_EQ(watcher.boxes().size(), 1u);
        const seen_box& box = watcher.boxes()[0];
        EXPECT_EQ(box.text, L"You should close 'Tablewright' before continuing Installation.");
        EXPECT_EQ(box.caption, L"Installer \u2013 Tablewright 8.11n");
        EXPECT_TRUE(context.install_folder.empty()) << "nothing may be settled after Cancel";
    }
    {
        installer_context context;
        int asked = 0;
        box_watcher watcher([&](const seen_box&) {
            if (++asked == 2)
                other.reset(); // the user closes the product, then presses Retry
            return IDRETRY;
        });
        EXPECT_TRUE(context.initialise());
        EXPECT_EQ(asked, 2);
    }
}

// A text given by its id, and without a caption the installer's own product
// name and version.
TEST(MessageBoxes, TextsFromIdsAndTheProductAsTheDefaultCaption)
{
    set_language(language_english);
    box_watcher watcher([](const seen_box&) { return IDOK; });
    message_box(1126u, L"", MB_OK);
    ASSERT_EQ(watcher.boxes().size(), 1u);
    EXPECT_EQ(watcher.boxes()[0].text,
              L"You should have Administrator Rights in order to proceed to Installation.");
    EXPECT_EQ(watcher.boxes()[0].caption, L"Tablewright 8.11n");
}
