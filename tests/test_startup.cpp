// Start-up of the installer: the context's checks in order, the global
// kernel objects shared with other programs, and the message boxes the user
// sees, on Wine's real registry, kernel objects and windows.

#include "app/installer_context.h"
#include "app/instance_counter.h"
#include "app/application_id.h"
#include "app/language.h"
#include "resources/product.h"
#include "app/version_text.h"
#include "dialog_watch.h"
#include "support/unique_any.h"
#include "ui/message_box.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <memory>
#include <regex>
#include <shlobj.h>

namespace {

const wchar_t* uninstall_key = L"Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\Tablewright 8";

// A stored "VtLanguage" for the length of a test.
class stored_language {
public:
    explicit stored_language(DWORD value)
    {
        vt::unique_hkey key;
        ::RegCreateKeyExW(HKEY_LOCAL_MACHINE, uninstall_key, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, key.put(),
                          nullptr);
        ::RegSetValueExW(key.get(), L"VtLanguage", 0, REG_DWORD, reinterpret_cast<const BYTE*>(&value),
                         sizeof(value));
    }
    ~stored_language() { ::RegDeleteTreeW(HKEY_LOCAL_MACHINE, uninstall_key); }
};

std::wstring known_folder(REFKNOWNFOLDERID id)
{
    PWSTR path = nullptr;
    ::SHGetKnownFolderPath(id, KF_FLAG_DONT_VERIFY, nullptr, &path);
    vt::unique_cotaskmem owned(path);
    return path ? path : L"";
}

unsigned start_language()
{
    installer_context context;
    processor_check_passed = true;
    EXPECT_TRUE(context.initialise());
    return language_settings::instance().language;
}

class Startup : public ::testing::Test {
protected:
    void SetUp() override { processor_check_passed = true; }
    void TearDown() override { set_language(language_english); }
};

} // namespace

TEST_F(Startup, FillsTheDefaultFoldersAndLeavesQuickMode)
{
    installer_context context;
    context.advanced_mode = true;
    ASSERT_TRUE(context.initialise());
    EXPECT_EQ(context.install_folder, known_folder(FOLDERID_ProgramFiles) + L"\\Vantrel Software\\Tablewright 8");
    EXPECT_EQ(context.start_menu_folder, known_folder(FOLDERID_CommonPrograms));
    EXPECT_FALSE(context.advanced_mode);
    EXPECT_TRUE(context.start_menu_shortcut);
    EXPECT_TRUE(context.desktop_shortcut);
    EXPECT_TRUE(context.instance_lock.owned());
}

TEST_F(Startup, KeepsFoldersThatAreAlreadyChosen)
{
    installer_context context;
    context.install_folder = L"D:\\Apps\\Tablewright";
    context.start_menu_folder = L"C:\\Menu";
    ASSERT_TRUE(context.initialise());
    EXPECT_EQ(context.install_folder, L"D:\\Apps\\Tablewright");
    EXPECT_EQ(context.start_menu_folder, L"C:\\Menu");
}

