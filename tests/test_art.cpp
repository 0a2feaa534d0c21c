// The flag icons of the language list as Windows loads them from the linked
// resources.

#include "support/unique_any.h"

#include <windows.h>

#include <gtest/gtest.h>

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

} // namespace

TEST(FlagIcons, AllDifferFromEachOther)
{
    std::set<std::vector<char>> seen;
    for (int id = 141; id <= 166; ++id) {
        std::vector<char> pixels = flag_pixels(id);
        ASSERT_FALSE(pixels.empty()) << id;
        EXPECT_TRUE(seen.insert(pixels).second) << "flag " << id << " repeats an earlier one";
    }
}
