#pragma once
// The wizard's pictures at the scale of its window: the side image made to
// fill its slot, and icons loaded at the size the scale asks for rather than
// stretched by the system.

#include "support/unique_any.h"

#include <windows.h>

// The side image (IDB_SIDE_BITMAP of module) as a bitmap of exactly the
// control's client size: the picture, which ships larger than it is ever
// shown at 200 %, scaled to the slot's width with the halftone filter, and
// white below it, the white the picture fades into. Empty when the slot is
// empty or the picture cannot be loaded.
vt::unique_gdi side_image_for(HWND control, HMODULE module);

// The icon resource of module at width x height pixels, from the image of
// the group nearest that size.
vt::unique_icon load_icon(HMODULE module, unsigned id, int width, int height);
