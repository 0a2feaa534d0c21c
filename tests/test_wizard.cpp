// The installer's wizard as the user meets it: the real frame and pages made
// from the installer's own templates, run modal under Wine and worked with
// the messages that clicks, typing and list choices produce.

#include "app/installer_context.h"
#include "app/language.h"
#include "resources/product.h"
#include "dialog_watch.h"
#include "resources/dialog_ids.h"
#include "support/unique_any.h"
#include "ui/dlg_end.h"
#include "ui/dlg_install.h"
#include "ui/dlg_main.h"
#include "ui/dlg_start.h"
#include "ui/window_utilities.h"
#include "wizard_driver.h"

#include <commctrl.h>
#include <gtest/gtest.h>
#include <knownfolders.h>
#include <shlobj.h>

#include <cstdint>
#include <filesystem>
#include <optional>
#include <stdexcept>
#include <vector>

namespace {

constexpr const wchar_t* size_key = L"Software\\Vantrel Software";

std::wstring program_files()
{
    PWSTR path = nullptr;
    ::SHGetKnownFolderPath(FOLDERID_ProgramFiles, KF_FLAG_DONT_VERIFY, nullptr, &path);
    vt::unique_cotaskmem owned(path);
    return path ? path : L"";
}

void forget_size()
{
    ::RegDeleteKeyValueW(HKEY_CURRENT_USER, size_key, L"InstallerSize");
}

void store_raw_size(DWORD type, const void* data, DWORD bytes)
{
    vt::unique_hkey key;
    ASSERT_EQ(::RegCreateKeyExW(HKEY_CURRENT_USER, size_key, 0, nullptr, 0, KEY_SET_VALUE, nullptr, key.put(),
                                nullptr),
              ERROR_SUCCESS);
    ASSERT_EQ(::RegSetValueExW(key.get(), L"InstallerSize", 0, type, static_cast<const BYTE*>(data), bytes),
              ERROR_SUCCESS);
}

void store_size(int width, int height)
{
    std::int32_t size[2] = {width, height};
    store_raw_size(REG_BINARY, size, sizeof(size));
}

SIZE outer_size(HWND window)
{
    RECT rect = window_rect(window);
    return {rect.right - rect.left, rect.bottom - rect.top};
}

POINT centre(HWND window)
{
    RECT rect = window_rect(window);
    return {(rect.left + rect.right) / 2, (rect.top + rect.bottom) / 2};
}

std::vector<std::wstring> lines(const std::wstring& text)
{
    std::vector<std::wstring> result;
    std::size_t begin = 0;
    for (std::size_t end; (end = text.find(L"\r\n", begin)) != std::wstring::npos; begin = end + 2)
        result.push_back(text.substr(begin, end - begin));
    if (begin < text.size())
        result.push_back(text.substr(begin));
    return result;
}

int default_button(HWND frame)
{
    return LOWORD(::SendMessageW(frame, DM_GETDEFID, 0, 0));
}

// The frame's rectangle of a control, in the frame's client coordinates.
RECT rect_in(HWND frame, HWND control)
{
    RECT rect{};
    ::GetWindowRect(control, &rect);
    ::MapWindowPoints(nullptr, frame, reinterpret_cast<POINT*>(&rect), 2);
    return rect;
}

// Whether a control shows all of its text, measured with the control's own
// font the way the control lays it out. Texts shortened on purpose (path
// ellipsis) and controls without text count as fitting.
bool text_fits(HWND control, std::string& measure)
{
    std::wstring text = get_window_text(control);
    if (text.empty())
        return true;
    wchar_t name[32] = {};
    ::GetClassNameW(control, name, 32);
    LONG style = ::GetWindowLongW(control, GWL_STYLE);
    RECT client{};
    ::GetClientRect(control, &client);
    int width = client.right;
    int height = client.bottom;
    UINT format = DT_CALCRECT;
    if (::lstrcmpiW(name, L"Static") == 0) {
        if (style & (SS_PATHELLIPSIS | SS_ENDELLIPSIS | SS_WORDELLIPSIS))
            return true;
        LONG type = style & SS_TYPEMASK;
        if (type == SS_LEFT || type == SS_RIGHT || type == SS_CENTER)
            format |= DT_WORDBREAK;
        else if (type == SS_LEFTNOWORDWRAP)
            format |= DT_SINGLELINE;
        else
            return true;
        if (style & SS_NOPREFIX)
            format |= DT_NOPREFIX;
    } else if (::lstrcmpiW(name, L"Button") == 0) {
        format |= DT_SINGLELINE;
        switch (style & BS_TYPEMASK) {
        case BS_PUSHBUTTON:
        case BS_DEFPUSHBUTTON: width -= 8; break;   // edges and focus frame
        case BS_GROUPBOX: width -= 16; break;       // the frame's corners
        default: width -= 17; break;                // check box or radio button
        }
    } else {
        return true;
    }
    HDC dc = ::GetDC(control);
    HGDIOBJ old = ::SelectObject(dc, reinterpret_cast<HGDIOBJ>(::SendMessageW(control, WM_GETFONT, 0, 0)));
    RECT needed{0, 0, width, 0};
    ::DrawTextW(dc, text.c_str(), int(text.size()), &needed, format);
    ::SelectObject(dc, old);
    ::ReleaseDC(control, dc);
    measure = "needs " + std::to_string(needed.right) + "x" + std::to_string(needed.bottom) + ", has " +
              std::to_string(width) + "x" + std::to_string(height);
    return needed.right <= width && needed.bottom <= height;
}

std::string narrow(const std::wstring& text)
{
    std::string result;
    for (wchar_t c : text)
        result += c < 128 ? char(c) : '?';
    return result;
}

class Wizard : public ::testing::Test {
protected:
    void SetUp() override
    {
        auto& context = installer_context::instance();
        context.finished = false;
        context.advanced_mode = false;
        context.previous_state = 0;
        context.installed_version_text.clear();
        context.start_menu_shortcut = true;
        context.desktop_shortcut = true;
        context.install_folder = program_files() + L"\\Vantrel Software\\Tablewright 8";
        set_language(language_english);
        forget_size();
    }
    void TearDown() override
    {
        set_language(language_english);
        forget_size();
    }
};

} // namespace

