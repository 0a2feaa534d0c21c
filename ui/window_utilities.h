#pragma once
// Small window helpers of the wizard: rectangles in the coordinates a window
// is placed in, moving a window with one call, keeping a rectangle on a
// monitor, and window texts as wide strings.

#include <windows.h>

#include <string>

// The window's rectangle: in its parent's client coordinates for a child
// window, in screen coordinates for a top-level one.
RECT window_rect(HWND window);

// Moves and sizes a window in one SetWindowPos call without touching the
// z-order; reversed edges are swapped first. Skips the move or the size when
// that part does not change.
void set_window_rect(HWND window, int left, int top, int right, int bottom);
inline void set_window_rect(HWND window, const RECT& rect)
{
    set_window_rect(window, rect.left, rect.top, rect.right, rect.bottom);
}

// Shifts a rectangle in screen coordinates so that at least percent of it is
// on a display monitor; one that is visible enough stays where it is.
void fit_rect_on_monitor(RECT& rect, unsigned percent);

void set_text(HWND window, const std::wstring& text);

// The window's text; empty when it has none or cannot be read.
std::wstring get_window_text(HWND window);
