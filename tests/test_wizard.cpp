// The installer's wizard as the user meets it: the real frame and pages made
// from the installer's own templates, run modal under Wine and worked with
// the messages that clicks, typing and list choices produce.

#include "app/installer_context.h"
#include "app/language.h"
#include "dialog_watch.h"
#include "resources/dialog_ids.h"
#include "support/error.h"
#include "support/known_folder.h"
#include "support/message_pump.h"
#include "support/unique_any.h"
#include "ui/basic_dialog.h"
#include "ui/dlg_end.h"
#include "ui/dlg_main.h"
#include "ui/dlg_start.h"
#include "ui/dpi.h"
#include "ui/window_utilities.h"

#include <commctrl.h>
#include <gtest/gtest.h>
#include <knownfolders.h>

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <functional>
#include <map>
#include <sstream>
#include <stdexcept>
#include <string>
#include <utility>
#include <vector>

namespace {

// The wizard driver: the frame runs modal exactly as the installer runs it,
// and a test script works it from inside its modal loop with the messages a
// user's actions produce. The dialog manager shows the frame once its loop is
// idle; the script starts at the first message the loop hands to the
// thread's message filter after that, on the frame as the user first sees it.

const std::function<void(HWND)>* pending_script = nullptr;

LRESULT CALLBACK start_script(int code, WPARAM wparam, LPARAM lparam)
{
    HWND frame = dlg_main::instance().hwnd;
    if (code == MSGF_DIALOGBOX && pending_script && frame && ::IsWindowVisible(frame)) {
        // The frame itself is no box for the test's watchers to answer.
        ::SetPropW(frame, L"vt.test.seen", reinterpret_cast<HANDLE>(1));
        vt::exception_barrier(false, [frame] {
            (*std::exchange(pending_script, nullptr))(frame);
            return true;
        });
        if (::IsWindow(frame) && ::IsWindowVisible(frame))
            ::EndDialog(frame, -1);
    }
    return ::CallNextHookEx(nullptr, code, wparam, lparam);
}

// Runs the wizard frame and plays script in its modal loop. Returns what the
// frame's loop ended with; a frame the script leaves open is closed
// afterwards and gives -1.
INT_PTR run_wizard(const std::function<void(HWND frame)>& script)
{
    pending_script = &script;
    vt::unique_hook filter(::SetWindowsHookExW(WH_MSGFILTER, start_script, nullptr, ::GetCurrentThreadId()));
    INT_PTR result = ::DialogBoxParamW(language_settings::instance().resource_module(),
                                       MAKEINTRESOURCEW(IDD_MAIN), nullptr, dialog_proc,
                                       reinterpret_cast<LPARAM>(&dlg_main::instance()));
    if (std::exchange(pending_script, nullptr))
        ADD_FAILURE() << "the frame ended before the script started";
    return result;
}

// Presses a button as the user does; the button must be visible and enabled.
void click(HWND parent, int id)
{
    HWND button = ::GetDlgItem(parent, id);
    ASSERT_TRUE(button && ::IsWindowVisible(button) && ::IsWindowEnabled(button))
        << "control " << id << " is missing, hidden or disabled";
    ::SendMessageW(button, BM_CLICK, 0, 0);
}

// The window of a page of the wizard (0 start ... 4 end).
HWND page(unsigned index)
{
    return dlg_main::instance().pages[index]->hwnd;
}

// The index of the one visible page, or -1 when none or several are visible.
int visible_page()
{
    std::vector<int> shown;
    for (unsigned index = 0; index < 5; ++index)
        if (::IsWindowVisible(page(index)))
            shown.push_back(int(index));
    return shown.size() == 1 ? shown[0] : -1;
}

std::wstring control_text(HWND parent, int id)
{
    return get_window_text(::GetDlgItem(parent, id));
}

bool enabled(HWND parent, int id)
{
    return ::IsWindowEnabled(::GetDlgItem(parent, id)) != FALSE;
}

// Every text the wizard shows: window captions, control texts and the About
// item of the frame's system menu, keyed by window (-1 the frame, -2 the
// menu, else the page) and control id.
using wizard_texts = std::map<std::pair<int, int>, std::wstring>;

wizard_texts all_texts(HWND frame)
{
    wizard_texts texts;
    for (int window = -1; window < 5; ++window) {
        HWND parent = window < 0 ? frame : page(unsigned(window));
        texts[{window, 0}] = get_window_text(parent);
        for (HWND child = ::GetWindow(parent, GW_CHILD); child; child = ::GetWindow(child, GW_HWNDNEXT)) {
            wchar_t name[32] = {};
            ::GetClassNameW(child, name, 32);
            int id = ::GetDlgCtrlID(child);
            // Pages are listed on their own; the language list shows native
            // names that do not depend on the installer's language.
            if (::lstrcmpW(name, L"#32770") != 0 && ::lstrcmpiW(name, WC_COMBOBOXEXW) != 0 && id > 0)
                texts[{window, id}] = get_window_text(child);
        }
    }
    wchar_t about[256] = {};
    ::GetMenuStringW(::GetSystemMenu(frame, FALSE), IDM_ABOUT, about, 256, MF_BYCOMMAND);
    texts[{-2, IDM_ABOUT}] = about;
    return texts;
}

bool close_greyed(HWND frame)
{
    UINT state = ::GetMenuState(::GetSystemMenu(frame, FALSE), SC_CLOSE, MF_BYCOMMAND);
    return state != UINT(-1) && (state & MF_GRAYED);
}

constexpr const wchar_t* size_key = L"Software\\Vantrel Software";

// The room a static text or a button needs and has for its text when it
// cannot show all of it, measured with the control's own font the way the
// control lays it out; empty when it fits. Texts shortened on purpose (path
// ellipsis), icons and other controls count as fitting.
std::string clipping(HWND control)
{
    wchar_t name[32] = {};
    ::GetClassNameW(control, name, 32);
    LONG style = ::GetWindowLongW(control, GWL_STYLE);
    RECT client{};
    ::GetClientRect(control, &client);
    RECT needed{0, 0, client.right, 0};
    UINT format = DT_CALCRECT | DT_SINGLELINE;
    if (::lstrcmpiW(name, L"Static") == 0) {
        LONG type = style & SS_TYPEMASK;
        if (style & (SS_PATHELLIPSIS | SS_ENDELLIPSIS | SS_WORDELLIPSIS) ||
            (type > SS_RIGHT && type != SS_LEFTNOWORDWRAP))
            return {};
        if (type != SS_LEFTNOWORDWRAP)
            format = DT_CALCRECT | DT_WORDBREAK;
        if (style & SS_NOPREFIX)
            format |= DT_NOPREFIX;
    } else if (::lstrcmpiW(name, L"Button") == 0) {
        switch (style & BS_TYPEMASK) {
        case BS_PUSHBUTTON:
        case BS_DEFPUSHBUTTON: needed.right -= 8; break; // edges and focus frame
        case BS_GROUPBOX: needed.right -= 16; break;     // the frame's corners
        default: needed.right -= 17; break;              // check box or radio button
        }
    } else {
        return {};
    }
    const LONG width = needed.right;
    std::wstring text = get_window_text(control);
    HDC dc = ::GetDC(control);
    HGDIOBJ old = ::SelectObject(dc, reinterpret_cast<HGDIOBJ>(::SendMessageW(control, WM_GETFONT, 0, 0)));
    ::DrawTextW(dc, text.c_str(), int(text.size()), &needed, format);
    ::SelectObject(dc, old);
    ::ReleaseDC(control, dc);
    if (text.empty() || (needed.right <= width && needed.bottom <= client.bottom))
        return {};
    return "needs " + std::to_string(needed.right) + "x" + std::to_string(needed.bottom) + ", has " +
           std::to_string(width) + "x" + std::to_string(client.bottom);
}

// The wizard at the scale of its screen: every control of the frame and its
// pages (window -1 the frame, else the page) by its place in the z-order.
using wizard_layout = std::map<std::pair<int, int>, RECT>;

wizard_layout layout_of(HWND frame)
{
    wizard_layout layout;
    for (int window = -1; window < 5; ++window) {
        int place = 0;
        HWND parent = window < 0 ? frame : page(unsigned(window));
        for (HWND child = ::GetWindow(parent, GW_CHILD); child; child = ::GetWindow(child, GW_HWNDNEXT))
            layout[{window, place++}] = window_rect(child);
    }
    return layout;
}

std::string describe(const RECT& rect)
{
    return std::to_string(rect.left) + "," + std::to_string(rect.top) + " " + std::to_string(rect.right - rect.left) +
           "x" + std::to_string(rect.bottom - rect.top);
}

// The controls that lie outside their window's client area (hidden pages
// included), and how the side image fails to fill its slot: 3,3 and 58 x 105
// dialog units at the scale the frame started at (from), each converted on
// its own as the dialog manager does, then scaled edge by edge to the
// frame's present scale (to).
std::string scale_faults(HWND frame, unsigned from, unsigned to)
{
    std::string faults;
    for (const auto& [key, rect] : layout_of(frame)) {
        RECT client{};
        RECT within{};
        ::GetClientRect(key.first < 0 ? frame : page(unsigned(key.first)), &client);
        if (!::IntersectRect(&within, &rect, &client) || !::EqualRect(&within, &rect))
            faults += "\nwindow " + std::to_string(key.first) + ", control " + std::to_string(key.second) + " at " +
                      describe(rect) + " in " + describe(client);
    }
    RECT place{3, 3, 58, 105};
    ::MapDialogRect(frame, &place);
    const RECT slot{scale_dpi(place.left, from, to), scale_dpi(place.top, from, to),
                    scale_dpi(place.left + place.right, from, to), scale_dpi(place.top + place.bottom, from, to)};
    HWND side = ::GetDlgItem(frame, IDC_SIDE_IMAGE);
    RECT placed = window_rect(side);
    auto image = reinterpret_cast<HGDIOBJ>(::SendMessageW(side, STM_GETIMAGE, IMAGE_BITMAP, 0));
    BITMAP bitmap{};
    if (!::EqualRect(&placed, &slot) || !image || !::GetObjectW(image, sizeof(bitmap), &bitmap) ||
        bitmap.bmWidth != placed.right - placed.left || bitmap.bmHeight != placed.bottom - placed.top)
        return faults + "\nthe side image is " + std::to_string(bitmap.bmWidth) + "x" +
               std::to_string(bitmap.bmHeight) + " at " + describe(placed) + ", its slot " + describe(slot);
    // The banner reaches the slot's right edge: its upper half is blue, not
    // the panel's white.
    HDC dc = ::CreateCompatibleDC(nullptr);
    HGDIOBJ old = ::SelectObject(dc, image);
    COLORREF edge = ::GetPixel(dc, bitmap.bmWidth - 1, bitmap.bmHeight / 4);
    ::SelectObject(dc, old);
    ::DeleteDC(dc);
    return edge == RGB(255, 255, 255) || edge == CLR_INVALID ? faults + "\nwhite at the side image's edge" : faults;
}

// The flags' and the caption icon's heights, which the scale sets.
void expect_icons_at(HWND frame, unsigned dpi)
{
    int width = 0;
    int height = 0;
    ImageList_GetIconSize(dlg_start::instance().flag_images.get(), &width, &height);
    EXPECT_EQ(height, scale_dpi(12, base_dpi, dpi)) << "flags";
    ICONINFO info{};
    ::GetIconInfo(reinterpret_cast<HICON>(::SendMessageW(frame, WM_GETICON, ICON_SMALL, 0)), &info);
    vt::unique_gdi colour(info.hbmColor);
    vt::unique_gdi mask(info.hbmMask);
    BITMAP bitmap{};
    ::GetObjectW(colour.get(), sizeof(bitmap), &bitmap);
    EXPECT_EQ(bitmap.bmHeight, scale_dpi(16, base_dpi, dpi)) << "caption icon";
}

class Wizard : public ::testing::Test {
protected:
    void SetUp() override
    {
        context.finished = false;
        context.advanced_mode = false;
        context.previous_state = 0;
        context.installed_version_text.clear();
        context.install_folder =
            vt::known_folder(FOLDERID_ProgramFiles) + L"\\Vantrel Software\\Tablewright 8";
        TearDown();
    }
    // The real installation, English and no stored frame size, before and
    // after each case.
    void TearDown() override
    {
        dlg_main::instance().installation = nullptr;
        set_language(language_english);
        ::RegDeleteKeyValueW(HKEY_CURRENT_USER, size_key, L"InstallerSize");
    }

