// The installer's art as Windows loads it from the linked resources: the
// application icon with all its sizes and alpha, the flag icons of the
// language list (each one the right flag, usable in the start page's image
// list), and the side bitmap fitted to its place in the wizard frame.

#include "app/language.h"
#include "resources/dialog_ids.h"
#include "support/unique_any.h"

#include <windows.h>
#include <commctrl.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cstdint>
#include <set>
#include <string>
#include <vector>

namespace {

constexpr int flag_width = 16;
constexpr int flag_height = 12;

HMODULE self()
{
    return ::GetModuleHandleW(nullptr);
}

vt::unique_icon load_icon(int id, int width, int height)
{
    return vt::unique_icon(static_cast<HICON>(
        ::LoadImageW(self(), MAKEINTRESOURCEW(id), IMAGE_ICON, width, height, LR_DEFAULTCOLOR)));
}

// The colour and mask bitmaps of an icon, owned.
struct icon_bitmaps {
    vt::unique_gdi colour;
    vt::unique_gdi mask;
};

icon_bitmaps bitmaps_of(HICON icon)
{
    ICONINFO info{};
    if (!::GetIconInfo(icon, &info))
        return {};
    return {vt::unique_gdi(info.hbmColor), vt::unique_gdi(info.hbmMask)};
}

SIZE bitmap_size(HGDIOBJ bitmap)
{
    BITMAP bm{};
    if (::GetObjectW(bitmap, sizeof bm, &bm) != sizeof bm)
        return {};
    return {bm.bmWidth, bm.bmHeight};
}

// Top-down BGRA pixels of an icon's colour bitmap.
std::vector<RGBQUAD> pixels_of(HICON icon)
{
    const icon_bitmaps bitmaps = bitmaps_of(icon);
    if (!bitmaps.colour)
        return {};
    const SIZE size = bitmap_size(bitmaps.colour.get());
    BITMAPINFO info{};
    info.bmiHeader.biSize = sizeof info.bmiHeader;
    info.bmiHeader.biWidth = size.cx;
    info.bmiHeader.biHeight = -size.cy;
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 32;
    info.bmiHeader.biCompression = BI_RGB;
    std::vector<RGBQUAD> pixels(static_cast<std::size_t>(size.cx) * static_cast<std::size_t>(size.cy));
    HDC screen = ::GetDC(nullptr);
    const int rows = ::GetDIBits(screen, static_cast<HBITMAP>(bitmaps.colour.get()), 0,
        static_cast<UINT>(size.cy), pixels.data(), &info, DIB_RGB_COLORS);
    ::ReleaseDC(nullptr, screen);
    if (rows != size.cy)
        return {};
    return pixels;
}

// The icon directory of an icon group resource, as the resource compiler
// stored it.
#pragma pack(push, 2)
struct group_icon_entry {
    BYTE width;
    BYTE height;
    BYTE colours;
    BYTE reserved;
    WORD planes;
    WORD bit_count;
    DWORD bytes;
    WORD id;
};
struct group_icon_header {
    WORD reserved;
    WORD type;
    WORD count;
};
#pragma pack(pop)

std::vector<group_icon_entry> icon_group(int id)
{
    HRSRC found = ::FindResourceW(self(), MAKEINTRESOURCEW(id), RT_GROUP_ICON);
    if (!found)
        return {};
    const auto* data = static_cast<const BYTE*>(::LockResource(::LoadResource(self(), found)));
    const auto* header = reinterpret_cast<const group_icon_header*>(data);
    const auto* entries = reinterpret_cast<const group_icon_entry*>(header + 1);
    if (::SizeofResource(self(), found) < sizeof *header + header->count * sizeof *entries)
        return {};
    return {entries, entries + header->count};
}

enum class hue { black, white, red, green, blue, yellow, other };

const char* name_of(hue h)
{
    static const char* const names[] = {"black", "white", "red", "green", "blue", "yellow", "other"};
    return names[static_cast<int>(h)];
}

// Coarse name of a flag colour: enough to tell the stripes of a flag apart.
hue hue_of(RGBQUAD p)
{
    const int r = p.rgbRed, g = p.rgbGreen, b = p.rgbBlue;
    const int high = std::max({r, g, b});
    const int low = std::min({r, g, b});
    if (high < 60)
        return hue::black;
    if (low > 200)
        return hue::white;
    if (r > 150 && g > 150 && b < 100)
        return hue::yellow;
    if (r == high && r - std::max(g, b) > 80)
        return hue::red;
    if (g == high && g - std::max(r, b) > 25)
        return hue::green;
    if (b == high && b - std::max(r, g) > 40)
        return hue::blue;
    return hue::other;
}

// The 256-pixel image of the application icon is the one Windows 7 and
// later show in large views; 16, 32 and 48 cover the title bar, the About
// box and the shell.
TEST(ApplicationIcon, GroupHoldsFourThirtyTwoBitSizes)
{
    const auto entries = icon_group(128);
    ASSERT_EQ(entries.size(), 4u);
    std::set<int> sizes;
    for (const auto& e : entries) {
        const int width = e.width == 0 ? 256 : e.width;
        const int height = e.height == 0 ? 256 : e.height;
        EXPECT_EQ(width, height);
        EXPECT_EQ(e.bit_count, 32);
        sizes.insert(width);
    }
    EXPECT_EQ(sizes, (std::set<int>{16, 32, 48, 256}));
}

TEST(ApplicationIcon, LoadsAtTheSystemSizeAndAtEachOfItsOwn)
{
    // Width and height 0, as the start-up loads it for the window's big
    // icon: the first image of the group, which is the system's icon size.
    const vt::unique_icon icon = load_icon(128, 0, 0);
    ASSERT_TRUE(icon) << ::GetLastError();
    const icon_bitmaps bitmaps = bitmaps_of(icon.get());
    ASSERT_TRUE(bitmaps.colour);
    const SIZE size = bitmap_size(bitmaps.colour.get());
    EXPECT_EQ(size.cx, ::GetSystemMetrics(SM_CXICON));
    EXPECT_EQ(size.cy, ::GetSystemMetrics(SM_CYICON));

    for (int side : {16, 32, 48, 256}) {
        const vt::unique_icon sized = load_icon(128, side, side);
        ASSERT_TRUE(sized) << side;
        const SIZE s = bitmap_size(bitmaps_of(sized.get()).colour.get());
        EXPECT_EQ(s.cx, side);
        EXPECT_EQ(s.cy, side);
    }
}

TEST(ApplicationIcon, RoundedTileIsTransparentOutsideAndOpaqueInside)
{
    for (int side : {16, 32, 48, 256}) {
        const vt::unique_icon icon = load_icon(128, side, side);
        ASSERT_TRUE(icon) << side;
        const auto pixels = pixels_of(icon.get());
        ASSERT_EQ(pixels.size(), static_cast<std::size_t>(side * side)) << side;
        auto at = [&](int x, int y) { return pixels[static_cast<std::size_t>(y * side + x)]; };
        // The corners lie outside the rounded tile; at 16 pixels the
        // curve's anti-aliasing still just touches them.
        EXPECT_LT(at(0, 0).rgbReserved, 32) << side;
        EXPECT_LT(at(side - 1, side - 1).rgbReserved, 32) << side;
        EXPECT_EQ(at(side / 2, side / 2).rgbReserved, 255) << side;
        // Partly transparent edge pixels: the alpha channel is really used,
        // not just a mask.
        const auto partial = std::count_if(pixels.begin(), pixels.end(),
            [](RGBQUAD p) { return p.rgbReserved > 0 && p.rgbReserved < 255; });
        EXPECT_GT(partial, 0) << side;
    }
}

TEST(FlagIcons, EveryIdLoadsAtSixteenByTwelveFullyOpaque)
{
    for (int id = 141; id <= 166; ++id) {
        const vt::unique_icon icon = load_icon(id, flag_width, flag_height);
        ASSERT_TRUE(icon) << id << ": " << ::GetLastError();
        const icon_bitmaps bitmaps = bitmaps_of(icon.get());
        ASSERT_TRUE(bitmaps.colour) << id;
        const SIZE size = bitmap_size(bitmaps.colour.get());
        EXPECT_EQ(size.cx, flag_width) << id;
        EXPECT_EQ(size.cy, flag_height) << id;
        const auto pixels = pixels_of(icon.get());
        ASSERT_EQ(pixels.size(), static_cast<std::size_t>(flag_width * flag_height)) << id;
        EXPECT_TRUE(std::all_of(pixels.begin(), pixels.end(), [](RGBQUAD p) { return p.rgbReserved == 255; }))
            << id;
    }
}

TEST(FlagIcons, AllDifferFromEachOther)
{
    std::set<std::vector<std::uint32_t>> seen;
    for (int id = 141; id <= 166; ++id) {
        const vt::unique_icon icon = load_icon(id, flag_width, flag_height);
        ASSERT_TRUE(icon) << id;
        std::vector<std::uint32_t> key;
        for (RGBQUAD p : pixels_of(icon.get()))
            key.push_back(static_cast<std::uint32_t>(p.rgbRed) << 16 | p.rgbGreen << 8 | p.rgbBlue);
        EXPECT_TRUE(seen.insert(key).second) << "flag " << id << " repeats an earlier one";
    }
}

// Each language's icon shows that language's flag: a few points of each
// flag whose colours identify it, away from the darker rim.
TEST(FlagIcons, ShowTheFlagOfTheirLanguage)
{
    struct probe {
        int id;
        int x, y;
        hue expected;
    };
    const probe probes[] = {
        {141, 8, 2, hue::black}, {141, 8, 6, hue::red}, {141, 8, 10, hue::yellow}, // Germany
        {143, 12, 1, hue::red}, {143, 12, 6, hue::yellow}, {143, 12, 10, hue::red}, // Spain
        {144, 2, 6, hue::blue}, {144, 8, 6, hue::white}, {144, 13, 6, hue::red}, // France
        {145, 8, 6, hue::red}, {145, 5, 1, hue::blue}, {145, 8, 2, hue::red}, // United Kingdom
        {146, 2, 6, hue::green}, {146, 8, 6, hue::white}, {146, 13, 6, hue::red}, // Italy
        {147, 8, 2, hue::red}, {147, 8, 6, hue::white}, {147, 8, 10, hue::blue}, // Netherlands
        {148, 2, 6, hue::green}, {148, 13, 6, hue::red}, // Portugal
        {149, 13, 2, hue::red}, {149, 2, 6, hue::white}, // Turkey
        {150, 8, 2, hue::white}, {150, 8, 6, hue::green}, {150, 8, 10, hue::red}, // Bulgaria
        {151, 2, 6, hue::blue}, {151, 8, 6, hue::yellow}, {151, 13, 6, hue::red}, // Romania
        {152, 12, 9, hue::red}, {152, 3, 3, hue::yellow}, // China
        {153, 12, 2, hue::white}, {153, 12, 10, hue::red}, {153, 2, 6, hue::blue}, // Czech Republic
        {155, 2, 1, hue::blue}, {155, 3, 3, hue::white}, {155, 12, 9, hue::white}, // Greece
        {156, 8, 2, hue::white}, {156, 8, 9, hue::red}, // Poland
        {157, 8, 1, hue::blue}, {157, 2, 6, hue::white}, {157, 8, 10, hue::blue}, // Israel
        {158, 2, 2, hue::red}, {158, 8, 6, hue::yellow}, // Vietnam
        {161, 8, 2, hue::red}, {161, 8, 6, hue::white}, {161, 8, 10, hue::green}, // Hungary
        {162, 12, 2, hue::red}, {162, 12, 6, hue::blue}, {162, 12, 10, hue::white}, // Serbia
        {163, 2, 2, hue::green}, {163, 8, 8, hue::white}, {163, 8, 10, hue::green}, // Arabic
        {166, 2, 2, hue::red}, {166, 2, 6, hue::white}, {166, 2, 10, hue::blue}, // Croatia
    };
    for (const auto& p : probes) {
        const vt::unique_icon icon = load_icon(p.id, flag_width, flag_height);
        ASSERT_TRUE(icon) << p.id;
        const auto pixels = pixels_of(icon.get());
        ASSERT_EQ(pixels.size(), static_cast<std::size_t>(flag_width * flag_height)) << p.id;
        const hue found = hue_of(pixels[static_cast<std::size_t>(p.y * flag_width + p.x)]);
        EXPECT_EQ(found, p.expected) << "flag " << p.id << " at " << p.x << "," << p.y << ": " << name_of(found)
                                     << " instead of " << name_of(p.expected);
    }
}

// The start page puts the offered languages' flags into a 24-bit image list
// of 18 x 12 images; every one must be accepted there.
TEST(FlagIcons, FillTheLanguageListsImageList)
{
    HIMAGELIST list = ::ImageList_Create(18, 12, ILC_COLOR24, 8, 1);
    ASSERT_NE(list, nullptr);
    int expected_index = 0;
    for (const auto& row : language_table) {
        if (row.flag_icon == 0)
            continue;
        const vt::unique_icon icon = load_icon(row.flag_icon, flag_width, flag_height);
        ASSERT_TRUE(icon) << row.flag_icon;
        EXPECT_EQ(::ImageList_ReplaceIcon(list, -1, icon.get()), expected_index) << row.flag_icon;
        ++expected_index;
    }
    EXPECT_EQ(expected_index, 20);
    EXPECT_EQ(::ImageList_GetImageCount(list), 20);
    ::ImageList_Destroy(list);
}

INT_PTR CALLBACK empty_dialog_proc(HWND, UINT, WPARAM, LPARAM)
{
    return FALSE;
}

TEST(SideBitmap, LoadsAsATwentyFourBitImage)
{
    const vt::unique_gdi bitmap(::LoadImageW(self(), MAKEINTRESOURCEW(137), IMAGE_BITMAP, 0, 0, LR_CREATEDIBSECTION));
    ASSERT_TRUE(bitmap) << ::GetLastError();
    DIBSECTION dib{};
    ASSERT_EQ(::GetObjectW(bitmap.get(), sizeof dib, &dib), static_cast<int>(sizeof dib));
    EXPECT_EQ(dib.dsBm.bmWidth, 87);
    EXPECT_EQ(dib.dsBm.bmHeight, 157);
    EXPECT_EQ(dib.dsBm.bmBitsPixel, 24);
}

// The wizard frame as the dialog manager builds it from its template, with
// none of the installer's code behind it.
vt::unique_window bare_wizard_frame()
{
    return vt::unique_window(
        ::CreateDialogParamW(self(), MAKEINTRESOURCEW(IDD_MAIN), nullptr, empty_dialog_proc, 0));
}

// Every layout of the wizard, the side image included, is measured in the
// units of Tahoma 8, which "MS Shell Dlg" stands for. On a machine without
// that face the dialog manager substitutes another and every size is off.
TEST(WizardFrame, GetsTheTahomaDialogFont)
{
    const auto dialog = bare_wizard_frame();
    ASSERT_TRUE(dialog) << ::GetLastError();
    const auto font = reinterpret_cast<HFONT>(::SendMessageW(dialog.get(), WM_GETFONT, 0, 0));
    ASSERT_NE(font, nullptr);
    // The face name of the font is the alias; the metrics name the face that
    // the font mapper really took.
    HDC dc = ::GetDC(dialog.get());
    const HGDIOBJ previous = ::SelectObject(dc, font);
    std::vector<char> metrics(::GetOutlineTextMetricsW(dc, 0, nullptr));
    const auto* outline = reinterpret_cast<OUTLINETEXTMETRICW*>(metrics.data());
    const bool measured = !metrics.empty() &&
        ::GetOutlineTextMetricsW(dc, static_cast<UINT>(metrics.size()), reinterpret_cast<OUTLINETEXTMETRICW*>(metrics.data()));
    ::SelectObject(dc, previous);
    ::ReleaseDC(dialog.get(), dc);
    ASSERT_TRUE(measured) << "the wizard's dialog font is a bitmap font, not Tahoma";
    const std::wstring family(reinterpret_cast<const wchar_t*>(metrics.data() + reinterpret_cast<std::uintptr_t>(outline->otmpFamilyName)));
    EXPECT_EQ(family, L"Tahoma") << "the wizard's dialog font is not Tahoma: Wine's own fonts (Debian's "
                                    "fonts-wine) are missing from this prefix's Fonts folder";
}

// The frame shows the image at its own size in its slot on the side panel:
// it must fill the slot's width and never reach below it, where the
// separator line runs.
TEST(WizardFrame, SideBitmapFitsItsSlot)
{
    const auto dialog = bare_wizard_frame();
    ASSERT_TRUE(dialog) << ::GetLastError();
    RECT slot{3, 3, 3 + 58, 3 + 105};
    ASSERT_TRUE(::MapDialogRect(dialog.get(), &slot));

    const vt::unique_gdi bitmap(::LoadImageW(self(), MAKEINTRESOURCEW(137), IMAGE_BITMAP, 0, 0, 0));
    ASSERT_TRUE(bitmap);
    const SIZE size = bitmap_size(bitmap.get());
    EXPECT_EQ(size.cx, slot.right - slot.left);
    EXPECT_LE(size.cy, slot.bottom - slot.top);
    EXPECT_GE(size.cy, (slot.bottom - slot.top) * 9 / 10) << "leaves too much of the slot empty";
}

} // namespace
