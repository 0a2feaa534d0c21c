#pragma once
// Every question, notice and warning of the installer goes through
// message_box: it picks the owner window itself, fills in a default icon and
// follows the reading direction of the language.

#include "support/error_text.h"

#include <windows.h>

#include <functional>
#include <string>

// The user-interface settings of the process. The start-up hands the frame its
// window icon through icon_provider; unset means no icon.
struct ui_settings {
    static ui_settings& instance();
    std::function<HICON()> icon_provider;
};

// A message text or caption: a string, or the id of a string-table text.
class message_text {
public:
    message_text() = default;
    message_text(std::wstring text) : text_(std::move(text)) {}
    message_text(const wchar_t* text) : text_(text ? text : L"") {}
    message_text(unsigned id) : id_(id) {}
    // The text itself, the id's localised text, or empty.
    std::wstring resolve() const;

private:
    std::wstring text_;
    unsigned id_ = 0;
};

// The style a box is shown with: a default icon by the button set when none
// is given, right-to-left reading when the owner is laid out right to left or,
// without owner, when the current language is written right to left, and no
// user icon (MessageBoxW cannot show one).
UINT complete_message_style(UINT style, HWND owner);

// Returns the pressed button (IDOK, IDYES, ...), as MessageBoxW does.
int message_box(const message_text& text, const message_text& caption, UINT style);

// The window that should own a modal box, or null.
HWND find_modal_owner();

bool is_edit_class(HWND window);

// Scope of one modal box: its owner stays enabled while the box is up, so the
// box always has a working window to return to.
class modal_scope {
public:
    modal_scope();
    modal_scope(const modal_scope&) = delete;
    modal_scope& operator=(const modal_scope&) = delete;
    ~modal_scope();
    HWND owner() const noexcept { return owner_; }

private:
    HWND owner_;
};