    installer_context& context = installer_context::instance();
};

// The wizard at the scale of its screen (the suite runs at 96, 144 and 192
// dpi).
class WizardScale : public Wizard {};

} // namespace

// Quick installation skips the options page both ways; advanced goes
// through it.
TEST_F(Wizard, AdvancedInstallationAloneGoesThroughTheOptionsPage)
{
    run_wizard([this](HWND frame) {
        EXPECT_EQ(visible_page(), 0);
        EXPECT_FALSE(enabled(frame, IDC_BACK));
        click(frame, IDC_NEXT);
        EXPECT_EQ(::IsDlgButtonChecked(page(1), IDC_QUICK), BST_CHECKED);
        click(frame, IDC_NEXT);
        EXPECT_EQ(visible_page(), 3);
        EXPECT_EQ(control_text(frame, IDC_NEXT), L"Install");
        EXPECT_EQ(::GetFocus(), ::GetDlgItem(frame, IDC_NEXT));
        EXPECT_EQ(LOWORD(::SendMessageW(frame, DM_GETDEFID, 0, 0)), IDC_NEXT);
        EXPECT_FALSE(::IsWindowVisible(::GetDlgItem(page(3), IDC_PROGRESS)));
        click(frame, IDC_BACK);
        EXPECT_EQ(visible_page(), 1);
        EXPECT_EQ(control_text(frame, IDC_NEXT), L"Next >");

        click(page(1), IDC_ADVANCED);
        EXPECT_TRUE(context.advanced_mode);
        click(frame, IDC_NEXT);
        EXPECT_EQ(visible_page(), 2);
        click(frame, IDC_NEXT);
        EXPECT_EQ(visible_page(), 3);
        click(frame, IDC_BACK);
        EXPECT_EQ(visible_page(), 2);
        click(frame, IDC_BACK);
        click(page(1), IDC_QUICK);
        EXPECT_FALSE(context.advanced_mode);
        click(frame, IDC_BACK);
        EXPECT_EQ(visible_page(), 0);
        EXPECT_FALSE(enabled(frame, IDC_BACK));
    });
}

