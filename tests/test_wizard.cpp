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

int default_button(HWND frame)
{
    return LOWORD(::SendMessageW(frame, DM_GETDEFID, 0, 0));
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
