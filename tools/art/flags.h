#pragma once
// The language list's flag icons: per icon resource id one drawing of
// 16 x 12 units, made at 100, 150, 200 and 300 % (16 x 12 to 48 x 36 pixels)
// for the list at every scale.

#include "tools/art/canvas.h"

#include <vector>

namespace vt::art {

constexpr int first_flag_id = 141;
constexpr int last_flag_id = 166;
constexpr int flag_width = 16;
constexpr int flag_height = 12;

// The flag of icon resource `id` (first_flag_id..last_flag_id), fully opaque,
// each unit `scale` pixels.
canvas paint_flag(int id, double scale = 1);

// Every size of the flag, the smallest first.
std::vector<canvas> paint_flag_sizes(int id);

} // namespace vt::art
