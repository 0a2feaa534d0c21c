#include "content.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <stdexcept>
#include <vector>

namespace {

// --- Building blocks --------------------------------------------------------

void put_le(std::string& out, std::uint64_t value, int bytes)
{
    for (int i = 0; i < bytes; ++i)
        out.push_back(static_cast<char>((value >> (8 * i)) & 0xFF));
}

void put_float(std::string& out, float value)
{
    std::uint32_t bits;
    std::memcpy(&bits, &value, sizeof bits);
    put_le(out, bits, 4);
}

// A counted UTF-16LE string of ASCII text.
void put_text16(std::string& out, std::string_view text)
{
    put_le(out, text.size(), 2);
    for (char c : text)
        put_le(out, static_cast<unsigned char>(c), 2);
}

std::string format(const char* pattern, double value)
{
    char buffer[64];
    std::snprintf(buffer, sizeof buffer, pattern, value);
    return buffer;
}

std::string number(long value)
{
    return std::to_string(value);
}

// Millimetres on a half-millimetre grid, as the program stores them.
float millimetres(prng& random, int lo, int hi)
{
    return float(random.between(lo * 2, hi * 2)) * 0.5f;
}

const char* const woods[] = {"Oak", "Ash", "Beech", "Birch", "Cherry", "Maple", "Walnut", "Pine", "Spruce",
                             "Teak", "Mahogany", "Elm", "Hickory", "Wenge", "Zebrano", "Ebony", "Rosewood"};
const char* const cuts[] = {"plain sawn", "quarter sawn", "rift sawn", "crown cut", "rotary cut", "burr"};
const char* const finishes[] = {"Raw", "Oiled", "Waxed", "Satin lacquer", "Gloss lacquer", "Stained", "Limed",
                                "Brushed", "Painted", "Varnished"};
const char* const suppliers[] = {"Hallberg Timber", "Nordwood", "Dupuis & Fils", "Castellane Bois",
                                 "Vantrel Supply", "Kranz Beschläge", "Oakleigh Mills", "Marchetti Legnami"};
const char* const hardware[] = {"Hinge 110 degrees", "Hinge 170 degrees", "Soft-close hinge", "Drawer runner",
                                "Full-extension runner", "Shelf pin", "Cam lock", "Dowel 8x35", "Confirmat screw",
                                "Handle bar 128", "Handle bar 160", "Knob", "Levelling foot", "Castor",
                                "Bed bolt", "Corner bracket", "Lift-up fitting", "Push latch"};
const char* const parts[] = {"Side panel", "Top", "Bottom", "Back panel", "Shelf", "Door", "Drawer front",
                             "Drawer side", "Drawer back", "Plinth", "Rail", "Stile", "Leg", "Apron", "Stretcher",
                             "Seat", "Backrest", "Slat", "Headboard", "Footboard", "Partition", "Cornice"};
const char* const joints[] = {"mortise and tenon", "dowel", "biscuit", "pocket screw", "dovetail", "finger joint",
                              "rebate", "dado", "cam and bolt", "half lap"};
const char* const edges[] = {"none", "ABS 0.8", "ABS 2.0", "veneer 0.6", "solid 5", "solid 10", "PVC 1.0"};

// --- Text files -------------------------------------------------------------

std::string material_list(const content_spec& spec, prng& random)
{
    std::string out = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\r\n<materials family=\"" +
                      std::string(spec.subject) + "\" version=\"8.11\">\r\n";
    for (int id = 1; out.size() < spec.size; ++id) {
        const char* wood = random.pick(woods);
        const int r = random.between(60, 230), g = random.between(40, r), b = random.between(20, g);
        out += "  <material id=\"" + std::string(spec.subject.substr(0, 2)) + number(1000 + id) + "\" name=\"" +
               wood + ", " + random.pick(cuts) + "\" finish=\"" + random.pick(finishes) + "\">\r\n";
        out += "    <colour r=\"" + number(r) + "\" g=\"" + number(g) + "\" b=\"" + number(b) + "\"/>\r\n";
        out += "    <texture file=\"" + std::string(wood) + ".bmp\" scale=\"" +
               format("%.3f", 0.125 * random.between(1, 16)) + "\" rotation=\"" + number(90 * random.between(0, 3)) +
               "\"/>\r\n";
        out += "    <physical density=\"" + format("%.2f", 0.35 + 0.01 * random.between(0, 70)) +
               "\" thickness=\"" + format("%.1f", 0.5 * random.between(6, 80)) + "\" grain=\"" +
               (random.below(2) ? "length" : "width") + "\"/>\r\n";
        out += "    <price unit=\"m2\" currency=\"EUR\" supplier=\"" + std::string(random.pick(suppliers)) + "\">" +
               format("%.2f", 0.01 * random.between(1000, 15000)) + "</price>\r\n";
        char stock[160];
        std::snprintf(stock, sizeof stock,
                      "    <stock ref=\"%08X\" batch=\"20%02d-%02d-%02d\" quantity=\"%d\" location=\"%c%02d-%02d\"/>\r\n",
                      unsigned(random.next()), random.between(6, 10), random.between(1, 12), random.between(1, 28),
                      random.between(0, 5000), char('A' + random.below(8)), random.between(1, 40),
                      random.between(1, 12));
        out += stock;
        if (random.below(3) == 0)
            out += "    <note>Edge banding: " + std::string(random.pick(edges)) + ". Preferred joint: " +
                   random.pick(joints) + ".</note>\r\n";
        out += "  </material>\r\n";
    }
    return out + "</materials>\r\n";
}

std::string settings_ini(const content_spec& spec, prng& random)
{
    static const char* const sections[] = {"General", "Display", "Units", "Drawing", "Printing", "Export",
                                           "Cutting", "Pricing", "Paths", "Toolbars", "Recent"};
    static const char* const keys[] = {"Enabled", "Colour", "Width", "Height", "Precision", "Style", "Scale",
                                       "Margin", "Font", "Grid", "Snap", "Layer", "Visible", "Order", "Mode"};
    std::string out = "; Tablewright 8 " + std::string(spec.subject) + "\r\n";
    while (out.size() < spec.size) {
        out += "\r\n[" + std::string(random.pick(sections)) + "]\r\n";
        for (int i = random.between(4, 14); i > 0; --i)
            out += std::string(random.pick(keys)) + number(random.between(1, 9)) + "=" +
                   (random.below(2) ? number(random.between(0, 1000)) : std::string(random.pick(finishes))) + "\r\n";
    }
    return out;
}

std::string settings_xml(const content_spec& spec, prng& random)
{
    std::string out = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\r\n<settings name=\"" + std::string(spec.subject) +
                      "\">\r\n";
    for (int id = 1; out.size() < spec.size; ++id) {
        out += "  <rule id=\"" + number(id) + "\" part=\"" + random.pick(parts) + "\" joint=\"" + random.pick(joints) +
               "\" edge=\"" + random.pick(edges) + "\">\r\n";
        out += "    <clearance>" + format("%.1f", 0.5 * random.between(0, 8)) + "</clearance>\r\n";
        out += "    <kerf>" + format("%.1f", 0.1 * random.between(20, 48)) + "</kerf>\r\n";
        out += "    <hardware>" + std::string(random.pick(hardware)) + "</hardware>\r\n  </rule>\r\n";
    }
    return out + "</settings>\r\n";
}

std::string price_list(const content_spec& spec, prng& random)
{
    std::string out = "Reference;Description;Supplier;Unit;Price EUR;Pack\r\n";
    for (int id = 1; out.size() < spec.size; ++id)
        out += "HW-" + number(10000 + id * 7) + ";" + random.pick(hardware) + ";" + random.pick(suppliers) + ";" +
               (random.below(4) ? "piece" : "pair") + ";" + format("%.2f", 0.01 * random.between(5, 4500)) + ";" +
               number(random.pick({1, 2, 4, 10, 20, 50, 100})) + "\r\n";
    return out;
}

std::string user_settings(const content_spec& spec, prng& random)
{
    std::string out = "; Default settings of a new Tablewright 8 user\r\n[User]\r\nLanguage=auto\r\nUnits=mm\r\n"
                      "ShowTips=1\r\n[Window]\r\nMaximised=1\r\n";
    for (int i = 1; out.size() < spec.size; ++i)
        out += "[Palette" + number(i) + "]\r\nMaterial=" + random.pick(woods) + "\r\nFinish=" + random.pick(finishes) +
               "\r\nEdge=" + random.pick(edges) + "\r\n";
    return out;
}

// --- Geometry ---------------------------------------------------------------

// One component's mesh: panels whose corners lie on the program's
// half-millimetre grid, quantised normals, triangles over nearby vertices,
// and texture coordinates in 1/256 steps of the texture.
void put_mesh(std::string& out, prng& random, float width, float depth, float height)
{
    const std::uint32_t vertices = std::uint32_t(random.between(24, 400));
    put_le(out, vertices, 4);
    for (std::uint32_t v = 0; v < vertices; ++v) {
        put_float(out, (v & 1) ? width : millimetres(random, 0, int(width)));
        put_float(out, (v & 2) ? depth : millimetres(random, 0, int(depth)));
        put_float(out, (v & 4) ? height : millimetres(random, 0, int(height)));
    }
    for (std::uint32_t v = 0; v < vertices; ++v)
        for (int axis = 0; axis < 3; ++axis)
            out.push_back(static_cast<char>(random.between(-2, 2) * 63));
    const std::uint32_t triangles = vertices - 2;
    put_le(out, triangles, 4);
    for (std::uint32_t t = 0; t < triangles; ++t) {
        put_le(out, t, 2);
        put_le(out, std::min(vertices - 1, t + 1 + random.below(4)), 2);
        put_le(out, std::min(vertices - 1, t + 2 + random.below(8)), 2);
    }
    for (std::uint32_t v = 0; v < 2 * vertices; ++v)
        put_le(out, random.below(256) * 256, 2);
}

std::string component_library(const content_spec& spec, prng& random)
{
    std::string out = "TWL8";
    put_le(out, 0x0008000B, 4);
    put_text16(out, "Vantrel Software component library: " + std::string(spec.subject));
    for (int id = 1; out.size() < spec.size; ++id) {
        const float width = millimetres(random, 150, 2400);
        const float depth = millimetres(random, 150, 900);
        const float height = millimetres(random, 18, 2400);
        put_le(out, id, 4);
        put_text16(out, std::string(spec.subject) + " " + random.pick(parts) + " " +
                            number(long(width)) + "x" + number(long(depth)) + "x" + number(long(height)));
        put_float(out, width);
        put_float(out, depth);
        put_float(out, height);
        put_le(out, random.below(64), 2); // material
        put_text16(out, random.pick(joints));
        put_mesh(out, random, width, depth, height);
    }
    return out;
}

// --- Images -----------------------------------------------------------------

// Smooth noise: random values on a coarse grid, interpolated.
class value_noise {
public:
    value_noise(prng& random, int cell) : cell_(cell)
    {
        for (float& v : grid_)
            v = float(random.unit());
    }
    float at(int x, int y) const
    {
        const float fx = float(x) / float(cell_), fy = float(y) / float(cell_);
        const int ix = int(fx), iy = int(fy);
        const float tx = fx - float(ix), ty = fy - float(iy);
        auto g = [this](int i, int j) { return grid_[std::size_t((j & 63) * 64 + (i & 63))]; };
        const float top = g(ix, iy) + (g(ix + 1, iy) - g(ix, iy)) * tx;
        const float bottom = g(ix, iy + 1) + (g(ix + 1, iy + 1) - g(ix, iy + 1)) * tx;
        return top + (bottom - top) * ty;
    }

private:
    int cell_;
    float grid_[64 * 64];
};

struct wood_look {
    const char* name;
    std::uint8_t light[3]; // red, green, blue
    std::uint8_t dark[3];
    float rings;    // ring density
    bool particles; // a board of chips or fibres rather than grown wood
};

const wood_look looks[] = {
    {"Ash", {222, 204, 170}, {168, 140, 102}, 0.09f, false},
    {"Beech", {228, 186, 146}, {184, 134, 96}, 0.05f, false},
    {"Birch", {236, 214, 176}, {196, 168, 126}, 0.04f, false},
    {"Cherry", {190, 112, 72}, {132, 66, 40}, 0.07f, false},
    {"Chipboard", {206, 178, 132}, {150, 118, 80}, 0.0f, true},
    {"Ebony", {64, 48, 40}, {26, 20, 18}, 0.12f, false},
    {"Elm", {196, 150, 104}, {130, 90, 58}, 0.08f, false},
    {"Hickory", {214, 182, 140}, {150, 108, 70}, 0.06f, false},
    {"Mahogany", {150, 70, 44}, {98, 40, 26}, 0.05f, false},
    {"Maple", {238, 220, 186}, {206, 182, 140}, 0.03f, false},
    {"MDF", {182, 150, 110}, {160, 128, 92}, 0.0f, true},
    {"Oak", {200, 160, 110}, {140, 100, 60}, 0.10f, false},
    {"Pine", {232, 196, 140}, {190, 130, 70}, 0.14f, false},
    {"Plywood", {226, 196, 150}, {176, 140, 96}, 0.02f, false},
    {"Rosewood", {120, 56, 40}, {64, 26, 20}, 0.11f, false},
    {"Spruce", {240, 222, 184}, {204, 170, 120}, 0.13f, false},
    {"Teak", {176, 120, 70}, {120, 76, 40}, 0.07f, false},
    {"Walnut", {130, 92, 64}, {76, 50, 34}, 0.09f, false},
    {"Wenge", {96, 70, 54}, {40, 28, 24}, 0.16f, false},
    {"Zebrano", {210, 180, 130}, {90, 66, 44}, 0.20f, false},
};

const wood_look& look_of(std::string_view name)
{
    for (const wood_look& look : looks)
        if (name == look.name)
            return look;
    throw std::invalid_argument("no texture look named " + std::string(name));
}

// A bottom-up 24-bit BMP: grain lines along the width, bent by smooth noise,
// a light ripple across them and a little per-pixel noise, as scanned wood.
std::string wood_texture(const content_spec& spec, prng& random)
{
    const wood_look& look = look_of(spec.subject);
    const int width = 512;
    const int row_bytes = width * 3; // a multiple of 4
    const int height = int(std::max<std::size_t>(16, spec.size / std::size_t(row_bytes)));
    const std::uint32_t image_bytes = std::uint32_t(row_bytes) * std::uint32_t(height);

    std::string out = "BM";
    put_le(out, 54 + image_bytes, 4);
    put_le(out, 0, 4);
    put_le(out, 54, 4);
    put_le(out, 40, 4); // BITMAPINFOHEADER
    put_le(out, std::uint32_t(width), 4);
    put_le(out, std::uint32_t(height), 4);
    put_le(out, 1, 2);
    put_le(out, 24, 2);
    put_le(out, 0, 4); // BI_RGB
    put_le(out, image_bytes, 4);
    put_le(out, 2835, 4); // 72 dpi
    put_le(out, 2835, 4);
    put_le(out, 0, 4);
    put_le(out, 0, 4);

    value_noise bend(random, 96);
    value_noise patches(random, 24);
    const float phase = float(random.unit() * 6.283);
    out.reserve(out.size() + image_bytes);
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
            float t; // 0 light ... 1 dark
            if (look.particles) {
                t = 0.45f * patches.at(x * 3, y * 3) + 0.35f * float(random.below(4)) / 3.0f;
            } else {
                const float position = float(y) + 40.0f * bend.at(x, y) + 6.0f * std::sin(float(x) * 0.013f + phase);
                const float ring = 0.5f + 0.5f * std::sin(position * look.rings * 6.283f);
                t = ring * ring * ring * 0.8f + 0.2f * patches.at(x, y);
            }
            // The scanner's noise, a little different in each colour.
            const int grain = int(random.below(5)) - 2;
            for (int channel = 2; channel >= 0; --channel) { // BMP pixels are blue, green, red
                const float value = float(look.light[channel]) + (float(look.dark[channel]) - float(look.light[channel])) * t;
                const int noise = grain + (random.below(4) == 0 ? int(random.below(3)) - 1 : 0);
                out.push_back(static_cast<char>(std::clamp(int(value) + noise, 0, 255)));
            }
        }
    }
    return out;
}

