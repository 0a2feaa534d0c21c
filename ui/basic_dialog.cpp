#include "ui/basic_dialog.h"

#include "app/installer_context.h"
#include "app/language.h"
#include "ui/message_box.h"
#include "ui/window_utilities.h"

#include <exception>
#include <string>
#include <system_error>

bool basic_dialog::on_command(unsigned, unsigned)
{
    return false;
}

bool basic_dialog::on_sys_command(unsigned)
{
    return false;
}

bool basic_dialog::on_close()
{
    return false;
}

INT_PTR basic_dialog::create(HWND parent, unsigned template_id)
{
    HMODULE module = language_settings::instance().resource_module();
    auto param = reinterpret_cast<LPARAM>(this);
    if (parent)
        return reinterpret_cast<INT_PTR>(
            ::CreateDialogParamW(module, MAKEINTRESOURCEW(template_id), parent, dialog_proc, param));
    return ::DialogBoxParamW(module, MAKEINTRESOURCEW(template_id), nullptr, dialog_proc, param);
}

void basic_dialog::layout_children(int cx, int cy, std::span<const anchor> entries)
{
    int dx = cx - width;
    int dy = cy - height;
    width = cx;
    height = cy;

    HDWP batch = ::BeginDeferWindowPos(int(entries.size()));
    for (const anchor& entry : entries) {
        if (!entry.window)
            continue; // a control or page that could not be created
        RECT rect = window_rect(entry.window);
        UINT flags = SWP_NOZORDER | SWP_NOACTIVATE | SWP_NOCOPYBITS;
        if (entry.flags & (anchor_move_x | anchor_move_y)) {
            if (entry.flags & anchor_move_x)
                ::OffsetRect(&rect, dx, 0);
            if (entry.flags & anchor_move_y)
                ::OffsetRect(&rect, 0, dy);
        } else {
            flags |= SWP_NOMOVE;
        }
        if (entry.flags & (anchor_size_x | anchor_size_y)) {
            if (entry.flags & anchor_size_x)
                rect.right += dx;
            if (entry.flags & anchor_size_y)
                rect.bottom += dy;
        } else {
            flags |= SWP_NOSIZE;
        }
        if (batch)
            batch = ::DeferWindowPos(batch, entry.window, nullptr, rect.left, rect.top, rect.right - rect.left,
                                     rect.bottom - rect.top, flags);
    }
    if (batch)
        ::EndDeferWindowPos(batch);
}

namespace {

// A failure inside a window's handler ends there: the user is told, the
// wizard goes on. Nothing may unwind through the system's dialog manager.
void report_failure(const std::exception& failure)
{
    std::wstring message;
    if (auto system = dynamic_cast<const std::system_error*>(&failure);
        system && system->code().category() == std::system_category())
        message = system_error_text(DWORD(system->code().value()), current_langid());
    else
        message = system_error_text(DWORD(E_FAIL), current_langid());
    message_box(message, installer_context::instance().caption(true), MB_OK | MB_ICONWARNING);
}

bool dispatch(basic_dialog& self, HWND window, UINT message, WPARAM wparam, LPARAM lparam)
{
    switch (message) {
    case WM_DESTROY:
        self.on_destroy();
        self.hwnd = nullptr;
        ::SetWindowLongPtrW(window, DWLP_USER, 0);
        return true;
    case WM_SIZE:
        self.on_size(LOWORD(lparam), HIWORD(lparam));
        return true;
    case WM_GETMINMAXINFO:
        self.on_min_max_info(*reinterpret_cast<MINMAXINFO*>(lparam));
        return true;
    case WM_INITDIALOG: {
        RECT client{};
        ::GetClientRect(window, &client);
        self.width = client.right - client.left;
        self.height = client.bottom - client.top;
        self.on_init();
        return true;
    }
    case WM_DPICHANGED:
        self.on_dpi_changed(HIWORD(wparam), *reinterpret_cast<const RECT*>(lparam));
        return true;
    case WM_COMMAND:
        return self.on_command(LOWORD(wparam), HIWORD(wparam));
    case WM_SYSCOMMAND:
        return self.on_sys_command(unsigned(wparam & 0xFFF0));
    case WM_CLOSE:
        return self.on_close();
    default:
        return false;
    }
}

} // namespace

INT_PTR CALLBACK dialog_proc(HWND window, UINT message, WPARAM wparam, LPARAM lparam)
{
    if (message == WM_INITDIALOG) {
        ::SetWindowLongPtrW(window, DWLP_USER, lparam);
        if (auto self = reinterpret_cast<basic_dialog*>(lparam))
            self->hwnd = window;
    }
    // Messages before WM_INITDIALOG (the font, the first size) and after
    // WM_DESTROY have no object: default processing.
    auto self = reinterpret_cast<basic_dialog*>(::GetWindowLongPtrW(window, DWLP_USER));
    if (!self)
        return FALSE;

    bool handled = false;
    try {
        handled = dispatch(*self, window, message, wparam, lparam);
    } catch (const std::exception& failure) {
        report_failure(failure);
        handled = message != WM_INITDIALOG;
    }
    if (!handled)
        return FALSE;
    // WM_INITDIALOG returns its result directly: TRUE lets the system set
    // the default focus. Every other handled message answers 0.
    if (message != WM_INITDIALOG)
        ::SetWindowLongPtrW(window, DWLP_MSGRESULT, 0);
    return TRUE;
}
