#pragma once
// What a 64-bit Windows shows a program of this build, 32-bit (under WOW64)
// or 64-bit: its own registry view and the other one, its program-files
// folder, and the system folder's images of either kind.

#include "resources/product.h"
#include "support/registry.h"

#include <filesystem>
#include <optional>
#include <string>

namespace payload_test {

inline constexpr bool wow64_build = sizeof(void*) == 4;
inline constexpr REGSAM own_view = wow64_build ? KEY_WOW64_32KEY : KEY_WOW64_64KEY;
inline constexpr REGSAM other_view = wow64_build ? KEY_WOW64_64KEY : KEY_WOW64_32KEY;

// Where the installer puts the product by default.
inline std::filesystem::path expected_default_folder()
{
    return std::filesystem::path(wow64_build ? L"C:\\Program Files (x86)" : L"C:\\Program Files") /
           L"Vantrel Software" / L"Tablewright 8";
}

// The product's path as one registry view records it.
inline std::optional<std::wstring> product_path_in(REGSAM view)
{
    vt::unique_hkey maker = vt::open_key(HKEY_LOCAL_MACHINE, maker_key, view);
    return maker ? vt::read_string(maker.get(), product_path_value_name().c_str()) : std::nullopt;
}

// The product's path in one view only, as an installer of the other
// bitness may have left it.
inline void record_product_path_only_in(REGSAM view, const std::wstring& path)
{
    if (vt::unique_hkey other = vt::open_key(HKEY_LOCAL_MACHINE, maker_key, view ^ KEY_WOW64_RES))
        ::RegDeleteValueW(other.get(), product_path_value_name().c_str());
    vt::set_string(vt::create_key(HKEY_LOCAL_MACHINE, maker_key, view).get(), product_path_value_name().c_str(), path);
}

// A minimal PE image, as the DirectX step tells a 64-bit one from a 32-bit one.
inline std::string pe_image(bool sixty_four_bit)
{
    std::string image(512, '\0');
    image.replace(0, 2, "MZ");
    image[0x3C] = 0x40;
    image.replace(0x40, 4, std::string("PE\0\0", 4));
    image[0x40 + 24] = 0x0B; // the optional header's magic: 0x20B or 0x10B
    image[0x40 + 25] = sixty_four_bit ? 2 : 1;
    return image;
}

} // namespace payload_test