// --- Projects and cabinets --------------------------------------------------

std::string project(const content_spec& spec, prng& random)
{
    std::string description = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\r\n<project name=\"" +
                              std::string(spec.subject) + "\" program=\"Tablewright 8.11n\" units=\"mm\">\r\n";
    const int part_count = random.between(12, 60);
    for (int id = 1; id <= part_count; ++id)
        description += "  <part id=\"" + number(id) + "\" name=\"" + random.pick(parts) + "\" material=\"" +
                       random.pick(woods) + "\" finish=\"" + random.pick(finishes) + "\" length=\"" +
                       format("%.1f", 0.5 * random.between(200, 4800)) + "\" width=\"" +
                       format("%.1f", 0.5 * random.between(60, 1800)) + "\" thickness=\"" +
                       number(random.pick({12, 16, 18, 19, 22, 25, 30, 38})) + "\" edge=\"" + random.pick(edges) +
                       "\" joint=\"" + random.pick(joints) + "\"/>\r\n";
    for (int i = random.between(3, 12); i > 0; --i)
        description += "  <hardware item=\"" + std::string(random.pick(hardware)) + "\" count=\"" +
                       number(random.between(1, 24)) + "\"/>\r\n";
    description += "</project>\r\n";

    std::string out = "TWP8";
    put_le(out, 0x0008000B000E0001ull, 8);
    put_le(out, description.size(), 4);
    out += description;
    // The thumbnail that the file dialogs show.
    std::string thumbnail = wood_texture({content_type::wood_texture, 512 * 3 * 96, random.pick(woods)}, random);
    put_le(out, thumbnail.size(), 4);
    out += thumbnail;
    // The parts' geometry.
    while (out.size() < spec.size)
        put_mesh(out, random, millimetres(random, 100, 2400), millimetres(random, 100, 900),
                 millimetres(random, 12, 2400));
    return out;
}