TEST_F(Wizard, QuickInstallationSkipsTheOptionsPageBothWays)
{
    run_wizard([](HWND frame) {
        EXPECT_EQ(visible_page(), 0);
        EXPECT_FALSE(enabled(frame, IDC_BACK));
        EXPECT_TRUE(enabled(frame, IDC_NEXT));
        EXPECT_EQ(control_text(frame, IDC_NEXT), L"Next >");
        EXPECT_EQ(control_text(frame, IDC_BACK), L"< Back");
        EXPECT_EQ(control_text(frame, IDC_EXIT), L"Cancel");

        click(frame, IDC_NEXT);
        EXPECT_EQ(visible_page(), 1);
        EXPECT_TRUE(enabled(frame, IDC_BACK));
        EXPECT_EQ(::IsDlgButtonChecked(page(1), IDC_QUICK), BST_CHECKED);

        click(frame, IDC_NEXT);
        EXPECT_EQ(visible_page(), 3);
        EXPECT_EQ(control_text(frame, IDC_NEXT), L"Install");
        EXPECT_TRUE(enabled(frame, IDC_BACK));
        EXPECT_TRUE(enabled(frame, IDC_NEXT));
        EXPECT_EQ(::GetFocus(), ::GetDlgItem(frame, IDC_NEXT));
        EXPECT_EQ(default_button(frame), IDC_NEXT);
        EXPECT_EQ(control_text(page(3), IDC_STATUS), L"Click on 'Install' to start Installation.");
        EXPECT_FALSE(::IsWindowVisible(::GetDlgItem(page(3), IDC_PROGRESS)));

        click(frame, IDC_BACK);
        EXPECT_EQ(visible_page(), 1);
        EXPECT_EQ(control_text(frame, IDC_NEXT), L"Next >");
        click(frame, IDC_BACK);
        EXPECT_EQ(visible_page(), 0);
        EXPECT_FALSE(enabled(frame, IDC_BACK));
    });
}

TEST_F(Wizard, AdvancedInstallationGoesThroughTheOptionsPage)
{
    auto& context = installer_context::instance();
    run_wizard([&context](HWND frame) {
        click(frame, IDC_NEXT);
        click(page(1), IDC_ADVANCED);
        EXPECT_TRUE(context.advanced_mode);
        click(frame, IDC_NEXT);
        EXPECT_EQ(visible_page(), 2);
        EXPECT_EQ(control_text(page(2), IDC_STATUS), L"Click on 'Next' to continue.");
        click(frame, IDC_NEXT);
        EXPECT_EQ(visible_page(), 3);
        click(frame, IDC_BACK);
        EXPECT_EQ(visible_page(), 2);
        click(frame, IDC_BACK);
        EXPECT_EQ(visible_page(), 1);

        click(page(1), IDC_QUICK);
        EXPECT_FALSE(context.advanced_mode);
        click(frame, IDC_NEXT);
        EXPECT_EQ(visible_page(), 3);
        click(frame, IDC_BACK);
        EXPECT_EQ(visible_page(), 1);
    });
}

TEST_F(Wizard, ModePageShowsTheModeChosenBefore)
{
    installer_context::instance().advanced_mode = true;
    run_wizard([](HWND) {
        EXPECT_EQ(::IsDlgButtonChecked(page(1), IDC_ADVANCED), BST_CHECKED);
        EXPECT_EQ(::IsDlgButtonChecked(page(1), IDC_QUICK), BST_UNCHECKED);
    });
}

// An installation that has succeeded (finished set, as a successful run
// leaves it) turns Install into Next, leads to the end page and lets the
// user leave without a question.
TEST_F(Wizard, AfterTheInstallationTheEndPageLeavesAndBackShowsTheLog)
{
    auto& context = installer_context::instance();
    INT_PTR result = run_wizard([&context](HWND frame) {
        click(frame, IDC_NEXT);
        click(frame, IDC_NEXT);
        ASSERT_EQ(visible_page(), 3);
        context.finished = true;
        click(frame, IDC_NEXT);
        EXPECT_EQ(visible_page(), 4);
        EXPECT_TRUE(enabled(frame, IDC_BACK));
        EXPECT_FALSE(enabled(frame, IDC_NEXT));
        EXPECT_EQ(::GetFocus(), ::GetDlgItem(frame, IDC_EXIT));
        EXPECT_EQ(default_button(frame), IDC_EXIT);
        EXPECT_EQ(control_text(frame, IDC_EXIT), L"Exit");
        EXPECT_EQ(control_text(page(4), IDC_STATUS), L"Click on 'Exit' to exit Installation.");

        box_watcher boxes([](const seen_box&) { return IDNO; });
        click(frame, IDC_BACK);
        EXPECT_EQ(visible_page(), 3);
        EXPECT_FALSE(enabled(frame, IDC_BACK));
        EXPECT_TRUE(enabled(frame, IDC_NEXT));
        EXPECT_EQ(control_text(frame, IDC_NEXT), L"Next >");
        click(frame, IDC_NEXT);
        // Enter on the end page is Exit, and leaving asks nothing.
        MSG enter{};
        enter.hwnd = ::GetFocus();
        enter.message = WM_KEYDOWN;
        enter.wParam = VK_RETURN;
        ::IsDialogMessageW(frame, &enter);
        EXPECT_FALSE(::IsWindowVisible(frame));
        EXPECT_TRUE(boxes.boxes().empty());
    });
    EXPECT_EQ(result, 1);
}

TEST_F(Wizard, ExitAsksBeforeLeavingAnUnfinishedInstallation)
{
    INT_PTR result = run_wizard([](HWND frame) {
        std::vector<seen_box> seen;
        dialog_script no([&seen](HWND box) {
            seen.push_back(read_box(box));
            click(box, IDNO);
        });
        click(frame, IDC_EXIT);
        ASSERT_EQ(seen.size(), 1u);
        const seen_box& question = seen.front();
        EXPECT_EQ(question.text, L"Installation is not complete.\n\nDo you still confirm exit Installation ?");
        EXPECT_EQ(question.caption, L"Installer \u2013 Tablewright 8.11n");
        EXPECT_EQ(question.buttons, (std::vector<int>{IDYES, IDNO}));
        EXPECT_EQ(question.default_button, IDNO);
        EXPECT_TRUE(question.has_icon);
        EXPECT_EQ(question.owner, frame);
        EXPECT_TRUE(::IsWindowVisible(frame)) << "No keeps the wizard open";
    });
    EXPECT_EQ(result, -1);

    result = run_wizard([](HWND frame) {
        click(frame, IDC_NEXT);
        box_watcher yes([](const seen_box&) { return IDYES; });
        // The close box arrives as Exit too, through the dialog manager.
        ::SendMessageW(frame, WM_SYSCOMMAND, SC_CLOSE, 0);
        pump_messages();
        EXPECT_EQ(yes.boxes().size(), 1u);
        EXPECT_FALSE(::IsWindowVisible(frame));
    });
    EXPECT_EQ(result, 2);
}

