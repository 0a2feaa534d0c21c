#pragma once
// The installer's application icon: a wooden table on a blueprint-blue tile,
// the furniture-design product's emblem.

#include "tools/art/canvas.h"

#include <vector>

namespace vt::art {

// The icon's images at the sizes Windows asks for: 32, 16, 24, 48 and 256
// pixels square, in this order (24 is the caption's at 150 %). Loading an icon at width and height 0 (the
// installer's window icon) takes the group's first image, so that one is
// the standard 32-pixel icon.
std::vector<canvas> paint_application_icon();

// One image of the icon, `size` pixels square.
canvas paint_application_icon(int size);

} // namespace vt::art
