// The installer's art as Windows loads it from the linked resources: the
// flag icons of the language list and the side bitmap.

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

} // namespace