namespace {

// Every way out a user has besides the Exit button, as the messages they
// produce: Esc, Alt+F4, the system menu's Close (or the close box), and a
// close request from outside (the taskbar, another program).
void post_every_way_out(HWND frame)
{
    ::PostMessageW(frame, WM_KEYDOWN, VK_ESCAPE, 1);
    ::PostMessageW(frame, WM_SYSKEYDOWN, VK_F4, 1 | (KF_ALTDOWN << 16));
    ::PostMessageW(frame, WM_SYSCOMMAND, SC_CLOSE, 0);
    ::PostMessageW(frame, WM_CLOSE, 0, 0);
}

bool close_greyed(HWND frame)
{
    UINT state = ::GetMenuState(::GetSystemMenu(frame, FALSE), SC_CLOSE, MF_BYCOMMAND);
    return state != UINT(-1) && (state & MF_GRAYED);
}

} // namespace

// Points the process's temporary folder elsewhere while alive.
class temporary_folder_override {
public:
    explicit temporary_folder_override(const std::wstring& folder)
    {
        for (const wchar_t* name : {L"TMP", L"TEMP"}) {
            wchar_t value[MAX_PATH] = {};
            DWORD length = ::GetEnvironmentVariableW(name, value, MAX_PATH);
            saved_.push_back({name, length ? std::wstring(value) : std::wstring()});
            ::SetEnvironmentVariableW(name, folder.c_str());
        }
    }
    temporary_folder_override(const temporary_folder_override&) = delete;
    temporary_folder_override& operator=(const temporary_folder_override&) = delete;
    ~temporary_folder_override()
    {
        for (const auto& [name, value] : saved_)
            ::SetEnvironmentVariableW(name, value.empty() ? nullptr : value.c_str());
    }

private:
    std::vector<std::pair<const wchar_t*, std::wstring>> saved_;
};

// While the real installation runs (here one that fails at its first file:
// its temporary folder would lie in Linux's /proc, where no folder can be
// made; failing that, the installation folder lies below a file),
// neither Esc, Alt+F4, the system menu's Close nor a close request reach the
// exit question, and afterwards the wizard is as after any failed run.
TEST_F(Wizard, NoWayOutReachesTheExitQuestionWhileTheInstallationRuns)
{
    wchar_t windows[MAX_PATH] = {};
    ::GetWindowsDirectoryW(windows, MAX_PATH);
    installer_context::instance().install_folder = std::wstring(windows) + L"\\win.ini\\Tablewright 8";
    std::optional<temporary_folder_override> temporary;
    const DWORD proc = ::GetFileAttributesW(L"Z:\\proc\\self");
    if (proc != INVALID_FILE_ATTRIBUTES && (proc & FILE_ATTRIBUTE_DIRECTORY))
        temporary.emplace(L"Z:\\proc\\");
    INT_PTR result = run_wizard([](HWND frame) {
        click(frame, IDC_NEXT);
        click(frame, IDC_NEXT);
        ASSERT_EQ(visible_page(), 3);
        box_watcher no([](const seen_box&) { return IDNO; });
        // The installation dispatches them at its first pause: during the
        // payload check, while "Preparing Installation..." is shown.
        post_every_way_out(frame);
        click(frame, IDC_NEXT);
        pump_messages();
        EXPECT_TRUE(no.boxes().empty()) << no.boxes().size() << " box(es), the first: "
                                        << (no.boxes().empty() ? "" : narrow(no.boxes().front().text));
        EXPECT_FALSE(installer_context::instance().finished);
        EXPECT_NE(control_text(page(3), IDC_LOG).find(L"Preparing Installation...OK"), std::wstring::npos)
            << "the installation ran";
        EXPECT_TRUE(::IsWindowVisible(frame));
        EXPECT_TRUE(enabled(frame, IDC_NEXT));
        EXPECT_TRUE(enabled(frame, IDC_EXIT));
        EXPECT_FALSE(close_greyed(frame));
    });
    EXPECT_EQ(result, -1) << "the wizard stays open";
}

// An installation that throws leaves the buttons as they were before Install
// (and the way out open); then, with a stand-in for the installation that
// looks at the frame while it runs, no way out works during the run; after
// it the way out works again.
TEST_F(Wizard, TheWayOutIsClosedOnlyWhileTheInstallationRuns)
{
    auto& frame_object = dlg_main::instance();
    struct restore {
        ~restore() { dlg_main::instance().installation = nullptr; }
    } restore_installation;
    INT_PTR result = run_wizard([&frame_object](HWND frame) {
        click(frame, IDC_NEXT);
        click(frame, IDC_NEXT);
        ASSERT_EQ(visible_page(), 3);
        // Yes to the question, OK to a report.
        box_watcher yes([](const seen_box& box) { return box.buttons.size() == 1 ? box.buttons[0] : IDYES; });

        ASSERT_TRUE(enabled(frame, IDC_BACK));
        frame_object.installation = []() -> bool { throw std::runtime_error("stand-in failure"); };
        click(frame, IDC_NEXT);
        pump_messages();
        EXPECT_EQ(yes.boxes().size(), 1u) << "the failure's report";
        EXPECT_TRUE(enabled(frame, IDC_BACK));
        EXPECT_TRUE(enabled(frame, IDC_NEXT));
        EXPECT_TRUE(enabled(frame, IDC_EXIT));
        EXPECT_FALSE(close_greyed(frame));
        EXPECT_FALSE(frame_object.installing());

        bool seen_running = false;
        frame_object.installation = [&] {
            seen_running = true;
            EXPECT_TRUE(frame_object.installing());
            EXPECT_FALSE(enabled(frame, IDC_BACK));
            EXPECT_FALSE(enabled(frame, IDC_NEXT));
            EXPECT_FALSE(enabled(frame, IDC_EXIT));
            EXPECT_TRUE(close_greyed(frame));
            post_every_way_out(frame);
            ::SendMessageW(frame, WM_COMMAND, MAKEWPARAM(IDC_EXIT, BN_CLICKED), 0);
            ::SendMessageW(frame, WM_COMMAND, MAKEWPARAM(IDC_NEXT, BN_CLICKED), 0);
            ::SendMessageW(frame, WM_COMMAND, MAKEWPARAM(IDC_BACK, BN_CLICKED), 0);
            pump_messages();
            EXPECT_EQ(visible_page(), 3);
            return false;
        };
        click(frame, IDC_NEXT);
        pump_messages();
        EXPECT_TRUE(seen_running);
        EXPECT_EQ(yes.boxes().size(), 1u) << "no question while installing";
        ASSERT_TRUE(::IsWindowVisible(frame));
        EXPECT_FALSE(close_greyed(frame));

        // Not installing any more: Alt+F4 asks, and Yes leaves.
        ::PostMessageW(frame, WM_SYSKEYDOWN, VK_F4, 1 | (KF_ALTDOWN << 16));
        pump_messages();
        ASSERT_EQ(yes.boxes().size(), 2u);
        EXPECT_EQ(yes.boxes().back().text, L"Installation is not complete.\n\nDo you still confirm exit Installation ?");
    });
    EXPECT_EQ(result, 2);
}

