#include "wizard_driver.h"

#include "app/language.h"
#include "resources/dialog_ids.h"
#include "ui/basic_dialog.h"
#include "ui/dlg_main.h"
#include "ui/window_utilities.h"

#include <commctrl.h>
#include <gtest/gtest.h>

namespace {


const std::function<void(HWND)>* pending_script = nullptr;

void CALLBACK start_script(HWND, UINT, UINT_PTR timer, DWORD)
{
    HWND frame = dlg_main::instance().hwnd;
    // The dialog manager shows the frame once its loop is idle; the script
    // starts when the user could see it.
    if (!frame || !::IsWindowVisible(frame))
        return;
    ::KillTimer(nullptr, timer);
    // The frame itself is no box for the test's watchers to answer.
    ::SetPropW(frame, L"vt.test.seen", reinterpret_cast<HANDLE>(1));
    ::SetPropW(frame, L"vt.test.scripted", reinterpret_cast<HANDLE>(1));
    if (pending_script)
        (*pending_script)(frame);
    if (::IsWindow(frame) && ::IsWindowVisible(frame))
        ::EndDialog(frame, -1);
}

} // namespace

INT_PTR run_wizard(const std::function<void(HWND frame)>& script)
{
    pending_script = &script;
    UINT_PTR timer = ::SetTimer(nullptr, 0, 10, start_script);
    INT_PTR result = ::DialogBoxParamW(language_settings::instance().resource_module(), MAKEINTRESOURCEW(IDD_MAIN),
                                       nullptr, dialog_proc, reinterpret_cast<LPARAM>(&dlg_main::instance()));
    ::KillTimer(nullptr, timer);
    pending_script = nullptr;
    return result;
}

void click(HWND parent, int id)
{
    HWND button = ::GetDlgItem(parent, id);
    ASSERT_TRUE(button) << "no control " << id;
    ASSERT_TRUE(::IsWindowVisible(button)) << "control " << id << " is not visible";
    ASSERT_TRUE(::IsWindowEnabled(button)) << "control " << id << " is disabled";
    ::SendMessageW(button, BM_CLICK, 0, 0);
}

void pick_language(HWND list, int position)
{
    HWND combo = reinterpret_cast<HWND>(::SendMessageW(list, CBEM_GETCOMBOCONTROL, 0, 0));
    int count = int(::SendMessageW(list, CB_GETCOUNT, 0, 0));
    ASSERT_LT(position, count);
    // One arrow key away from the wanted entry, then the key the user presses.
    bool up = position + 1 < count;
    ::SendMessageW(list, CB_SETCURSEL, WPARAM(up ? position + 1 : position - 1), 0);
    ::SendMessageW(combo, WM_KEYDOWN, up ? VK_UP : VK_DOWN, 0);
    ::SendMessageW(combo, WM_KEYUP, up ? VK_UP : VK_DOWN, 0);
}

HWND page(unsigned index)
{
    return dlg_main::instance().pages[index]->hwnd;
}

int visible_page()
{
    int found = -1;
    for (unsigned index = 0; index < 5; ++index)
        if (::IsWindowVisible(page(index))) {
            if (found >= 0)
                return -1;
            found = int(index);
        }
    return found;
}

std::wstring control_text(HWND parent, int id)
{
    return get_window_text(::GetDlgItem(parent, id));
}

bool enabled(HWND parent, int id)
{
    return ::IsWindowEnabled(::GetDlgItem(parent, id)) != FALSE;
}

std::vector<std::wstring> menu_items(HWND frame, UINT command)
{
    std::vector<std::wstring> items;
    HMENU menu = ::GetSystemMenu(frame, FALSE);
    for (int position = 0, count = ::GetMenuItemCount(menu); position < count; ++position) {
        if (::GetMenuItemID(menu, position) != command)
            continue;
        wchar_t text[256] = {};
        ::GetMenuStringW(menu, UINT(position), text, 256, MF_BYPOSITION);
        items.push_back(text);
    }
    return items;
}

wizard_texts all_texts(HWND frame)
{
    wizard_texts texts;
    auto add_children = [&texts](int window, HWND parent) {
        texts[{window, 0}] = get_window_text(parent);
        for (HWND child = ::GetWindow(parent, GW_CHILD); child; child = ::GetWindow(child, GW_HWNDNEXT)) {
            wchar_t name[32] = {};
            ::GetClassNameW(child, name, 32);
            int id = ::GetDlgCtrlID(child);
            // Pages are listed on their own; the language list shows native
            // names that do not depend on the installer's language.
            if (::lstrcmpW(name, L"#32770") == 0 || ::lstrcmpiW(name, WC_COMBOBOXEXW) == 0 || id <= 0)
                continue;
            texts[{window, id}] = get_window_text(child);
        }
    };
    add_children(-1, frame);
    for (unsigned index = 0; index < 5; ++index)
        add_children(int(index), page(index));
    auto about = menu_items(frame, IDM_ABOUT);
    texts[{-2, IDM_ABOUT}] = about.empty() ? L"" : about.front();
    return texts;
}