TEST_F(Startup, StoredLanguageIsRestoredWhenTheInstallerSpeaksIt)
{
    {
        stored_language german(2);
        EXPECT_EQ(start_language(), 2u);
    }
    {
        stored_language russian(23); // no installer texts: English
        EXPECT_EQ(start_language(), language_english);
    }
    {
        stored_language polish(15);
        EXPECT_EQ(start_language(), language_english);
    }
    unsigned from_locale = start_language();
    {
        stored_language damaged(1000); // out of the table: ignored
        EXPECT_EQ(start_language(), from_locale);
    }
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
        EXPECT_NE(std::find(box.buttons.begin(), box.buttons.end(), IDRETRY), box.buttons.end());
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

TEST_F(Startup, CaptionAndTemporaryFolderNames)
{
    installer_context context;
    set_language(language_english);
    EXPECT_EQ(context.caption(false), L"Installer");
    EXPECT_EQ(context.caption(true), L"Installer \u2013 Tablewright 8.11n");
    set_language(language_french);
    EXPECT_EQ(context.caption(true), L"Installeur \u2013 Tablewright 8.11n");

    std::wstring error;
    ASSERT_TRUE(context.make_temporary_folder(error));
    std::wstring first = context.temporary_folder;
    ASSERT_TRUE(context.make_temporary_folder(error));
    EXPECT_NE(first, context.temporary_folder);
    std::filesystem::path path(context.temporary_folder);
    EXPECT_EQ(path.parent_path(), std::filesystem::temp_directory_path().parent_path());
    EXPECT_TRUE(std::regex_match(path.filename().string(),
                                 std::regex(R"(vantrel_\{[0-9a-f]{8}-[0-9a-f]{4}-4[0-9a-f]{3}-[89ab][0-9a-f]{3}-[0-9a-f]{12}\})")))
        << path.filename().string();
    EXPECT_FALSE(std::filesystem::exists(path)) << "only the name is made";
}

TEST_F(Startup, PreviousInstallationHandsOutTheVersionTextOnlyForUpdatesAndNewerCopies)
{
    installer_context context;
    context.installed_version_text = L"Tablewright 8.11m";
    for (int state : {0, 1, 2, -1}) {
        context.previous_state = state;
        std::wstring version = L"unchanged";
        EXPECT_EQ(context.previous_installation(&version), state);
        EXPECT_EQ(version, (state == 2 || state == -1) ? L"Tablewright 8.11m" : L"unchanged");
    }
}

TEST(MessageBoxes, DefaultIconsFollowTheButtons)
{
    box_watcher watcher([](const seen_box& box) { return box.buttons.empty() ? IDCANCEL : box.buttons.front(); });
    message_box(L"notice", L"caption", MB_OK);
    message_box(L"question", L"caption", MB_YESNO);
    message_box(L"plain", L"caption", MB_ABORTRETRYIGNORE);
    message_box(L"user icon", L"caption", MB_OK | MB_USERICON);
    ASSERT_EQ(watcher.boxes().size(), 4u);
    EXPECT_TRUE(watcher.boxes()[0].has_icon);
    EXPECT_TRUE(watcher.boxes()[1].has_icon);
    EXPECT_FALSE(watcher.boxes()[2].has_icon);
    EXPECT_FALSE(watcher.boxes()[3].has_icon);
}

TEST(MessageBoxes, CaptionsAndTextsFromIdsAndFallbacks)
{
    set_language(language_english);
    box_watcher watcher([](const seen_box&) { return IDOK; });
    message_box(1126u, 1000u, MB_OK);
    message_box(L"text", L"", MB_OK);
    ASSERT_EQ(watcher.boxes().size(), 2u);
    EXPECT_EQ(watcher.boxes()[0].text, L"You should have Administrator Rights in order to proceed to Installation.");
    EXPECT_EQ(watcher.boxes()[0].caption, L"Installer");
    // Without a caption the installer's own product name and version stand there.
    EXPECT_EQ(watcher.boxes()[1].caption, version_text(vt::version_info::own()));
    EXPECT_EQ(watcher.boxes()[1].caption, L"Tablewright 8.11n");
}

TEST(MessageBoxes, OwnerIsTheActiveWindowAndIsUsableAfterwards)
{
    HWND frame = ::CreateWindowExW(0, L"STATIC", L"frame", WS_OVERLAPPEDWINDOW | WS_VISIBLE, 10, 10, 300, 200,
                                   nullptr, nullptr, nullptr, nullptr);
    ASSERT_TRUE(frame);
    ::SetActiveWindow(frame);
    EXPECT_EQ(find_modal_owner(), frame);
    ::EnableWindow(frame, FALSE); // as the wizard disables itself while it works
    box_watcher watcher([](const seen_box&) { return IDOK; });
    message_box(L"owned", L"caption", MB_OK);
    ASSERT_EQ(watcher.boxes().size(), 1u);
    EXPECT_EQ(watcher.boxes()[0].owner, frame);
    EXPECT_TRUE(::IsWindowEnabled(frame)) << "the box must return to a working window";
    ::DestroyWindow(frame);
    EXPECT_EQ(find_modal_owner(), nullptr);
}

TEST(MessageBoxes, StyleRulesForIconsAndReadingOrder)
{
    set_language(language_english);
    EXPECT_EQ(complete_message_style(MB_OK, nullptr), UINT(MB_OK | MB_ICONWARNING));
    EXPECT_EQ(complete_message_style(MB_OKCANCEL, nullptr), UINT(MB_OKCANCEL | MB_ICONWARNING));
    EXPECT_EQ(complete_message_style(MB_YESNO | MB_DEFBUTTON2, nullptr), UINT(MB_YESNO | MB_DEFBUTTON2 | MB_ICONQUESTION));
    EXPECT_EQ(complete_message_style(MB_YESNOCANCEL, nullptr), UINT(MB_YESNOCANCEL | MB_ICONQUESTION));
    EXPECT_EQ(complete_message_style(MB_RETRYCANCEL, nullptr), UINT(MB_RETRYCANCEL));
    EXPECT_EQ(complete_message_style(MB_OK | MB_ICONINFORMATION, nullptr), UINT(MB_OK | MB_ICONINFORMATION));
    EXPECT_EQ(complete_message_style(MB_OK | MB_USERICON, nullptr), UINT(MB_OK));

    // Without owner the language decides; with one, the owner's layout does.
    set_language(21);
    EXPECT_TRUE(complete_message_style(MB_OK, nullptr) & MB_RTLREADING);
    HWND left_to_right = ::CreateWindowExW(0, L"STATIC", L"", WS_POPUP, 0, 0, 10, 10, nullptr, nullptr, nullptr, nullptr);
    HWND right_to_left = ::CreateWindowExW(WS_EX_LAYOUTRTL, L"STATIC", L"", WS_POPUP, 0, 0, 10, 10, nullptr, nullptr,
                                           nullptr, nullptr);
    EXPECT_FALSE(complete_message_style(MB_OK, left_to_right) & MB_RTLREADING);
    set_language(language_english);
    EXPECT_FALSE(complete_message_style(MB_OK, nullptr) & MB_RTLREADING);
    EXPECT_TRUE(complete_message_style(MB_OK, right_to_left) & MB_RTLREADING);
    ::DestroyWindow(left_to_right);
    ::DestroyWindow(right_to_left);
}

TEST(SystemErrorText, TrimsAndFallsBack)
{
    std::wstring not_found = system_error_text(ERROR_FILE_NOT_FOUND, 0);
    ASSERT_FALSE(not_found.empty());
    EXPECT_TRUE(std::wstring(L" \r\n\t").find(not_found.back()) == std::wstring::npos);
    EXPECT_EQ(system_error_text(0x2000ABCD, 0), system_error_text(E_FAIL, 0));
    EXPECT_FALSE(system_error_text(ERROR_FILE_NOT_FOUND, 0x0419).empty());
    EXPECT_EQ(system_error_text(ERROR_FILE_NOT_FOUND, 0x0436), not_found) << "a language without texts falls back";
    EXPECT_FALSE(system_error_text(ERROR_BUSY, 0).empty());
}

TEST(WindowUtilities, EditClassIsRecognisedWithoutRegardToCase)
{
    HWND edit = ::CreateWindowExW(0, L"eDiT", L"", WS_POPUP, 0, 0, 10, 10, nullptr, nullptr, nullptr, nullptr);
    HWND button = ::CreateWindowExW(0, L"BUTTON", L"", WS_POPUP, 0, 0, 10, 10, nullptr, nullptr, nullptr, nullptr);
    EXPECT_TRUE(is_edit_class(edit));
    EXPECT_FALSE(is_edit_class(button));
    ::DestroyWindow(edit);
    ::DestroyWindow(button);
}

TEST(Product, IdentityOfThisInstaller)
{
    EXPECT_EQ(product_title(0x0308), L"Tablewright 8");
    EXPECT_THROW(product_title(0x0999), std::system_error);
    EXPECT_EQ(product_name(false), L"Tablewright");
    EXPECT_EQ(product_name(true), L"Tablewright 8.11n");
    EXPECT_EQ(application_id(), L"Tablewright8");
    EXPECT_EQ(vt::version_info::own().file_version(), product_file_version);
    EXPECT_EQ(vt::version_info::own().translations(), std::vector<std::wstring>{L"040904b0"});
}
