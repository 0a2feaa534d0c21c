#pragma once
// Conversions between UTF-8 (manifests and file names on the build machine,
// paths on systems other than Windows) and the UTF-16 code units that the
// archive stores.

#include <optional>
#include <string>
#include <string_view>

// nullopt when text is not valid UTF-8.
std::optional<std::u16string> utf16_from_utf8(std::string_view text);

// Lone surrogates become U+FFFD.
std::string utf8_from_utf16(std::u16string_view text);