namespace {
struct exit_case {
    std::int32_t previous_state;
    bool from_mode_page;
    bool asks;
};
class ExitQuestion : public Wizard, public ::testing::WithParamInterface<exit_case> {};
} // namespace

TEST_P(ExitQuestion, IsAskedOnlyWhenSomethingIsLeftUndone)
{
    const exit_case& test = GetParam();
    installer_context::instance().previous_state = test.previous_state;
    installer_context::instance().installed_version_text = L"8.10a";
    std::size_t questions = 99;
    INT_PTR result = run_wizard([&](HWND frame) {
        if (test.previous_state == -1) {
            EXPECT_FALSE(enabled(frame, IDC_NEXT)) << "over a newer version the user can only leave";
        }
        if (test.from_mode_page)
            click(frame, IDC_NEXT);
        box_watcher yes([](const seen_box&) { return IDYES; });
        click(frame, IDC_EXIT);
        questions = yes.boxes().size();
    });
    EXPECT_EQ(questions, test.asks ? 1u : 0u);
    EXPECT_EQ(result, 2);
}

INSTANTIATE_TEST_SUITE_P(States, ExitQuestion,
                         ::testing::Values(exit_case{0, false, true}, exit_case{2, false, true},
                                           exit_case{1, false, false}, exit_case{1, true, true},
                                           exit_case{-1, false, false}));

namespace {
struct start_case {
    std::int32_t previous_state;
    const wchar_t* information;
    const wchar_t* status;
};
class StartPageText : public Wizard, public ::testing::WithParamInterface<start_case> {};
} // namespace

TEST_P(StartPageText, TellsWhatTheInstallerIsAboutToDo)
{
    const start_case& test = GetParam();
    installer_context::instance().previous_state = test.previous_state;
    installer_context::instance().installed_version_text = L"Tablewright 8.10a";
    run_wizard([&test](HWND) {
        EXPECT_EQ(control_text(page(0), IDC_INFORMATION), test.information);
        EXPECT_EQ(control_text(page(0), IDC_STATUS), test.status);
        EXPECT_EQ(control_text(page(0), IDC_LANGUAGE_LABEL), L"Select Installation Langage");
        EXPECT_EQ(control_text(page(0), IDC_COPYRIGHT),
                  L"Copyright \u00A9 2026 Vantrel Software");
    });
}

INSTANTIATE_TEST_SUITE_P(
    States, StartPageText,
    ::testing::Values(
        start_case{0, L"'Tablewright 8.11n' Installation.", L"Click on 'Next' to continue."},
        start_case{1, L"'Tablewright 8.11n' is already installed.\nDo you confirm Reinstallation ?",
                   L"Click on 'Next' to continue or on 'Cancel' to exit Installation."},
        start_case{2, L"Update from 'Tablewright 8.10a' to 'Tablewright 8.11n'.", L"Click on 'Next' to continue."},
        start_case{-1,
                   L"'Tablewright 8.11n' Installation.\n"
                   L"A more recent Version (Tablewright 8.10a) is already installed.",
                   L"Click on 'Cancel' to exit Installation."}));

TEST_F(Wizard, LanguageListOffersTwentyLanguagesWithTheirFlagsAndOwnNames)
{
    run_wizard([](HWND) {
        HWND list = ::GetDlgItem(page(0), IDC_LANGUAGE_LIST);
        ASSERT_EQ(::SendMessageW(list, CB_GETCOUNT, 0, 0), 20);
        std::vector<LPARAM> languages;
        std::vector<std::wstring> names;
        std::vector<int> images;
        for (int position = 0; position < 20; ++position) {
            wchar_t name[128] = {};
            COMBOBOXEXITEMW entry{};
            entry.mask = CBEIF_TEXT | CBEIF_IMAGE | CBEIF_SELECTEDIMAGE | CBEIF_LPARAM;
            entry.iItem = position;
            entry.pszText = name;
            entry.cchTextMax = 128;
            ASSERT_TRUE(::SendMessageW(list, CBEM_GETITEMW, 0, reinterpret_cast<LPARAM>(&entry)));
            languages.push_back(entry.lParam);
            names.push_back(name);
            images.push_back(entry.iImage);
            EXPECT_EQ(entry.iSelectedImage, entry.iImage);
        }
        EXPECT_EQ(languages, (std::vector<LPARAM>{0, 1, 2, 11, 3, 4, 5, 15, 12, 24, 19, 9, 20, 8, 14, 7, 16, 10, 17,
                                                  21}));
        EXPECT_EQ(names[0], L"Fran\u00E7ais");
        EXPECT_EQ(names[1], L"English");
        EXPECT_EQ(names[2], L"Deutsch");
        EXPECT_EQ(names[7], L"Polski");
        for (std::size_t i = 0; i < names.size(); ++i) {
            // A language the system has no name for gets an empty entry.
            wchar_t system_name[128] = {};
            bool named = ::GetLocaleInfoW(language_lcid(unsigned(languages[i])), LOCALE_SNATIVELANGNAME,
                                          system_name, 128) > 1;
            EXPECT_EQ(names[i].empty(), !named) << "entry " << i;
            if (!named)
                continue;
            wchar_t first = names[i][0];
            ::CharUpperBuffW(&first, 1);
            EXPECT_EQ(first, names[i][0]) << "the first letter of entry " << i << " is upper-cased";
            EXPECT_EQ(names[i].substr(1), std::wstring(system_name).substr(1)) << "entry " << i;
        }
        HIMAGELIST flags = reinterpret_cast<HIMAGELIST>(::SendMessageW(list, CBEM_GETIMAGELIST, 0, 0));
        ASSERT_TRUE(flags);
        EXPECT_EQ(ImageList_GetImageCount(flags), 20);
        int cx = 0, cy = 0;
        ImageList_GetIconSize(flags, &cx, &cy);
        EXPECT_EQ(cx, 18);
        EXPECT_EQ(cy, 12);
        for (int i = 0; i < 20; ++i)
            EXPECT_EQ(images[std::size_t(i)], i);
        EXPECT_EQ(::SendMessageW(list, CB_GETCURSEL, 0, 0), 1) << "English is current";
    });
}

