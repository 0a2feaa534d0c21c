#include "resources/product.h"

#include <array>
#include <system_error>
#include <windows.h>

namespace {

struct product_row {
    std::uint16_t code;
    const wchar_t* title;
};

// The maker's product line; this installer only ever asks for 0x0308.
constexpr std::array<product_row, 6> product_line{{
    {0x0306, L"Tablewright 6"},
    {0x0307, L"Tablewright 7"},
    {0x0308, L"Tablewright 8"},
    {0x0402, L"Cabinetwright 2"},
    {0x0403, L"Cabinetwright 3"},
    {0x0501, L"Vantrel Viewer 1"},
}};

} // namespace

std::wstring product_title(std::uint16_t code)
{
    for (const auto& row : product_line)
        if (row.code == code)
            return row.title;
    throw std::system_error(ERROR_INVALID_PARAMETER, std::system_category(), "product_title");
}

std::wstring product_name(bool with_version)
{
    std::wstring name = L"Tablewright";
    if (with_version)
        name.append(L" ").append(product_version_text);
    return name;
}

std::wstring product_uninstall_key()
{
    return std::wstring(uninstall_root_key) + L"\\" + product_title(product_code);
}

std::wstring product_path_value_name()
{
    return product_title(product_code) + L" Path";
}
