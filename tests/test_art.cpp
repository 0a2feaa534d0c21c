// The installer's art as Windows loads it from the linked resources: the
// flag icons of the language list and the side bitmap.

#include "resources/resource_ids.h"
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
        ::LoadImageW(::GetModuleHandleW(nullptr), MAKEINTRESOURCEW(id), IMAGE_ICON, 16, 12, LR_DEFAULTCOLOR)));
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

TEST(SideBitmap, LoadsAsATwentyFourBitImage)
{
    const vt::unique_gdi bitmap(::LoadImageW(::GetModuleHandleW(nullptr), MAKEINTRESOURCEW(IDB_SIDE_BITMAP),
                                             IMAGE_BITMAP, 0, 0, LR_CREATEDIBSECTION));
    DIBSECTION dib{};
    ASSERT_EQ(::GetObjectW(bitmap.get(), sizeof dib, &dib), int(sizeof dib));
    EXPECT_EQ(dib.dsBm.bmBitsPixel, 24);
}