// A Microsoft cabinet's header naming its files, then data that is already
// compressed, as a cabinet's is.
std::string cabinet(const content_spec& spec, prng& random)
{
    const std::string names(spec.subject);
    std::string out = "MSCF";
    put_le(out, 0, 4);
    put_le(out, spec.size, 4);
    put_le(out, 0, 4);
    put_le(out, 44, 4); // first file entry
    put_le(out, 0, 4);
    put_le(out, 0x0103, 2); // format 1.3
    put_le(out, 1, 2);      // folders
    put_le(out, 1 + std::count(names.begin(), names.end(), ';'), 2);
    put_le(out, 0, 2);
    put_le(out, random.below(65536), 2);
    put_le(out, 0, 2);
    for (std::size_t begin = 0; begin <= names.size();) {
        std::size_t end = std::min(names.find(';', begin), names.size());
        put_le(out, random.between(20000, 3000000), 4);
        put_le(out, 0, 4);
        put_le(out, 0, 2);
        put_le(out, 0x3CA2, 2); // 2010-05-02
        put_le(out, 0x6000, 2);
        put_le(out, 0x20, 2);
        out += names.substr(begin, end - begin);
        out.push_back('\0');
        begin = end + 1;
    }
    while (out.size() + 8 <= spec.size)
        put_le(out, random.next(), 8);
    while (out.size() < spec.size)
        out.push_back(static_cast<char>(random.below(256)));
    return out;
}

} // namespace

std::string generate_content(const content_spec& spec, prng& random)
{
    switch (spec.type) {
    case content_type::material_list: return material_list(spec, random);
    case content_type::settings_ini: return settings_ini(spec, random);
    case content_type::settings_xml: return settings_xml(spec, random);
    case content_type::price_list: return price_list(spec, random);
    case content_type::user_settings: return user_settings(spec, random);
    case content_type::component_library: return component_library(spec, random);
    case content_type::wood_texture: return wood_texture(spec, random);
    case content_type::project: return project(spec, random);
    case content_type::cabinet: return cabinet(spec, random);
    }
    throw std::invalid_argument("unknown content type");
}
