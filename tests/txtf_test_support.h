#pragma once
// Helpers of the text-file codec tests: texts written in one mode, pieces
// of a fixed size, and byte strings written as numbers.

#include "scratch_folder.h"
#include "txtf_codec_driver.h"

#include <cstdint>
#include <locale>
#include <string>
#include <string_view>

namespace txtf_test {

using namespace txtf_driver;

// Bytes from numbers: hex({0xFF, 0xFE, 'a', 0}).
inline std::string hex(std::initializer_list<int> values)
{
    std::string bytes;
    for (int v : values)
        bytes.push_back(static_cast<char>(v));
    return bytes;
}

// The program's text for a list of code points: surrogate pairs where wchar_t
// is 16 bits. Values D800-DFFF become one unit each (lone surrogates).
inline std::wstring wide(std::u32string_view code_points)
{
    std::wstring text;
    for (char32_t c : code_points) {
        if (sizeof(wchar_t) == 2 && c > 0xFFFF) {
            c -= 0x10000;
            text.push_back(static_cast<wchar_t>(0xD800 + (c >> 10)));
            text.push_back(static_cast<wchar_t>(0xDC00 + (c & 0x3FF)));
        } else {
            text.push_back(static_cast<wchar_t>(c));
        }
    }
    return text;
}

// Pieces of n characters or bytes (0: all at once).
inline piece_size pieces_of(std::size_t n)
{
    return n ? piece_size([n](std::size_t) { return n; }) : piece_size();
}

inline std::string encode(std::uint32_t mode, std::wstring_view text, const std::locale& locale = latin1_locale())
{
    facet f(mode, locale);
    std::mbstate_t state{};
    return encode(f, text, state);
}

using portable_test::read_bytes;
using portable_test::scratch_folder;

} // namespace txtf_test
