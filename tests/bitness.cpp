// The registry views and folders of a 64-bit Windows as this build sees them.

#include "bitness.h"

#include "resources/product.h"
#include "support/registry.h"

#include <gtest/gtest.h>

namespace demo_machine {

std::filesystem::path expected_default_folder()
{
    return std::filesystem::path(wow64_build ? L"C:\\Program Files (x86)" : L"C:\\Program Files") /
           L"Vantrel Software" / L"Tablewright 8";
}

std::optional<std::wstring> product_path_in(REGSAM view)
{
    vt::unique_hkey maker = vt::open_key(HKEY_LOCAL_MACHINE, maker_key, view);
    if (!maker)
        return std::nullopt;
    return vt::read_string(maker.get(), product_path_value_name().c_str());
}

void record_product_path_only_in(REGSAM view, const std::wstring& path)
{
    const REGSAM other = view == KEY_WOW64_64KEY ? KEY_WOW64_32KEY : KEY_WOW64_64KEY;
    if (vt::unique_hkey maker = vt::open_key(HKEY_LOCAL_MACHINE, maker_key, other))
        ::RegDeleteValueW(maker.get(), product_path_value_name().c_str());
    vt::set_string(vt::create_key(HKEY_LOCAL_MACHINE, maker_key, view).get(), product_path_value_name().c_str(),
                   path);
}

bool uninstall_key_in(REGSAM view)
{
    return bool(vt::open_key(HKEY_LOCAL_MACHINE, product_uninstall_key(), view));
}

void expect_registered_in_own_view(const std::filesystem::path& folder)
{
    EXPECT_EQ(product_path_in(own_view), (folder / L"Tablewright.exe").wstring());
    EXPECT_EQ(product_path_in(other_view), std::nullopt) << "the other view names the product too";
    EXPECT_TRUE(uninstall_key_in(own_view));
    EXPECT_FALSE(uninstall_key_in(other_view));
}

std::string pe_image(bool sixty_four_bit)
{
    std::string image(512, '\0');
    image[0] = 'M';
    image[1] = 'Z';
    const std::size_t header = 0x80;
    image[0x3C] = char(header);
    image.replace(header, 4, std::string("PE\0\0", 4));
    // The optional header's magic follows the signature and the file header.
    const unsigned magic = sixty_four_bit ? 0x20B : 0x10B;
    image[header + 24] = char(magic & 0xFF);
    image[header + 25] = char(magic >> 8);
    return image;
}

} // namespace demo_machine
