#include "tools/art/flags.h"

#include <cmath>
#include <numbers>
#include <stdexcept>
#include <string>
#include <utility>
#include <vector>

namespace vt::art {
namespace {

using namespace shapes;

constexpr double w = flag_width;
constexpr double h = flag_height;
constexpr double pi = std::numbers::pi;

const colour white = rgb(0xFFFFFF);

// Stripes across the flag, top to bottom, each `rows` pixels high.
void horizontal_bands(canvas& c, std::vector<std::pair<colour, int>> bands)
{
    int y = 0;
    for (const auto& [col, rows] : bands) {
        c.fill(rectangle(0, y, w, y + rows), col);
        y += rows;
    }
}

// Stripes down the flag, left to right, each `columns` pixels wide.
void vertical_bands(canvas& c, std::vector<std::pair<colour, int>> bands)
{
    int x = 0;
    for (const auto& [col, columns] : bands) {
        c.fill(rectangle(x, 0, x + columns, h), col);
        x += columns;
    }
}

// Three equal horizontal stripes; 12 rows divide evenly.
void horizontal_tricolour(canvas& c, colour top, colour middle, colour bottom)
{
    horizontal_bands(c, {{top, 4}, {middle, 4}, {bottom, 4}});
}

// Three vertical stripes; 16 columns do not divide by three, so the middle
// one takes the spare column.
void vertical_tricolour(canvas& c, colour left, colour middle, colour right)
{
    vertical_bands(c, {{left, 5}, {middle, 6}, {right, 5}});
}

// Scandinavian cross, its upright shifted towards the hoist.
void nordic_cross(canvas& c, colour field, colour cross, double x0, double y0, double thickness)
{
    c.fill(rectangle(0, 0, w, h), field);
    c.fill(rectangle(x0, 0, x0 + thickness, h), cross);
    c.fill(rectangle(0, y0, w, y0 + thickness), cross);
}

void germany(canvas& c)
{
    horizontal_tricolour(c, rgb(0x000000), rgb(0xDD0000), rgb(0xFFCE00));
}

void denmark(canvas& c)
{
    nordic_cross(c, rgb(0xC8102E), white, 5, 5, 2);
}

void spain(canvas& c)
{
    const colour red = rgb(0xC60B1E);
    horizontal_bands(c, {{red, 3}, {rgb(0xFFC400), 6}, {red, 3}});
    // The coat of arms, reduced to a crowned shield towards the hoist.
    c.fill(rectangle(3.5, 4.2, 6.5, 4.9), rgb(0xB8860B));
    c.fill(rounded_rectangle(3.7, 4.9, 6.3, 8.1, 0.9), rgb(0xAD1519));
    c.fill(rectangle(4.9, 5.3, 5.1, 7.4), rgb(0xE8C39E));
}

void france(canvas& c)
{
    vertical_tricolour(c, rgb(0x0055A4), white, rgb(0xEF4135));
}

void united_kingdom(canvas& c)
{
    const colour blue = rgb(0x012169);
    const colour red = rgb(0xC8102E);
    c.fill(rectangle(0, 0, w, h), blue);
    // Saltires of St Andrew and St Patrick, then the cross of St George.
    c.fill(line({0, 0}, {w, h}, 3.2), white);
    c.fill(line({w, 0}, {0, h}, 3.2), white);
    c.fill(line({0, 0}, {w, h}, 1.3), red);
    c.fill(line({w, 0}, {0, h}, 1.3), red);
    c.fill(rectangle(0, 4, w, 8), white);
    c.fill(rectangle(6, 0, 10, h), white);
    c.fill(rectangle(0, 5, w, 7), red);
    c.fill(rectangle(7, 0, 9, h), red);
}

void italy(canvas& c)
{
    vertical_tricolour(c, rgb(0x009246), white, rgb(0xCE2B37));
}

void netherlands(canvas& c)
{
    horizontal_tricolour(c, rgb(0xAE1C28), white, rgb(0x21468B));
}

void portugal(canvas& c)
{
    vertical_bands(c, {{rgb(0x046A38), 6}, {rgb(0xDA291C), 10}});
    // Armillary sphere with the shield on the border of the two fields.
    c.fill(circle(6, 6, 3.3), rgb(0xFFE000));
    c.fill(rectangle(5, 4, 7, 8), white);
    c.fill(rectangle(5, 5, 7, 7), rgb(0x002D72));
}

void turkey(canvas& c)
{
    const colour red = rgb(0xE30A17);
    c.fill(rectangle(0, 0, w, h), red);
    c.fill(subtracted(circle(5.6, 6, 3.7), circle(6.6, 6, 3.0)), white);
    c.fill(star(10.1, 6, 2.1, 0.85, 5, -pi / 2), white);
}

void bulgaria(canvas& c)
{
    horizontal_tricolour(c, white, rgb(0x00966E), rgb(0xD62612));
}

void romania(canvas& c)
{
    vertical_tricolour(c, rgb(0x002B7F), rgb(0xFCD116), rgb(0xCE1126));
}

void china(canvas& c)
{
    const colour yellow = rgb(0xFFDE00);
    c.fill(rectangle(0, 0, w, h), rgb(0xDE2910));
    c.fill(star(3.5, 3.6, 2.6, 1.0), yellow);
    const point small[] = {{6.9, 1.6}, {8.0, 2.9}, {8.0, 4.5}, {6.9, 5.8}};
    for (const auto& p : small)
        c.fill(star(p.x, p.y, 0.9, 0.38), yellow);
}

void czech_republic(canvas& c)
{
    horizontal_bands(c, {{white, 6}, {rgb(0xD7141A), 6}});
    c.fill(polygon({{0, 0}, {8, 6}, {0, 12}}), rgb(0x11457E));
}

void norway(canvas& c)
{
    nordic_cross(c, rgb(0xBA0C2F), white, 4, 4, 4);
    c.fill(rectangle(5, 0, 7, h), rgb(0x00205B));
    c.fill(rectangle(0, 5, w, 7), rgb(0x00205B));
}

void greece(canvas& c)
{
    const colour blue = rgb(0x0D5EAF);
    // Nine stripes do not fit twelve rows: alternate single rows, blue at
    // both edges, which reads the same at this size.
    c.fill(rectangle(0, 0, w, h), white);
    for (int y : {0, 2, 4, 6, 8, 10})
        c.fill(rectangle(0, y, w, y + 1), blue);
    c.fill(rectangle(0, 11, w, 12), blue);
    c.fill(rectangle(0, 0, 7, 7), blue);
    c.fill(rectangle(3, 0, 4, 7), white);
    c.fill(rectangle(0, 3, 7, 4), white);
}

void poland(canvas& c)
{
    horizontal_bands(c, {{white, 6}, {rgb(0xDC143C), 6}});
}

void israel(canvas& c)
{
    const colour blue = rgb(0x0038B8);
    c.fill(rectangle(0, 0, w, h), white);
    c.fill(rectangle(0, 1, w, 2.5), blue);
    c.fill(rectangle(0, 9.5, w, 11), blue);
    // Star of David: two interlaced triangles.
    const double cx = 8, cy = 6, r = 3.3;
    auto corner = [&](double angle) { return point{cx + r * std::sin(angle), cy - r * std::cos(angle)}; };
    c.fill(triangle_outline(corner(0), corner(2 * pi / 3), corner(4 * pi / 3), 0.8), blue);
    c.fill(triangle_outline(corner(pi), corner(pi / 3), corner(5 * pi / 3), 0.8), blue);
}

void vietnam(canvas& c)
{
    c.fill(rectangle(0, 0, w, h), rgb(0xDA251D));
    c.fill(star(8, 6.3, 3.9, 1.5), rgb(0xFFFF00));
}

void japan(canvas& c)
{
    c.fill(rectangle(0, 0, w, h), white);
    c.fill(circle(8, 6, 3.6), rgb(0xBC002D));
}

void russia(canvas& c)
{
    horizontal_tricolour(c, white, rgb(0x0039A6), rgb(0xD52B1E));
}

void hungary(canvas& c)
{
    horizontal_tricolour(c, rgb(0xCE2939), white, rgb(0x477050));
}

void serbia(canvas& c)
{
    const colour red = rgb(0xC6363C);
    horizontal_tricolour(c, red, rgb(0x0C4076), white);
    // Lesser arms towards the hoist, on whole pixels: crown, white eagle's
    // wings and body, red shield with its white cross.
    c.fill(rectangle(4, 2, 7, 3), rgb(0xE1B237));
    c.fill(rectangle(3, 3, 8, 8), white);
    c.fill(rectangle(3, 7, 4, 8), red);
    c.fill(rectangle(7, 7, 8, 8), red);
    c.fill(rectangle(4, 8, 7, 9), white);
    c.fill(rectangle(4, 4, 7, 7), red);
    c.fill(rectangle(5, 4, 6, 7), rgb(0xF2D0D2));
    c.fill(rectangle(4, 5, 7, 6), rgb(0xF2D0D2));
}

void saudi_style(canvas& c)
{
    c.fill(rectangle(0, 0, w, h), rgb(0x006C35));
    // A line of script over a sword, drawn as strokes.
    const double s = 0.7;
    c.fill(line({3, 5.2}, {13, 5.2}, s), white);
    c.fill(line({3.6, 5.2}, {4.4, 2.9}, s), white);
    c.fill(line({5.8, 5.2}, {6.2, 3.4}, s), white);
    c.fill(line({7.6, 5.2}, {8.6, 3.0}, s), white);
    c.fill(line({9.8, 5.2}, {10.2, 3.4}, s), white);
    c.fill(line({11.4, 5.2}, {12.4, 3.1}, s), white);
    c.fill(rectangle(3.5, 8, 12, 9), white);
    c.fill(line({12.5, 7.3}, {12.5, 9.7}, 0.9), white);
    c.fill(rectangle(12.5, 8, 14, 9), white);
}

void slovenia(canvas& c)
{
    horizontal_tricolour(c, white, rgb(0x005DA4), rgb(0xED1C24));
    // Shield with the white mountain, towards the hoist across the top stripes.
    const colour red = rgb(0xED1C24);
    c.fill(rectangle(3, 2, 8, 7), red);
    c.fill(rectangle(4, 7, 7, 8), red);
    c.fill(rectangle(4, 2, 7, 7), rgb(0x005DA4));
    c.fill(rectangle(5, 4, 6, 7), white);
    c.fill(rectangle(4, 5, 7, 7), white);
    c.fill(rectangle(5, 2, 6, 3), rgb(0xFFDD00));
}

void croatia(canvas& c)
{
    horizontal_tricolour(c, rgb(0xF0141E), white, rgb(0x171796));
    // Chequered shield in the centre, on whole pixels so that the squares
    // stay distinct, pointed at the bottom.
    const colour shield_red = rgb(0xE2231A);
    c.fill(rectangle(5, 2, 11, 8), white);
    c.fill(rectangle(6, 8, 10, 9), white);
    c.fill(rectangle(7, 9, 9, 10), white);
    for (int y = 2; y < 10; ++y)
        for (int x = 5; x < 11; ++x)
            if ((x + y) % 2 == 0 && (y < 8 || (y == 8 && x >= 6 && x < 10) || (y == 9 && x >= 7 && x < 9)))
                c.fill(rectangle(x, y, x + 1, y + 1), shield_red);
}

// Neutral flag for an icon that no language of the list uses: a globe.
void neutral(canvas& c)
{
    const colour globe = rgb(0xFFFFFF, 0.9);
    c.fill(rectangle(0, 0, w, h), shaders::linear({0, 0}, {0, h}, rgb(0x7A93AD), rgb(0x4E6580)));
    c.fill(subtracted(circle(8, 6, 4.4), circle(8, 6, 3.6)), globe);
    c.fill(subtracted(ellipse(8, 6, 2.1, 4.0), ellipse(8, 6, 1.4, 3.6)), globe);
    c.fill(rectangle(3.8, 5.65, 12.2, 6.35), globe);
}

// A thin darker rim, one pixel at every size, so that white and pale flags
// stand out from the white list they are shown in.
void rim(canvas& c)
{
    const double pixel = 1 / c.scale();
    c.fill(subtracted(rectangle(0, 0, w, h), rectangle(pixel, pixel, w - pixel, h - pixel)), rgb(0x000000, 0.18));
}

} // namespace

canvas paint_flag(int id, double scale)
{
    canvas c(int(flag_width * scale), int(flag_height * scale), 8, scale);
    switch (id) {
    case 141: germany(c); break;
    case 142: denmark(c); break;
    case 143: spain(c); break;
    case 144: france(c); break;
    case 145: united_kingdom(c); break;
    case 146: italy(c); break;
    case 147: netherlands(c); break;
    case 148: portugal(c); break;
    case 149: turkey(c); break;
    case 150: bulgaria(c); break;
    case 151: romania(c); break;
    case 152: china(c); break;
    case 153: czech_republic(c); break;
    case 154: norway(c); break;
    case 155: greece(c); break;
    case 156: poland(c); break;
    case 157: israel(c); break;
    case 158: vietnam(c); break;
    case 159: japan(c); break;
    case 160: russia(c); break;
    case 161: hungary(c); break;
    case 162: serbia(c); break;
    case 163: saudi_style(c); break;
    case 164: slovenia(c); break;
    case 165: neutral(c); break;
    case 166: croatia(c); break;
    default: throw std::out_of_range("no flag icon " + std::to_string(id));
    }
    rim(c);
    return c;
}

std::vector<canvas> paint_flag_sizes(int id)
{
    std::vector<canvas> sizes;
    for (double scale : {1.0, 1.5, 2.0, 3.0})
        sizes.push_back(paint_flag(id, scale));
    return sizes;
}

} // namespace vt::art