// An installation that has succeeded (finished set, as a successful run
// leaves it) turns Install into Next, leads to the end page and lets the
// user leave without a question.
TEST_F(Wizard, AfterTheInstallationTheEndPageLeavesAndBackShowsTheLog)
{
    INT_PTR result = run_wizard([this](HWND frame) {
        click(frame, IDC_NEXT);
        click(frame, IDC_NEXT);
        ASSERT_EQ(visible_page(), 3);
        context.finished = true;
        click(frame, IDC_NEXT);
        EXPECT_EQ(visible_page(), 4);
        EXPECT_TRUE(enabled(frame, IDC_BACK));
        EXPECT_FALSE(enabled(frame, IDC_NEXT));
        EXPECT_EQ(LOWORD(::SendMessageW(frame, DM_GETDEFID, 0, 0)), IDC_EXIT);
        EXPECT_EQ(control_text(frame, IDC_EXIT), L"Exit");

        box_watcher boxes([](const seen_box&) { return IDNO; });
        click(frame, IDC_BACK);
        EXPECT_EQ(visible_page(), 3);
        EXPECT_FALSE(enabled(frame, IDC_BACK));
        EXPECT_EQ(control_text(frame, IDC_NEXT), L"Next >");
        click(frame, IDC_NEXT);
        click(frame, IDC_EXIT); // leaving asks nothing
        EXPECT_FALSE(::IsWindowVisible(frame));
        EXPECT_TRUE(boxes.boxes().empty());
    });
    EXPECT_EQ(result, 1);
}


