#pragma once
// The language list's flag icons: one 16 x 12 image per icon resource id.

#include "tools/art/canvas.h"

namespace vt::art {

constexpr int first_flag_id = 141;
constexpr int last_flag_id = 166;
constexpr int flag_width = 16;
constexpr int flag_height = 12;

// The flag of icon resource `id` (first_flag_id..last_flag_id), fully opaque.
canvas paint_flag(int id);

} // namespace vt::art