TEST_F(Wizard, ALanguageThatIsNotOfferedLeavesTheListWithoutSelection)
{
    set_language(6); // Danish: a language of the table that the list does not offer
    run_wizard([](HWND) {
        HWND list = ::GetDlgItem(page(0), IDC_LANGUAGE_LIST);
        EXPECT_EQ(::SendMessageW(list, CB_GETCURSEL, 0, 0), CB_ERR);
        box_watcher boxes([](const seen_box&) { return IDOK; });
        pick_language(list, 2);
        EXPECT_EQ(language_settings::instance().language, 2u);
        EXPECT_EQ(control_text(page(0), IDC_LANGUAGE_LABEL), L"Installationssprache ausw\u00E4hlen");
    });
}

TEST_F(Wizard, ChangingTheLanguageRetranslatesEveryWindowAndTheSystemMenu)
{
    wizard_texts german_from_start;
    set_language(2);
    run_wizard([&](HWND frame) { german_from_start = all_texts(frame); });
    set_language(language_english);

    wizard_texts english;
    wizard_texts switched;
    run_wizard([&](HWND frame) {
        english = all_texts(frame);
        HWND list = ::GetDlgItem(page(0), IDC_LANGUAGE_LIST);
        pick_language(list, 0); // French
        EXPECT_EQ(control_text(frame, IDC_EXIT), L"Annuler");
        pick_language(list, 2); // German
        switched = all_texts(frame);
        EXPECT_EQ(menu_items(frame, IDM_ABOUT).size(), 1u) << "the About item is renamed, never added twice";
    });

    EXPECT_EQ(switched, german_from_start);
    std::size_t translated = 0;
    for (const auto& [key, text] : english)
        if (switched[key] != text)
            ++translated;
    EXPECT_GE(translated, 20u);
    EXPECT_EQ((switched[{-1, 0}]), L"Installationsprogramm \u2013 Tablewright 8.11n");
    EXPECT_EQ((switched[{-1, IDC_BACK}]), L"< Zur\u00FCck");
    EXPECT_EQ((switched[{-1, IDC_NEXT}]), L"Weiter >");
    EXPECT_EQ((switched[{-2, IDM_ABOUT}]), L"&\u00DCber \u201EInstallationsprogramm\u201C...");
    EXPECT_EQ((english[{-2, IDM_ABOUT}]), L"&About 'Installer'...");
    EXPECT_EQ((switched[{1, IDC_QUICK}]), L"Schnellinstallation (empfohlen)");
}

TEST_F(Wizard, ARightToLeftLanguageWritesTheAboutItemWithoutAccessKey)
{
    run_wizard([](HWND frame) {
        pick_language(::GetDlgItem(page(0), IDC_LANGUAGE_LIST), 19); // Arabic
        ASSERT_EQ(language_settings::instance().language, 21u);
        auto items = menu_items(frame, IDM_ABOUT);
        ASSERT_EQ(items.size(), 1u);
        EXPECT_EQ(items[0], L"...\u062D\u0648\u0644 \"\u0628\u0631\u0646\u0627\u0645\u062C \u0627\u0644\u062A\u062B"
                            L"\u0628\u064A\u062A\"");
        EXPECT_EQ(get_window_text(frame),
                  L"\u0628\u0631\u0646\u0627\u0645\u062C \u0627\u0644\u062A\u062B\u0628\u064A\u062A \u2013 "
                  L"Tablewright 8.11n");
    });
}

TEST_F(Wizard, PolishShowsEnglishTextsAndSaysSoOnce)
{
    wizard_texts english;
    wizard_texts polish;
    std::vector<seen_box> seen;
    run_wizard([&](HWND frame) {
        english = all_texts(frame);
        box_watcher boxes([](const seen_box&) { return IDOK; });
        HWND list = ::GetDlgItem(page(0), IDC_LANGUAGE_LIST);
        pick_language(list, 7);
        seen = boxes.boxes();
        polish = all_texts(frame);
        EXPECT_EQ(::SendMessageW(list, CB_GETCURSEL, 0, 0), 7);
        EXPECT_EQ(language_settings::instance().language, 15u);
    });
    ASSERT_EQ(seen.size(), 1u);
    EXPECT_EQ(seen[0].text, L"'Tablewright' will be installed in the selected Langage, but the Installer, still "
                            L"under translation, shall run in English.");
    EXPECT_EQ(seen[0].caption, L"Installer \u2013 Tablewright 8.11n");
    EXPECT_EQ(seen[0].buttons, std::vector<int>{IDOK});
    EXPECT_TRUE(seen[0].has_icon);
    EXPECT_EQ(polish, english);
}