// An installation that throws leaves the buttons and the way out as they
// were before Install; while an installation runs no way out works, nor the
// About box; after it the way out works again.
TEST_F(Wizard, TheWayOutIsClosedOnlyWhileTheInstallationRuns)
{
    auto& frame_object = dlg_main::instance();
    INT_PTR result = run_wizard([&frame_object](HWND frame) {
        click(frame, IDC_NEXT);
        click(frame, IDC_NEXT);
        ASSERT_EQ(visible_page(), 3);
        // Yes to the question, OK to a report.
        box_watcher yes([](const seen_box& box) { return box.buttons.size() == 1 ? box.buttons[0] : IDYES; });
        frame_object.installation = []() -> bool { throw std::runtime_error("stand-in failure"); };
        click(frame, IDC_NEXT);
        pump_messages();
        EXPECT_EQ(yes.boxes().size(), 1u) << "the failure's report";
        for (int id : {IDC_BACK, IDC_NEXT, IDC_EXIT})
            EXPECT_TRUE(enabled(frame, id)) << id;
        EXPECT_FALSE(close_greyed(frame));

        bool seen_running = false;
        frame_object.installation = [&] {
            seen_running = true;
            for (int id : {IDC_BACK, IDC_NEXT, IDC_EXIT})
                EXPECT_FALSE(enabled(frame, id)) << id;
            EXPECT_TRUE(close_greyed(frame));
            // Every way out a user has: Esc, Alt+F4, the system menu's Close
            // (or the close box), a close request from outside (the taskbar,
            // another program) and the buttons.
            ::PostMessageW(frame, WM_KEYDOWN, VK_ESCAPE, 1);
            ::PostMessageW(frame, WM_SYSKEYDOWN, VK_F4, 1 | (KF_ALTDOWN << 16));
            ::PostMessageW(frame, WM_SYSCOMMAND, SC_CLOSE, 0);
            ::PostMessageW(frame, WM_CLOSE, 0, 0);
            ::PostMessageW(frame, WM_SYSCOMMAND, IDM_ABOUT, 0); // its modal loop would hold it up
            for (int id : {IDC_EXIT, IDC_NEXT, IDC_BACK})
                ::SendMessageW(frame, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED), 0);
            pump_messages();
            EXPECT_EQ(visible_page(), 3);
            return false;
        };
        click(frame, IDC_NEXT);
        pump_messages();
        EXPECT_TRUE(seen_running);
        EXPECT_EQ(yes.boxes().size(), 1u) << "no question and no About box while installing";
        ASSERT_TRUE(::IsWindowVisible(frame));
        EXPECT_FALSE(close_greyed(frame));

        // Not installing any more: Alt+F4 asks, and Yes leaves.
        ::PostMessageW(frame, WM_SYSKEYDOWN, VK_F4, 1 | (KF_ALTDOWN << 16));
        pump_messages();
        ASSERT_EQ(yes.boxes().size(), 2u);
        EXPECT_EQ(yes.boxes().back().text,
                  L"Installation is not complete.\n\nDo you still confirm exit Installation ?");
    });
    EXPECT_EQ(result, 2);
}

