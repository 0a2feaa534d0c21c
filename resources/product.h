#pragma once
// The product this installer installs, and the maker's product line.

#include "resources/product_version.h"

#include <cstdint>
#include <string>

// High byte: product family; low byte: major version.
inline constexpr std::uint16_t product_code = 0x0308;

// The payload's version; an installed copy is compared with it.
inline constexpr std::uint64_t product_file_version =
    std::uint64_t{VT_VERSION_MAJOR} << 48 | std::uint64_t{VT_VERSION_MINOR} << 32 |
    std::uint64_t{VT_VERSION_BUILD} << 16 | std::uint64_t{VT_VERSION_REVISION};
// The same as text, "8.11.14.1".
#define VT_WIDE_(text) L##text
#define VT_WIDE(text) VT_WIDE_(text)
inline constexpr const wchar_t* product_version_number = VT_WIDE(VT_VERSION_TEXT);
#undef VT_WIDE
#undef VT_WIDE_
inline constexpr const wchar_t* product_version_text = L"8.11n";
#define VT_MAKER L"Vantrel Software"
inline constexpr const wchar_t* maker_folder = VT_MAKER;

// Display name with major version of a product of the maker's line, the name
// under which the product is registered ("Tablewright 8"). Throws for a code
// that is not in the maker's table.
std::wstring product_title(std::uint16_t code);

// "Tablewright" alone, or with the version: "Tablewright 8.11n".
std::wstring product_name(bool with_version);

// The machine's list of installed programs, below HKEY_LOCAL_MACHINE, and the
// product's own key in it ("...\Uninstall\Tablewright 8").
inline constexpr const wchar_t* uninstall_root_key = L"Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall";
std::wstring product_uninstall_key();

// The maker's key below HKEY_LOCAL_MACHINE, which holds the installed
// product's path in the value product_path_value_name() ("Tablewright 8 Path").
inline constexpr const wchar_t* maker_key = L"Software\\" VT_MAKER;
#undef VT_MAKER
std::wstring product_path_value_name();

// The uninstall log, beside the installed uninstaller.
inline constexpr const wchar_t* uninstall_log_name = L"Uninstall.ulog";
