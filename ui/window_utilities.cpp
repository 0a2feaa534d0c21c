#include "ui/window_utilities.h"

#include <utility>

RECT window_rect(HWND window)
{
    RECT rect{};
    ::GetWindowRect(window, &rect);
    if (::GetWindowLongW(window, GWL_STYLE) & WS_CHILD)
        ::MapWindowPoints(nullptr, ::GetParent(window), reinterpret_cast<POINT*>(&rect), 2);
    return rect;
}

void set_window_rect(HWND window, int left, int top, int right, int bottom)
{
    if (right < left)
        std::swap(left, right);
    if (bottom < top)
        std::swap(top, bottom);
    RECT current = window_rect(window);
    UINT flags = SWP_NOZORDER | SWP_NOACTIVATE | SWP_NOOWNERZORDER;
    if (current.left == left && current.top == top)
        flags |= SWP_NOMOVE;
    if (current.right - current.left == right - left && current.bottom - current.top == bottom - top)
        flags |= SWP_NOSIZE;
    else
        flags |= SWP_NOCOPYBITS; // the old pixels are laid out for the old size
    ::SetWindowPos(window, nullptr, left, top, right - left, bottom - top, flags);
}

namespace {

BOOL CALLBACK add_visible_area(HMONITOR, HDC, LPRECT monitor, LPARAM param)
{
    auto search = reinterpret_cast<std::pair<const RECT*, unsigned long long>*>(param);
    RECT visible;
    if (::IntersectRect(&visible, monitor, search->first))
        search->second += static_cast<unsigned long long>(visible.right - visible.left) *
                          static_cast<unsigned long long>(visible.bottom - visible.top);
    return TRUE;
}

} // namespace

void fit_rect_on_monitor(RECT& rect, unsigned percent)
{
    POINT corner{rect.left, rect.top};
    MONITORINFO info{};
    info.cbSize = sizeof(info);
    if (!::GetMonitorInfoW(::MonitorFromPoint(corner, MONITOR_DEFAULTTONEAREST), &info))
        return;

    // A corner off every monitor first comes back onto the nearest one.
    if (!::PtInRect(&info.rcMonitor, corner)) {
        LONG dx = corner.x < info.rcMonitor.left ? info.rcMonitor.left - corner.x
                  : corner.x > info.rcMonitor.right ? info.rcMonitor.right - corner.x
                                                     : 0;
        LONG dy = corner.y < info.rcMonitor.top ? info.rcMonitor.top - corner.y
                  : corner.y > info.rcMonitor.bottom ? info.rcMonitor.bottom - corner.y
                                                      : 0;
        ::OffsetRect(&rect, dx, dy);
    }

    std::pair<const RECT*, unsigned long long> search{&rect, 0};
    if (!::EnumDisplayMonitors(nullptr, &rect, add_visible_area, reinterpret_cast<LPARAM>(&search)))
        return;
    unsigned width = unsigned(rect.right - rect.left);
    unsigned height = unsigned(rect.bottom - rect.top);
    if (search.second >= width * height * percent / 100)
        return;

    MONITORINFO nearest{};
    nearest.cbSize = sizeof(nearest);
    if (!::GetMonitorInfoW(::MonitorFromRect(&rect, MONITOR_DEFAULTTONEAREST), &nearest))
        return;
    const RECT& work = nearest.rcWork;
    // In this order, so that a rectangle larger than the work area ends on
    // its left and top edges.
    if (rect.right > work.right)
        ::OffsetRect(&rect, work.right - rect.right, 0);
    if (rect.left < work.left)
        ::OffsetRect(&rect, work.left - rect.left, 0);
    if (rect.bottom > work.bottom)
        ::OffsetRect(&rect, 0, work.bottom - rect.bottom);
    if (rect.top < work.top)
        ::OffsetRect(&rect, 0, work.top - rect.top);
}

void set_text(HWND window, const std::wstring& text)
{
    ::SetWindowTextW(window, text.c_str());
}

std::wstring get_window_text(HWND window)
{
    int length = ::GetWindowTextLengthW(window);
    if (length <= 0)
        return {};
    std::wstring text(std::size_t(length), L'\0');
    int read = ::GetWindowTextW(window, text.data(), length + 1);
    text.resize(std::size_t(read > 0 ? read : 0));
    return text;
}