TEST_F(Wizard, TheAboutBoxOpensFromTheSystemMenuCentredOnTheFrame)
{
    std::vector<seen_box> seen;
    std::wstring version, copyright;
    run_wizard([&](HWND frame) {
        dialog_script about([&](HWND box) {
            version = control_text(box, IDC_ABOUT_VERSION);
            copyright = control_text(box, IDC_ABOUT_COPYRIGHT);
            std::string measure;
            for (int id : {IDC_ABOUT_VERSION, IDC_ABOUT_COPYRIGHT, IDOK})
                EXPECT_TRUE(text_fits(::GetDlgItem(box, id), measure)) << id << ": " << measure;
            seen.push_back(read_box(box));
            click(box, IDOK);
        });
        ::SendMessageW(frame, WM_SYSCOMMAND, IDM_ABOUT, 0);
        ASSERT_EQ(seen.size(), 1u);
        POINT frame_centre = centre(frame);
        const RECT& box = seen[0].rect;
        EXPECT_NEAR((box.left + box.right) / 2, frame_centre.x, 1);
        EXPECT_NEAR((box.top + box.bottom) / 2, frame_centre.y, 1);
        EXPECT_EQ(seen[0].owner, frame);
    });
    ASSERT_EQ(seen.size(), 1u);
    EXPECT_EQ(seen[0].caption, L"About 'Installer'");
    EXPECT_EQ(seen[0].buttons, std::vector<int>{IDOK});
    EXPECT_TRUE(seen[0].has_icon);
    EXPECT_EQ(version, L"Tablewright 8.11n");
    EXPECT_EQ(copyright, L"Copyright \u00A9 2026 Vantrel Software");
}

TEST_F(Wizard, OpensAtItsMinimumSizeWhenNothingUsableIsStored)
{
    SIZE minimum{};
    POINT first_centre{};
    run_wizard([&](HWND frame) {
        minimum = outer_size(frame);
        first_centre = centre(frame);
    });
    // What the last run saved: its outer size, as 8 bytes.
    std::int32_t saved[3] = {};
    DWORD type = 0, bytes = sizeof(saved);
    ASSERT_EQ(::RegGetValueW(HKEY_CURRENT_USER, size_key, L"InstallerSize", RRF_RT_ANY, &type, saved, &bytes),
              ERROR_SUCCESS);
    EXPECT_EQ(type, DWORD(REG_BINARY));
    EXPECT_EQ(bytes, 8u);
    EXPECT_EQ(saved[0], minimum.cx);
    EXPECT_EQ(saved[1], minimum.cy);

    auto opened_size = [] {
        SIZE size{};
        run_wizard([&size](HWND frame) { size = outer_size(frame); });
        return size;
    };
    store_size(minimum.cx - 50, minimum.cy - 40);
    SIZE size = opened_size();
    EXPECT_EQ(size.cx, minimum.cx) << "a smaller stored size opens at the minimum";
    EXPECT_EQ(size.cy, minimum.cy);

    std::int32_t four = minimum.cx + 100;
    store_raw_size(REG_BINARY, &four, sizeof(four));
    size = opened_size();
    EXPECT_EQ(size.cx, minimum.cx) << "4 bytes are ignored";

    std::int32_t twelve[3] = {minimum.cx + 100, minimum.cy + 100, 0};
    store_raw_size(REG_BINARY, twelve, sizeof(twelve));
    size = opened_size();
    EXPECT_EQ(size.cx, minimum.cx) << "12 bytes are ignored";
    EXPECT_EQ(size.cy, minimum.cy);

    std::int32_t as_dword[2] = {minimum.cx + 100, minimum.cy + 100};
    store_raw_size(REG_QWORD, as_dword, sizeof(as_dword));
    size = opened_size();
    EXPECT_EQ(size.cx, minimum.cx) << "8 bytes of another type are ignored";
    DWORD dword = DWORD(minimum.cx + 100);
    store_raw_size(REG_DWORD, &dword, sizeof(dword));
    size = opened_size();
    EXPECT_EQ(size.cx, minimum.cx) << "a REG_DWORD is ignored";

    // A larger stored size opens larger, centred where the template was placed.
    store_size(minimum.cx + 120, minimum.cy + 80);
    POINT larger_centre{};
    run_wizard([&](HWND frame) {
        size = outer_size(frame);
        larger_centre = centre(frame);
    });
    EXPECT_EQ(size.cx, minimum.cx + 120);
    EXPECT_EQ(size.cy, minimum.cy + 80);
    EXPECT_NEAR(larger_centre.x, first_centre.x, 1);
    EXPECT_NEAR(larger_centre.y, first_centre.y, 1);
}

TEST_F(Wizard, CannotShrinkBelowTheSizeAtWhichEveryPageFits)
{
    run_wizard([](HWND frame) {
        SIZE minimum = outer_size(frame);
        EXPECT_EQ(minimum.cx, dlg_main::instance().min_width);
        EXPECT_EQ(minimum.cy, dlg_main::instance().min_height);
        ::SetWindowPos(frame, nullptr, 0, 0, minimum.cx - 120, minimum.cy - 60, SWP_NOMOVE | SWP_NOZORDER);
        SIZE shrunk = outer_size(frame);
        EXPECT_EQ(shrunk.cx, minimum.cx);
        EXPECT_EQ(shrunk.cy, minimum.cy);

        // At that size every control of every page lies inside its page, and
        // the pages lie between the side panel and the frame's right edge,
        // above the separator.
        RECT client{};
        ::GetClientRect(frame, &client);
        RECT panel = rect_in(frame, ::GetDlgItem(frame, IDC_SIDE_PANEL));
        RECT separator = rect_in(frame, ::GetDlgItem(frame, IDC_SEPARATOR));
        for (unsigned index = 0; index < 5; ++index) {
            RECT area = rect_in(frame, page(index));
            EXPECT_EQ(area.left, panel.right) << "page " << index;
            EXPECT_EQ(area.right, client.right) << "page " << index;
            EXPECT_EQ(area.top, 0) << "page " << index;
            EXPECT_EQ(area.bottom, separator.top) << "page " << index;
            for (HWND child = ::GetWindow(page(index), GW_CHILD); child; child = ::GetWindow(child, GW_HWNDNEXT)) {
                RECT control = rect_in(frame, child);
                EXPECT_GE(control.left, area.left) << "page " << index << " control " << ::GetDlgCtrlID(child);
                EXPECT_LE(control.right, area.right) << "page " << index << " control " << ::GetDlgCtrlID(child);
                EXPECT_LE(control.bottom, area.bottom) << "page " << index << " control " << ::GetDlgCtrlID(child);
            }
        }
    });
}

