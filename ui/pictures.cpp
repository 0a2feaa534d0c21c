#include "ui/pictures.h"

#include "resources/resource_ids.h"

namespace {

// One object selected into a device context for the life of the scope.
class selected_object {
public:
    selected_object(HDC dc, HGDIOBJ object) : dc_(dc), previous_(::SelectObject(dc, object)) {}
    selected_object(const selected_object&) = delete;
    selected_object& operator=(const selected_object&) = delete;
    ~selected_object()
    {
        if (previous_)
            ::SelectObject(dc_, previous_);
    }

private:
    HDC dc_;
    HGDIOBJ previous_;
};

// A top-down 32-bit bitmap, independent of the display's format.
vt::unique_gdi new_bitmap(int width, int height)
{
    BITMAPINFO info{};
    info.bmiHeader.biSize = sizeof(info.bmiHeader);
    info.bmiHeader.biWidth = width;
    info.bmiHeader.biHeight = -height;
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 32;
    info.bmiHeader.biCompression = BI_RGB;
    void* bits = nullptr;
    return vt::unique_gdi(::CreateDIBSection(nullptr, &info, DIB_RGB_COLORS, &bits, nullptr, 0));
}

} // namespace

vt::unique_gdi side_image_for(HWND control, HMODULE module)
{
    RECT slot{};
    ::GetClientRect(control, &slot);
    const int width = slot.right;
    const int height = slot.bottom;
    vt::unique_gdi picture(
        ::LoadImageW(module, MAKEINTRESOURCEW(IDB_SIDE_BITMAP), IMAGE_BITMAP, 0, 0, LR_CREATEDIBSECTION));
    BITMAP source{};
    if (width <= 0 || height <= 0 || !picture || !::GetObjectW(picture.get(), sizeof(source), &source) ||
        source.bmWidth <= 0)
        return {};

    vt::unique_gdi image = new_bitmap(width, height);
    vt::unique_dc from(::CreateCompatibleDC(nullptr));
    vt::unique_dc to(::CreateCompatibleDC(nullptr));
    if (!image || !from || !to)
        return {};
    selected_object read(from.get(), picture.get());
    selected_object write(to.get(), image.get());
    ::FillRect(to.get(), &slot, static_cast<HBRUSH>(::GetStockObject(WHITE_BRUSH)));
    // HALFTONE averages the source pixels each target pixel covers; the
    // default mode drops rows and columns and makes the grid's lines flicker.
    ::SetStretchBltMode(to.get(), HALFTONE);
    ::SetBrushOrgEx(to.get(), 0, 0, nullptr);
    ::StretchBlt(to.get(), 0, 0, width, ::MulDiv(source.bmHeight, width, source.bmWidth), from.get(), 0, 0,
                 source.bmWidth, source.bmHeight, SRCCOPY);
    return image;
}

vt::unique_icon load_icon(HMODULE module, unsigned id, int width, int height)
{
    return vt::unique_icon(
        static_cast<HICON>(::LoadImageW(module, MAKEINTRESOURCEW(id), IMAGE_ICON, width, height, LR_DEFAULTCOLOR)));
}
