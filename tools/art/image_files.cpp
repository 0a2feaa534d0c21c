#include "tools/art/image_files.h"

#include <fstream>
#include <stdexcept>
#include <system_error>

namespace vt::art {
namespace {

// Appends little-endian integers, the byte order of every Windows image header.
class byte_writer {
public:
    explicit byte_writer(std::vector<std::uint8_t>& out) : out_(out) {}
    void u8(unsigned v) { out_.push_back(static_cast<std::uint8_t>(v)); }
    void u16(unsigned v)
    {
        u8(v & 0xFF);
        u8((v >> 8) & 0xFF);
    }
    void u32(std::uint32_t v)
    {
        u16(v & 0xFFFF);
        u16(v >> 16);
    }
    void i32(std::int32_t v) { u32(static_cast<std::uint32_t>(v)); }

private:
    std::vector<std::uint8_t>& out_;
};

constexpr std::uint32_t bitmap_info_header_size = 40;
constexpr std::uint32_t icon_dir_size = 6;
constexpr std::uint32_t icon_dir_entry_size = 16;
constexpr std::uint32_t bitmap_file_header_size = 14;
// 96 dots per inch in pixels per metre, the resolution the dialogs assume.
constexpr std::int32_t pixels_per_metre = 3780;

// Rows of every DIB are padded to a multiple of four bytes.
std::uint32_t row_stride(std::uint32_t width, std::uint32_t bits_per_pixel)
{
    return (width * bits_per_pixel + 31) / 32 * 4;
}

void bitmap_info_header(byte_writer& w, std::int32_t width, std::int32_t height,
    unsigned bits_per_pixel, std::uint32_t image_size)
{
    w.u32(bitmap_info_header_size);
    w.i32(width);
    w.i32(height);
    w.u16(1); // planes
    w.u16(bits_per_pixel);
    w.u32(0); // BI_RGB: no compression
    w.u32(image_size);
    w.i32(pixels_per_metre);
    w.i32(pixels_per_metre);
    w.u32(0); // colours used
    w.u32(0); // important colours
}

std::uint32_t icon_image_size(const canvas& c)
{
    const auto w = static_cast<std::uint32_t>(c.width());
    const auto h = static_cast<std::uint32_t>(c.height());
    return bitmap_info_header_size + row_stride(w, 32) * h + row_stride(w, 1) * h;
}

// One icon entry: the header describes the colour image and the AND mask
// stacked on each other (hence twice the height), both stored bottom-up.
void icon_image(byte_writer& w, const canvas& c)
{
    const int width = c.width();
    const int height = c.height();
    const std::uint32_t mask_stride = row_stride(static_cast<std::uint32_t>(width), 1);
    bitmap_info_header(w, width, height * 2, 32,
        row_stride(static_cast<std::uint32_t>(width), 32) * static_cast<std::uint32_t>(height)
            + mask_stride * static_cast<std::uint32_t>(height));
    for (int y = height - 1; y >= 0; --y)
        for (int x = 0; x < width; ++x) {
            const pixel8 p = c.pixel(x, y);
            w.u8(p.b);
            w.u8(p.g);
            w.u8(p.r);
            w.u8(p.a);
        }
    // The mask matters only to drawing code that ignores alpha: mark as
    // transparent what is mostly transparent.
    for (int y = height - 1; y >= 0; --y) {
        std::vector<std::uint8_t> row(mask_stride, 0);
        for (int x = 0; x < width; ++x)
            if (c.pixel(x, y).a < 128)
                row[static_cast<std::size_t>(x / 8)] |= static_cast<std::uint8_t>(0x80u >> (x % 8));
        for (auto b : row)
            w.u8(b);
    }
}

} // namespace

std::vector<std::uint8_t> encode_icon(const std::vector<canvas>& images)
{
    if (images.empty() || images.size() > 0xFFFF)
        throw std::invalid_argument("an icon needs between 1 and 65535 images");
    for (const auto& c : images)
        if (c.width() < 1 || c.width() > 256 || c.height() < 1 || c.height() > 256)
            throw std::invalid_argument("icon images are 1 to 256 pixels on each side");

    std::vector<std::uint8_t> out;
    byte_writer w(out);
    w.u16(0); // reserved
    w.u16(1); // resource type: icon
    w.u16(static_cast<unsigned>(images.size()));
    std::uint32_t offset = icon_dir_size + icon_dir_entry_size * static_cast<std::uint32_t>(images.size());
    for (const auto& c : images) {
        const std::uint32_t size = icon_image_size(c);
        w.u8(c.width() & 0xFF); // 256 is written as 0
        w.u8(c.height() & 0xFF);
        w.u8(0); // colour count: not a palette image
        w.u8(0); // reserved
        w.u16(1); // planes
        w.u16(32); // bits per pixel
        w.u32(size);
        w.u32(offset);
        offset += size;
    }
    for (const auto& c : images)
        icon_image(w, c);
    return out;
}

std::vector<std::uint8_t> encode_bitmap(const canvas& image)
{
    const auto width = static_cast<std::uint32_t>(image.width());
    const auto height = static_cast<std::uint32_t>(image.height());
    const std::uint32_t stride = row_stride(width, 24);
    const std::uint32_t pixels_offset = bitmap_file_header_size + bitmap_info_header_size;
    const std::uint32_t image_size = stride * height;

    std::vector<std::uint8_t> out;
    byte_writer w(out);
    w.u8('B');
    w.u8('M');
    w.u32(pixels_offset + image_size);
    w.u16(0);
    w.u16(0);
    w.u32(pixels_offset);
    bitmap_info_header(w, image.width(), image.height(), 24, image_size);
    for (int y = image.height() - 1; y >= 0; --y) {
        for (int x = 0; x < image.width(); ++x) {
            const pixel8 p = image.pixel(x, y);
            w.u8(p.b);
            w.u8(p.g);
            w.u8(p.r);
        }
        for (std::uint32_t pad = width * 3; pad < stride; ++pad)
            w.u8(0);
    }
    return out;
}

void write_file(const std::filesystem::path& path, const std::vector<std::uint8_t>& bytes)
{
    std::ofstream file(path, std::ios::binary | std::ios::trunc);
    if (file)
        file.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
    if (!file)
        throw std::filesystem::filesystem_error("cannot write", path,
            std::make_error_code(std::errc::io_error));
}

} // namespace vt::art