TEST_F(Wizard, GrowingTheFrameKeepsTheButtonsInTheCornerAndWidensThePages)
{
    run_wizard([](HWND frame) {
        click(frame, IDC_NEXT);
        click(frame, IDC_NEXT); // install page, with its log
        HWND exit = ::GetDlgItem(frame, IDC_EXIT);
        HWND log = ::GetDlgItem(page(3), IDC_LOG);
        RECT exit_before = rect_in(frame, exit);
        RECT page_before = rect_in(frame, page(3));
        RECT log_before = rect_in(frame, log);
        RECT grip_before = rect_in(frame, ::GetDlgItem(frame, IDC_SIZE_GRIP));
        SIZE size = outer_size(frame);
        ::SetWindowPos(frame, nullptr, 0, 0, size.cx + 100, size.cy + 50, SWP_NOMOVE | SWP_NOZORDER);

        RECT exit_after = rect_in(frame, exit);
        EXPECT_EQ(exit_after.left - exit_before.left, 100);
        EXPECT_EQ(exit_after.top - exit_before.top, 50);
        EXPECT_EQ(exit_after.right - exit_after.left, exit_before.right - exit_before.left);
        RECT grip_after = rect_in(frame, ::GetDlgItem(frame, IDC_SIZE_GRIP));
        EXPECT_EQ(grip_after.left - grip_before.left, 100);
        EXPECT_EQ(grip_after.top - grip_before.top, 50);
        RECT page_after = rect_in(frame, page(3));
        EXPECT_EQ(page_after.right - page_before.right, 100);
        EXPECT_EQ(page_after.bottom - page_before.bottom, 50);
        EXPECT_EQ(page_after.left, page_before.left);
        RECT log_after = rect_in(frame, log);
        EXPECT_EQ(log_after.right - log_before.right, 100);
        EXPECT_EQ(log_after.bottom - log_before.bottom, 50);
        EXPECT_EQ(log_after.top, log_before.top);
    });
}

TEST_F(Wizard, ATypedFolderIsTakenRelativeToProgramFilesAndNormalised)
{
    auto& context = installer_context::instance();
    std::wstring base = program_files();
    std::wstring start_folder = context.install_folder;
    run_wizard([&](HWND frame) {
        click(frame, IDC_NEXT);
        click(page(1), IDC_ADVANCED);
        click(frame, IDC_NEXT);
        ASSERT_EQ(visible_page(), 2);
        HWND edit = ::GetDlgItem(page(2), IDC_FOLDER_EDIT);
        EXPECT_EQ(get_window_text(edit), start_folder);
        EXPECT_EQ(context.install_folder, start_folder) << "showing the folder is not typing it";

        clear_text(edit);
        type_text(edit, L"Tablewright Test");
        EXPECT_EQ(context.install_folder, base + L"\\Tablewright Test");

        clear_text(edit);
        type_text(edit, L"D:\\Apps\\..\\Tools");
        EXPECT_EQ(context.install_folder, L"D:\\Tools");

        clear_text(edit);
        EXPECT_EQ(context.install_folder, base + L"\\");

        type_text(edit, L"E:/Mixed/./Separators");
        EXPECT_EQ(context.install_folder, L"E:\\Mixed\\Separators");
    });
}

TEST_F(Wizard, WithAnEarlierInstallationTheFolderIsLockedButTheShortcutsStillChange)
{
    auto& context = installer_context::instance();
    for (std::int32_t state : {1, 2, -1}) {
        context.previous_state = state;
        context.advanced_mode = true;
        context.start_menu_shortcut = true;
        context.desktop_shortcut = true;
        std::wstring folder = context.install_folder;
        run_wizard([&](HWND frame) {
            // Over a newer version Next is disabled; the page still locks.
            dlg_main::instance().go_to_page(2);
            ASSERT_EQ(visible_page(), 2);
            HWND edit = ::GetDlgItem(page(2), IDC_FOLDER_EDIT);
            EXPECT_TRUE(::GetWindowLongW(edit, GWL_STYLE) & ES_READONLY) << "state " << state;
            EXPECT_FALSE(enabled(page(2), IDC_BROWSE)) << "state " << state;
            EXPECT_FALSE(enabled(page(2), IDC_FOLDER_LABEL)) << "state " << state;
            type_text(edit, L"Elsewhere");
            EXPECT_EQ(context.install_folder, folder);

            EXPECT_EQ(::IsDlgButtonChecked(page(2), IDC_MENU_SHORTCUT), BST_CHECKED);
            click(page(2), IDC_MENU_SHORTCUT);
            EXPECT_FALSE(context.start_menu_shortcut);
            click(page(2), IDC_DESKTOP_SHORTCUT);
            EXPECT_FALSE(context.desktop_shortcut);
            click(page(2), IDC_DESKTOP_SHORTCUT);
            EXPECT_TRUE(context.desktop_shortcut);
            (void)frame;
        });
    }
}

TEST_F(Wizard, TheSummaryShowsTheChosenOptionsFreshEachTime)
{
    auto& context = installer_context::instance();
    std::wstring heading = L"\u2500\u2500\u2500\u00A0Installation Options\u00A0" + std::wstring(29, L'\u2500');
    std::wstring start_folder = context.install_folder;
    run_wizard([&](HWND frame) {
        click(frame, IDC_NEXT);
        click(frame, IDC_NEXT);
        ASSERT_EQ(visible_page(), 3);
        HWND log = ::GetDlgItem(page(3), IDC_LOG);
        EXPECT_EQ(lines(get_window_text(log)),
                  (std::vector<std::wstring>{L"'Tablewright 8.11n' Installation.", heading,
                                             L"Installation Folder: \"" + start_folder + L"\".",
                                             L"Creating a Shortcut in the Start Menu.",
                                             L"Creating a Shortcut on the Desktop."}));
        EXPECT_EQ(get_window_text(log).substr(get_window_text(log).size() - 2), L"\r\n");

        // Back to the options: another folder, no shortcuts.
        click(frame, IDC_BACK);
        click(page(1), IDC_ADVANCED);
        click(frame, IDC_NEXT);
        HWND edit = ::GetDlgItem(page(2), IDC_FOLDER_EDIT);
        clear_text(edit);
        type_text(edit, L"C:\\Apps\\Tablewright");
        click(page(2), IDC_MENU_SHORTCUT);
        click(page(2), IDC_DESKTOP_SHORTCUT);
        click(frame, IDC_NEXT);
        std::vector<std::wstring> three{L"'Tablewright 8.11n' Installation.", heading,
                                        L"Installation Folder: \"C:\\Apps\\Tablewright\"."};
        EXPECT_EQ(lines(get_window_text(log)), three);

        // The quick installation keeps what the options page chose.
        click(frame, IDC_BACK);
        click(frame, IDC_BACK);
        click(page(1), IDC_QUICK);
        click(frame, IDC_NEXT);
        ASSERT_EQ(visible_page(), 3);
        EXPECT_EQ(lines(get_window_text(log)), three);
    });
}

