// The flag icons of the language list as Windows loads them from the linked
// resources.

#include "support/unique_any.h"

#include <windows.h>

#include <gtest/gtest.h>

#include <cstring>
#include <set>
#include <vector>

namespace {

// The colour pixels of a flag icon at the size the language list shows it.
std::vector<char> flag_pixels(int id)
{
    vt::unique_icon icon(static_cast<HICON>(
        ::LoadImageW(::GetModuleHandleW(nullptr), MAKEINTRESOURCEW(id), IMAGE_ICON, 16, 12, 0)));
    ICONINFO info{};
    if (!icon || !::GetIconInfo(icon.get(), &info))
        return {};
    vt::unique_gdi colour(info.hbmColor);
    vt::unique_gdi mask(info.hbmMask);
    BITMAP bitmap{};
    ::GetObjectW(colour.get(), sizeof bitmap, &bitmap);
    std::vector<char> pixels(std::size_t(bitmap.bmWidthBytes) * std::size_t(bitmap.bmHeight));
    ::GetBitmapBits(static_cast<HBITMAP>(colour.get()), LONG(pixels.size()), pixels.data());
    return pixels;
}

// The widths of the images of icon group id, as its directory lists them.
std::set<int> icon_widths(int id)
{
    HMODULE module = ::GetModuleHandleW(nullptr);
    HRSRC found = ::FindResourceW(module, MAKEINTRESOURCEW(id), RT_GROUP_ICON);
    HGLOBAL loaded = found ? ::LoadResource(module, found) : nullptr;
    auto directory = static_cast<const unsigned char*>(loaded ? ::LockResource(loaded) : nullptr);
    std::set<int> widths;
    if (!directory)
        return widths;
    // Reserved, type and count, 16 bits each, then 14-byte entries that start
    // with the width (0 for 256).
    WORD count = 0;
    std::memcpy(&count, directory + 4, sizeof(count));
    for (WORD entry = 0; entry < count; ++entry) {
        int width = directory[6 + 14 * entry];
        widths.insert(width ? width : 256);
    }
    return widths;
}

} // namespace

// The language list and the window icons are drawn at 100, 150, 200 and
// 300 %: each has an image of its own for every one, none stretched.
TEST(Icons, FlagsAndTheApplicationIconHaveAnImageForEveryScale)
{
    for (int id = 128; id <= 166; id = id == 128 ? 141 : id + 1) {
        std::set<int> widths = icon_widths(id);
        for (int width : {16, 24, 32, 48})
            EXPECT_TRUE(widths.count(width)) << "icon " << id << " has no image " << width << " pixels wide";
    }
}

TEST(FlagIcons, AllDifferFromEachOther)
{
    std::set<std::vector<char>> seen;
    for (int id = 141; id <= 166; ++id) {
        std::vector<char> pixels = flag_pixels(id);
        ASSERT_FALSE(pixels.empty()) << id;
        EXPECT_TRUE(seen.insert(pixels).second) << "flag " << id << " repeats an earlier one";
    }
}