// Leaving asks first only when something is left undone.
TEST_F(Wizard, TheExitQuestionComesOnlyWhenSomethingIsLeftUndone)
{
    const struct {
        std::int32_t previous_state;
        bool from_mode_page;
        bool asks;
    } cases[] = {{0, false, true}, {2, false, true}, {1, false, false}, {1, true, true}, {-1, false, false}};
    context.installed_version_text = L"8.10a";
    for (const auto& test : cases) {
        SCOPED_TRACE(testing::Message() << "state " << test.previous_state << ", from the mode page "
                                        << test.from_mode_page);
        context.previous_state = test.previous_state;
        std::vector<seen_box> questions;
        INT_PTR result = run_wizard([&](HWND frame) {
            if (test.previous_state == -1) {
                EXPECT_FALSE(enabled(frame, IDC_NEXT)) << "over a newer version the user can only leave";
            }
            if (test.from_mode_page)
                click(frame, IDC_NEXT);
            box_watcher yes([](const seen_box&) { return IDYES; });
            click(frame, IDC_EXIT);
            questions = yes.boxes();
        });
        std::ostringstream shown; // which boxes came, when too many did
        for (const seen_box& box : questions)
            shown << "\n\"" << std::string(box.text.begin(), box.text.end()) << "\" in \""
                  << std::string(box.caption.begin(), box.caption.end()) << "\"";
        EXPECT_EQ(questions.size(), test.asks ? 1u : 0u) << shown.str();
        EXPECT_EQ(result, 2);
    }
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
        // German chosen in the list, which tells its page as a key press would.
        HWND list = ::GetDlgItem(page(0), IDC_LANGUAGE_LIST);
        ::SendMessageW(list, CB_SETCURSEL, 2, 0);
        ::SendMessageW(page(0), WM_COMMAND, MAKEWPARAM(IDC_LANGUAGE_LIST, CBN_SELCHANGE), LPARAM(list));
        switched = all_texts(frame);
    });

    EXPECT_EQ(switched, german_from_start);
    std::size_t translated = 0;
    for (const auto& [key, text] : english)
        if (switched[key] != text)
            ++translated;
    EXPECT_GE(translated, 20u);
}