TEST_F(Wizard, TheLogOnlyGrowsAtItsEnd)
{
    run_wizard([](HWND frame) {
        click(frame, IDC_NEXT);
        click(frame, IDC_NEXT);
        auto& install = dlg_install::instance();
        HWND log = ::GetDlgItem(page(3), IDC_LOG);
        std::wstring summary = get_window_text(log);
        // Wherever the user left the caret, lines go to the end.
        ::SendMessageW(log, EM_SETSEL, 0, 3);
        install.append_log(L"Preparing Installation...");
        install.append_log(L"OK\r\n");
        EXPECT_EQ(get_window_text(log), summary + L"Preparing Installation...OK\r\n");
        EXPECT_EQ(::SendMessageW(log, EM_CANUNDO, 0, 0), FALSE) << "appending is not undoable";

        for (int line = 0; line < 40; ++line)
            install.append_log(L"Copying File \"C:\\x\"...OK\r\n");
        EXPECT_GT(::SendMessageW(log, EM_GETFIRSTVISIBLELINE, 0, 0), 10) << "the log follows its end";

        // A payload of thousands of files: far beyond an edit control's
        // default limit, every line is kept, the last step's included.
        const std::wstring before = get_window_text(log);
        std::wstring appended;
        for (int piece = 0; piece < 30; ++piece) {
            std::wstring lines;
            for (int line = 0; line < 100; ++line)
                lines += L"Copying File \"C:\\ProgramData\\Vantrel Software\\Tablewright 8\\Textures\\t" +
                         std::to_wstring(piece * 100 + line) + L".png\"...OK\r\n";
            install.append_log(lines);
            appended += lines;
        }
        install.append_log(L"Installation Data Writing...OK\r\n");
        appended += L"Installation Data Writing...OK\r\n";
        ASSERT_GT(appended.size(), 200000u);
        EXPECT_TRUE(get_window_text(log) == before + appended) << "the log holds "
                                                               << get_window_text(log).size() << " characters";

        install.set_status(L"Copying File \"C:\\Program Files\\Vantrel Software\\Tablewright 8\\x.dll\"...");
        EXPECT_EQ(control_text(page(3), IDC_STATUS),
                  L"Copying File \"C:\\Program Files\\Vantrel Software\\Tablewright 8\\x.dll\"...");
        install.show_progress();
        EXPECT_TRUE(::IsWindowVisible(::GetDlgItem(page(3), IDC_PROGRESS)));
        install.set_progress(42);
        HWND progress = ::GetDlgItem(page(3), IDC_PROGRESS);
        EXPECT_EQ(::SendMessageW(progress, PBM_GETPOS, 0, 0), 42);
        EXPECT_EQ(::SendMessageW(progress, PBM_GETRANGE, TRUE, 0), 0);
        EXPECT_EQ(::SendMessageW(progress, PBM_GETRANGE, FALSE, 0), 100);
        install.show_progress();
        EXPECT_EQ(::SendMessageW(progress, PBM_GETPOS, 0, 0), 0);
    });
}

TEST_F(Wizard, BrowseShowsTheChosenFolderAndCancelKeepsTheFolder)
{
    namespace fs = std::filesystem;
    fs::path root = L"C:\\vt-wizard-browse";
    fs::remove_all(root);
    fs::create_directories(root / L"Tablewright 8");
    auto& context = installer_context::instance();
    context.install_folder = (root / L"Old" / L"Tablewright 8").wstring();
    std::wstring chosen = (root / L"Tablewright 8").wstring();
    run_wizard([&](HWND frame) {
        click(frame, IDC_NEXT);
        click(page(1), IDC_ADVANCED);
        click(frame, IDC_NEXT);
        HWND edit = ::GetDlgItem(page(2), IDC_FOLDER_EDIT);
        {
            dialog_script cancel([](HWND browser) { ::SendMessageW(browser, WM_COMMAND, IDCANCEL, 0); });
            click(page(2), IDC_BROWSE);
            EXPECT_EQ(cancel.boxes_seen(), 1);
        }
        EXPECT_EQ(context.install_folder, (root / L"Old" / L"Tablewright 8").wstring());
        {
            dialog_script pick([&chosen](HWND browser) {
                ::SendMessageW(browser, BFFM_SETSELECTIONW, TRUE, reinterpret_cast<LPARAM>(chosen.c_str()));
                ::SendMessageW(browser, WM_COMMAND, IDOK, 0);
            });
            click(page(2), IDC_BROWSE);
        }
        EXPECT_EQ(context.install_folder, chosen);
        EXPECT_EQ(get_window_text(edit), chosen);
        EXPECT_EQ(visible_page(), 2);
    });
    fs::remove_all(root);
}

// At its smallest size, in every language with installer texts and for
// every earlier-installation state, no text of the wizard is cut off.
TEST_F(Wizard, EveryTextFitsItsControlInEveryLanguage)
{
    auto& context = installer_context::instance();
    context.installed_version_text = L"Tablewright 8.10a";
    std::vector<std::string> clipped;
    for (unsigned language = 0; language < language_count; ++language) {
        if (!installer_translated(language))
            continue;
        for (std::int32_t state : {0, 1, 2, -1}) {
            set_language(language);
            context.previous_state = state;
            run_wizard([&](HWND frame) {
                dlg_end::instance().show_result();
                auto check = [&](HWND parent, const char* where) {
                    std::string measure;
                    for (HWND child = ::GetWindow(parent, GW_CHILD); child; child = ::GetWindow(child, GW_HWNDNEXT))
                        if (!text_fits(child, measure))
                            clipped.push_back(narrow(language_table[language].english_name) +
                                              ", state " + std::to_string(state) + ", " + where + " control " +
                                              std::to_string(::GetDlgCtrlID(child)) + " (" + measure +
                                              "): " + narrow(get_window_text(child)));
                };
                check(frame, "frame");
                const char* names[] = {"start page", "mode page", "options page", "install page", "end page"};
                for (unsigned index = 0; index < 5; ++index)
                    if (state == 0 || index == 0)
                        check(page(index), names[index]);
            });
        }
    }
    EXPECT_TRUE(clipped.empty()) << [&] {
        std::string all;
        for (const auto& line : clipped)
            all += line + "\n";
        return all;
    }();
}
