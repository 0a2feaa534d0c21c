#include "ui/dpi.h"

#include "support/system_library.h"
#include "ui/window_utilities.h"

#include <system_error>

unsigned window_dpi(HWND window)
{
    // Not there before Windows 10 1607: the system-wide scale, which is then
    // every window's.
    typedef UINT(WINAPI get_dpi_for_window)(HWND);
    static vt::library_function<get_dpi_for_window> dpi_for_window(L"user32.dll", "GetDpiForWindow");
    try {
        if (UINT dpi = dpi_for_window(window))
            return dpi;
    } catch (const std::system_error&) {
    }
    HDC screen = ::GetDC(nullptr);
    int dpi = screen ? ::GetDeviceCaps(screen, LOGPIXELSY) : 0;
    if (screen)
        ::ReleaseDC(nullptr, screen);
    return dpi > 0 ? unsigned(dpi) : base_dpi;
}

void take_over_dpi_scaling(HWND dialog) noexcept
{
    // DIALOG_DPI_CHANGE_BEHAVIORS, an enumeration the headers for older
    // systems lack: DDC_DISABLE_ALL.
    typedef BOOL(WINAPI set_dialog_dpi_change_behavior)(HWND, int, int);
    constexpr int disable_all = 1;
    static vt::library_function<set_dialog_dpi_change_behavior> set_behavior(L"user32.dll",
                                                                            "SetDialogDpiChangeBehavior");
    try {
        set_behavior(dialog, disable_all, disable_all);
    } catch (const std::system_error&) {
    }
}

namespace {

bool is_combo_box(HWND window)
{
    wchar_t name[32] = {};
    ::GetClassNameW(window, name, 32);
    return ::lstrcmpiW(name, L"ComboBox") == 0 || ::lstrcmpiW(name, L"ComboBoxEx32") == 0;
}

} // namespace

void rescale_children(HWND parent, unsigned from, unsigned to, HFONT font)
{
    for (HWND child = ::GetWindow(parent, GW_CHILD); child; child = ::GetWindow(child, GW_HWNDNEXT)) {
        RECT rect = window_rect(child);
        int height = rect.bottom - rect.top;
        // A combo box is sized with its list dropped down; its closed height
        // follows the font.
        RECT dropped{};
        if (is_combo_box(child) &&
            ::SendMessageW(child, CB_GETDROPPEDCONTROLRECT, 0, reinterpret_cast<LPARAM>(&dropped)))
            height = dropped.bottom - dropped.top;
        if (font)
            ::SendMessageW(child, WM_SETFONT, reinterpret_cast<WPARAM>(font), FALSE);
        // Edges, not sizes, so that a control flush with an edge of its
        // parent stays flush with it.
        int left = scale_dpi(rect.left, from, to);
        int top = scale_dpi(rect.top, from, to);
        ::SetWindowPos(child, nullptr, left, top, scale_dpi(rect.right, from, to) - left,
                       scale_dpi(rect.top + height, from, to) - top, SWP_NOZORDER | SWP_NOACTIVATE | SWP_NOCOPYBITS);
    }
    ::InvalidateRect(parent, nullptr, TRUE);
}