// At its smallest size, in every language with installer texts and for
// every earlier-installation state, no text of the wizard is cut off.
TEST_F(Wizard, EveryTextFitsItsControlInEveryLanguage)
{
    context.installed_version_text = L"Tablewright 8.10a";
    for (unsigned language = 0; language < language_count; ++language) {
        if (!installer_translated(language))
            continue;
        for (std::int32_t state : {0, 1, 2, -1}) {
            SCOPED_TRACE(testing::Message() << language_table[language].english_name << ", state " << state);
            set_language(language);
            context.previous_state = state;
            run_wizard([&](HWND frame) {
                dlg_end::instance().show_result();
                // The frame (-1) and the pages the user can reach: over an
                // earlier installation only the start page.
                for (int index = -1; index < (state == 0 ? 5 : 1); ++index) {
                    HWND parent = index < 0 ? frame : page(unsigned(index));
                    for (HWND child = ::GetWindow(parent, GW_CHILD); child;
                         child = ::GetWindow(child, GW_HWNDNEXT))
                        if (std::string room = clipping(child); !room.empty())
                            ADD_FAILURE() << "page " << index << ", control " << ::GetDlgCtrlID(child) << " ("
                                          << room << "): " << get_window_text(child);
                }
            });
        }
    }
}

// At the scale the wizard starts at and after a move to a monitor at 150 %
// of it (WM_DPICHANGED, which Wine never sends itself): the side image fills
// its slot, the flags and the caption icon have their size for the scale, no
// control lies outside its window and the minimum size grows with the scale
// (at 100 % it is more than 600 x 240 pixels). The move back gives the
// start's layout again, each edge within the pixel that rounding costs; the
// size stored at the end is the one at 96 dpi.
TEST_F(WizardScale, PicturesAndControlsFitTheStartScaleAndAChangeOfScale)
{
    SIZE closed{};
    unsigned larger = 0;
    run_wizard([&](HWND frame) {
        const dlg_main& wizard = dlg_main::instance();
        const unsigned start = wizard.dpi;
        larger = start * 3 / 2;
        auto change_scale = [frame](unsigned dpi, const RECT& suggested) {
            ::SendMessageW(frame, WM_DPICHANGED, MAKEWPARAM(dpi, dpi), reinterpret_cast<LPARAM>(&suggested));
        };
        EXPECT_EQ(scale_faults(frame, start, start), "");
        expect_icons_at(frame, start);
        EXPECT_GT(wizard.min_width, scale_dpi(600, base_dpi, start));
        EXPECT_GT(wizard.min_height, scale_dpi(240, base_dpi, start));
        const wizard_layout before = layout_of(frame);
        const SIZE minimum{wizard.min_width, wizard.min_height};
        const RECT outer = window_rect(frame);
        const RECT larger_outer{outer.left, outer.top, outer.left + scale_dpi(outer.right - outer.left, start, larger),
                                outer.top + scale_dpi(outer.bottom - outer.top, start, larger)};

        change_scale(larger, larger_outer);
        EXPECT_EQ(scale_faults(frame, start, larger), "");
        expect_icons_at(frame, larger);
        EXPECT_EQ(wizard.min_width, scale_dpi(minimum.cx, start, larger));
        EXPECT_EQ(wizard.min_height, scale_dpi(minimum.cy, start, larger));

        change_scale(start, outer);
        for (const auto& [key, now] : layout_of(frame)) {
            const RECT was = before.count(key) ? before.at(key) : RECT{};
            EXPECT_LE(std::max({std::abs(was.left - now.left), std::abs(was.top - now.top),
                                std::abs(was.right - now.right), std::abs(was.bottom - now.bottom)}), 1)
                << "window " << key.first << ", control " << key.second << " was at " << describe(was);
        }
        EXPECT_EQ(wizard.min_width, minimum.cx);

        change_scale(larger, larger_outer);
        const RECT placed = window_rect(frame);
        closed = {placed.right - placed.left, placed.bottom - placed.top};
    });
    std::int32_t stored[2] = {};
    DWORD size = sizeof(stored);
    ASSERT_EQ(::RegGetValueW(HKEY_CURRENT_USER, size_key, L"InstallerSize", RRF_RT_REG_BINARY, nullptr, stored, &size),
              ERROR_SUCCESS);
    EXPECT_EQ(stored[0], scale_dpi(closed.cx, larger, base_dpi));
    EXPECT_EQ(stored[1], scale_dpi(closed.cy, larger, base_dpi));
}
