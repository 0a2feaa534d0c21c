#pragma once
// The product this installer installs, and the maker's product line.

#include <cstdint>
#include <string>

// High byte: product family; low byte: major version.
inline constexpr std::uint16_t product_code = 0x0308;

// The payload's version; an installed copy is compared with it.
inline constexpr std::uint64_t product_file_version = 0x0008000B000E0001ull; // 8.11.14.1
inline constexpr const wchar_t* product_version_text = L"8.11n";
inline constexpr const wchar_t* maker_folder = L"Vantrel Software";

// Display name with major version of a product of the maker's line, the name
// under which the product is registered ("Tablewright 8"). Throws for a code
// that is not in the maker's table.
std::wstring product_title(std::uint16_t code);

// "Tablewright" alone, or with the version: "Tablewright 8.11n".
std::wstring product_name(bool with_version);
