#include "ui/message_box.h"

#include "app/language.h"
#include "app/version_text.h"
#include "support/unique_any.h"
#include "support/version_info.h"

#include <filesystem>

ui_settings& ui_settings::instance()
{
    static ui_settings settings;
    return settings;
}

std::wstring message_text::resolve() const
{
    if (id_ != 0)
        return text(id_);
    return text_;
}

namespace {

BOOL CALLBACK first_captioned_root(HWND window, LPARAM param)
{
    HWND root = ::GetAncestor(window, GA_ROOTOWNER);
    if (root && (::GetWindowLongW(root, GWL_STYLE) & WS_CAPTION) == WS_CAPTION) {
        *reinterpret_cast<HWND*>(param) = root;
        return FALSE;
    }
    return TRUE;
}

std::wstring default_caption()
{
    std::wstring caption = version_text(vt::version_info::own());
    if (!caption.empty())
        return caption;
    wchar_t path[MAX_PATH] = {};
    ::GetModuleFileNameW(nullptr, path, MAX_PATH);
    return std::filesystem::path(path).stem().wstring();
}

} // namespace

HWND find_modal_owner()
{
    HWND window = ::GetActiveWindow();
    if (window)
        window = ::GetAncestor(window, GA_ROOTOWNER);
    else
        ::EnumThreadWindows(::GetCurrentThreadId(), first_captioned_root, reinterpret_cast<LPARAM>(&window));
    return window ? ::GetLastActivePopup(window) : nullptr;
}

modal_scope::modal_scope() : owner_(find_modal_owner())
{
    if (owner_)
        ::EnableWindow(owner_, TRUE);
}

modal_scope::~modal_scope()
{
    if (owner_)
        ::EnableWindow(owner_, TRUE);
}

UINT complete_message_style(UINT style, HWND owner)
{
    if ((style & MB_ICONMASK) == 0) {
        switch (style & MB_TYPEMASK) {
        case MB_OK:
        case MB_OKCANCEL: style |= MB_ICONWARNING; break;
        case MB_YESNOCANCEL:
        case MB_YESNO: style |= MB_ICONQUESTION; break;
        default: break;
        }
    }
    bool rtl = owner ? (::GetWindowLongW(owner, GWL_EXSTYLE) & WS_EX_LAYOUTRTL) != 0
                     : language_settings::instance().right_to_left;
    if (rtl)
        style |= MB_RTLREADING;
    if ((style & MB_ICONMASK) == MB_USERICON)
        style &= ~MB_ICONMASK;
    return style;
}

int message_box(const message_text& text, const message_text& caption, UINT style)
{
    modal_scope scope;
    style = complete_message_style(style, scope.owner());
    std::wstring caption_text = caption.resolve();
    if (caption_text.empty())
        caption_text = default_caption();
    std::wstring body = text.resolve();
    return ::MessageBoxW(scope.owner(), body.c_str(), caption_text.c_str(), style);
}

bool is_edit_class(HWND window)
{
    wchar_t name[16] = {};
    if (!::GetClassNameW(window, name, 16))
        return false;
    return ::lstrcmpiW(name, L"Edit") == 0;
}
