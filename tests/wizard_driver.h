#pragma once
// Drives the installer's real wizard inside a test program: the frame runs
// modal exactly as the installer runs it, and a test script works it from
// inside its modal loop with the messages a user's actions produce.

#include <windows.h>

#include <functional>
#include <map>
#include <string>
#include <utility>

// Runs the wizard frame (template 101, dialog_proc, the dlg_main object) and
// plays script in its modal loop. Returns what the frame's loop ended with;
// a frame the script leaves open is closed afterwards and gives -1.
INT_PTR run_wizard(const std::function<void(HWND frame)>& script);

// Presses a button as the user does; the button must be visible and enabled.
void click(HWND parent, int id);
// Picks a position of the start page's language list with the keyboard.
void pick_language(HWND list, int position);

// The window of a page of the wizard (0 start ... 4 end).
HWND page(unsigned index);
// The index of the one visible page, or -1 when none or several are visible.
int visible_page();
std::wstring control_text(HWND parent, int id);
bool enabled(HWND parent, int id);

// Every text the wizard shows: window captions, control texts and the About
// item of the frame's system menu, keyed by window and control id.
using wizard_texts = std::map<std::pair<int, int>, std::wstring>;
wizard_texts all_texts(HWND frame);

// The texts of the system-menu items with the given command id.
std::vector<std::wstring> menu_items(HWND frame, UINT command);
