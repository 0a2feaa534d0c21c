#pragma once
// The wizard's side image: a vertical banner left of the pages.

#include "tools/art/canvas.h"

namespace vt::art {

// The frame places the image at 3,3 dialog units in a 58 x 105 unit slot of
// a white panel, scaled to the slot's width. 58 units are 87 pixels with the
// 8-point dialog font at 96 dpi on Windows and under Wine alike; 105 units
// are 171 pixels on Windows but only 157 under Wine, whose dialog font is a
// little shorter. The image takes the smaller height so that it never spills
// over the separator below the panel, and fades into the panel's white at
// the bottom so that the taller slot looks intended. These are its sizes at
// 96 dpi; it is painted side_bitmap_scale times larger, so that the frame
// only ever scales it down up to 200 %.
constexpr int side_bitmap_width = 87;
constexpr int side_bitmap_height = 157;
constexpr int side_bitmap_scale = 2;

// The banner, opaque.
canvas paint_side_bitmap();

} // namespace vt::art
