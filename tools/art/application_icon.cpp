#include "tools/art/application_icon.h"

#include <algorithm>
#include <cmath>

namespace vt::art {
namespace {

using namespace shapes;

// The drawing is laid out on a unit square and scaled to the image size; the
// small sizes snap the table's parts to whole pixels so that they stay crisp.
struct table_geometry {
    double top_back_y, top_front_y, edge_bottom_y; // table top: back edge, front edge, under the front board
    double top_back_inset; // how much narrower the far edge of the top looks
    double left, right; // front corners of the top
    double leg_width, leg_inset; // front legs: width, distance from the top's corners
    double foot_y, back_foot_y; // bottoms of the front and back legs
};

table_geometry geometry_for(int size)
{
    if (size <= 16)
        return {5, 7, 9, 2, 2, 14, 2, 1, 14, 12};
    if (size <= 24)
        return {8, 10, 13, 2, 2, 22, 2, 2, 20, 17};
    if (size <= 32)
        return {10, 14, 17, 3, 3, 29, 3, 2, 27, 23};
    const double s = size;
    return {0.33 * s, 0.45 * s, 0.525 * s, 0.09 * s, 0.1 * s, 0.9 * s, 0.075 * s, 0.045 * s, 0.835 * s, 0.73 * s};
}

} // namespace

canvas paint_application_icon(int size)
{
    const double s = size;
    canvas c(size, size, size >= 128 ? 4 : 8);

    // Tile: darker border, then a vertical blueprint gradient.
    const double inset = size <= 16 ? 0 : 0.03 * s;
    const double radius = std::max(2.0, 0.18 * s);
    const double border = std::max(1.0, 0.012 * s);
    const shape tile = rounded_rectangle(inset, inset, s - inset, s - inset, radius);
    const shape inner = rounded_rectangle(inset + border, inset + border, s - inset - border, s - inset - border, radius - border);
    c.fill(tile, rgb(0x153A66));
    c.fill(inner, shaders::linear({0, inset}, {0, s - inset}, rgb(0x4A8BD6), rgb(0x1F5597)));

    // Drafting grid, only where it has room to be seen.
    if (size >= 48) {
        const double step = s / 8;
        const double thickness = std::max(1.0, s / 256);
        for (int i = 1; i < 8; ++i) {
            const double at = std::round(i * step);
            c.fill(intersected(inner, united(rectangle(at, 0, at + thickness, s), rectangle(0, at, s, at + thickness))),
                rgb(0xFFFFFF, size >= 128 ? 0.13 : 0.07));
        }
    }

    const table_geometry g = geometry_for(size);
    const colour wood_light = rgb(0xF3C892);
    const colour wood = rgb(0xD99A5B);
    const colour wood_dark = rgb(0xA9632C);
    const colour wood_shade = rgb(0x7A4320);

    // Shadow on the floor.
    if (size >= 32)
        c.fill(ellipse(s / 2, g.foot_y + 0.01 * s, 0.38 * s, 0.045 * s), rgb(0x0B2240, 0.35));

    // Back legs, seen between the front ones.
    const double back_width = g.leg_width * 0.8;
    const double back_left = g.left + g.top_back_inset + g.leg_inset + 0.02 * s;
    const double back_right = g.right - g.top_back_inset - g.leg_inset - 0.02 * s - back_width;
    if (size > 16) {
        c.fill(rectangle(back_left, g.edge_bottom_y, back_left + back_width, g.back_foot_y), wood_shade);
        c.fill(rectangle(back_right, g.edge_bottom_y, back_right + back_width, g.back_foot_y), wood_shade);
    }

    // Front legs, slightly tapered and lit from the left.
    const double taper = size <= 32 ? 0 : g.leg_width * 0.2;
    auto leg = [&](double x) {
        return polygon({{x, g.edge_bottom_y - 1}, {x + g.leg_width, g.edge_bottom_y - 1},
            {x + g.leg_width - taper, g.foot_y}, {x + taper, g.foot_y}});
    };
    const double left_leg = g.left + g.leg_inset;
    const double right_leg = g.right - g.leg_inset - g.leg_width;
    c.fill(leg(left_leg), shaders::linear({left_leg, 0}, {left_leg + g.leg_width, 0}, wood, wood_dark));
    c.fill(leg(right_leg), shaders::linear({right_leg, 0}, {right_leg + g.leg_width, 0}, wood, wood_dark));

    // The top: its upper face in perspective, then the front board.
    c.fill(polygon({{g.left + g.top_back_inset, g.top_back_y}, {g.right - g.top_back_inset, g.top_back_y},
               {g.right, g.top_front_y}, {g.left, g.top_front_y}}),
        shaders::linear({0, g.top_back_y}, {0, g.top_front_y}, wood_light, wood));
    c.fill(rectangle(g.left, g.top_front_y, g.right, g.edge_bottom_y),
        shaders::linear({0, g.top_front_y}, {0, g.edge_bottom_y}, wood_dark, wood_shade));

    // A highlight along the front edge of the top catches the light.
    if (size >= 48)
        c.fill(rectangle(g.left + 0.01 * s, g.top_front_y - 0.012 * s, g.right - 0.01 * s, g.top_front_y),
            rgb(0xFFFFFF, 0.45));
    return c;
}

std::vector<canvas> paint_application_icon()
{
    std::vector<canvas> images;
    for (int size : {32, 16, 24, 48, 256})
        images.push_back(paint_application_icon(size));
    return images;
}

} // namespace vt::art
