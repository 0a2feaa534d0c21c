#pragma once
// The scale the wizard is drawn at. Pictures and stored sizes are measured at
// 96 dots per inch (100 %) and scaled to the dots per inch of the window's
// monitor, which may change when the window moves to another monitor.

#include <windows.h>

inline constexpr unsigned base_dpi = 96;

// The dots per inch of the window's monitor (Windows 10 1607 and later), or
// of the whole system on older versions.
unsigned window_dpi(HWND window);

// A length given at from dots per inch, at to dots per inch.
inline int scale_dpi(int length, unsigned from, unsigned to)
{
    return ::MulDiv(length, int(to), int(from));
}

// Windows 10 1703 and later rescale a dialog's controls and fonts
// themselves when its scale changes; the wizard, which also lays out its
// pictures and the frame's layout on that change, does it all itself and
// turns that off for the dialog. Nothing to turn off elsewhere.
void take_over_dpi_scaling(HWND dialog) noexcept;

// Moves every edge of every child of the window from one scale to another
// and gives the children font (when there is one). Combo boxes keep their
// dropped-down height in proportion.
void rescale_children(HWND parent, unsigned from, unsigned to, HFONT font);
