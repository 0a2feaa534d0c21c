#include "tools/art/side_bitmap.h"

#include <algorithm>

namespace vt::art {
namespace {

using namespace shapes;

constexpr double w = side_bitmap_width;
constexpr double h = side_bitmap_height;
// Where the blue starts to fade into the panel's white.
constexpr double fade_start = 124;

const colour ink = rgb(0xFFFFFF, 0.92);
constexpr double stroke = 1.3;

colour background(point p)
{
    const colour top = rgb(0x163A6B);
    const colour bottom = rgb(0x4586C8);
    const colour blue = mix(top, bottom, std::clamp(p.y / fade_start, 0.0, 1.0));
    const double fade = std::clamp((p.y - fade_start) / (h - fade_start), 0.0, 1.0);
    // Ease out, so that the last rows are pure white.
    return mix(blue, rgb(0xFFFFFF), fade * fade * (3 - 2 * fade));
}

// Faint drafting grid, vanishing with the blue.
void grid(canvas& c)
{
    shape lines = [](point p) {
        const int x = static_cast<int>(p.x);
        const int y = static_cast<int>(p.y);
        return x % 8 == 3 || y % 8 == 3;
    };
    c.fill(lines, [](point p) {
        const double fade = std::clamp((p.y - fade_start + 20) / 30, 0.0, 1.0);
        return rgb(0xFFFFFF, 0.07 * (1 - fade));
    });
}

void line_to(canvas& c, point a, point b, double width = stroke, colour col = ink)
{
    c.fill(line(a, b, width), col);
}

// A drafting set square in the top corner.
void set_square(canvas& c)
{
    const colour faint = rgb(0xFFFFFF, 0.55);
    const shape outer = polygon({{14, 14}, {14, 46}, {46, 46}});
    const shape inner = polygon({{19.5, 27}, {19.5, 40.5}, {33, 40.5}});
    c.fill(subtracted(outer, inner), rgb(0xFFFFFF, 0.16));
    c.fill(triangle_outline({14, 14}, {14, 46}, {46, 46}, 1.0), faint);
    c.fill(triangle_outline({19.5, 27}, {19.5, 40.5}, {33, 40.5}, 0.9), faint);
    // Scale marks along the long leg.
    for (int i = 1; i < 8; ++i)
        line_to(c, {14, 14 + 4.0 * i}, {i % 2 == 0 ? 17.5 : 16.0, 14 + 4.0 * i}, 0.8, faint);
}

// A chair in side view, facing the table.
void chair(canvas& c)
{
    line_to(c, {12.5, 57}, {14.5, 75}); // back post, leaning back a little
    line_to(c, {14.5, 75}, {15.5, 90});
    line_to(c, {15.5, 90}, {15, 114}); // back leg
    line_to(c, {15.5, 90}, {33, 90}); // seat
    line_to(c, {32, 90}, {33, 114}); // front leg
    c.fill(polygon({{12.6, 59}, {16.2, 59.6}, {17.6, 75}, {14.6, 75}}), rgb(0xFFFFFF, 0.3)); // back rest
    line_to(c, {15.5, 103}, {32.6, 103}, 0.9); // stretcher
    c.fill(polygon({{15.5, 88.4}, {33, 88.4}, {33, 91.2}, {15.5, 91.2}}), rgb(0xFFFFFF, 0.25));
}

// A table in perspective, with a dimension line above it.
void table(canvas& c)
{
    const point back_left{45, 74}, back_right{77, 74}, front_right{82, 80}, front_left{40, 80};
    c.fill(polygon({back_left, back_right, front_right, front_left}), rgb(0xFFFFFF, 0.22));
    line_to(c, back_left, back_right);
    line_to(c, back_right, front_right);
    line_to(c, front_right, front_left);
    line_to(c, front_left, back_left);
    c.fill(rectangle(40, 80, 82, 84), rgb(0xFFFFFF, 0.35)); // front board
    line_to(c, {40, 84}, {82, 84});
    line_to(c, {40, 80}, {40, 84});
    line_to(c, {82, 80}, {82, 84});
    line_to(c, {43, 84}, {43, 114}); // front legs
    line_to(c, {79, 84}, {79, 114});
    line_to(c, {49, 84}, {49, 106}, 1.0, rgb(0xFFFFFF, 0.6)); // back legs, further away
    line_to(c, {73, 84}, {73, 106}, 1.0, rgb(0xFFFFFF, 0.6));

    // Dimension line: extension lines, the measure and its arrow heads.
    const colour faint = rgb(0xFFFFFF, 0.7);
    line_to(c, {40, 58}, {40, 76}, 0.7, faint);
    line_to(c, {82, 58}, {82, 78}, 0.7, faint);
    line_to(c, {41, 62}, {81, 62}, 0.8, faint);
    c.fill(polygon({{40.5, 62}, {45, 60.2}, {45, 63.8}}), faint);
    c.fill(polygon({{81.5, 62}, {77, 60.2}, {77, 63.8}}), faint);
}

} // namespace

canvas paint_side_bitmap()
{
    constexpr int s = side_bitmap_scale;
    canvas c(side_bitmap_width * s, side_bitmap_height * s, 4, s);
    c.fill(rectangle(0, 0, w, h), shader(background));
    grid(c);
    set_square(c);
    // The floor the furniture stands on.
    line_to(c, {6, 114.5}, {w - 3, 114.5}, 0.8, rgb(0xFFFFFF, 0.5));
    chair(c);
    table(c);
    return c;
}

} // namespace vt::art
