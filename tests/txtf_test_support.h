#pragma once
// Helpers of the text-file codec tests: a facet that tests may own, whole-text
// conversion through the facet in pieces of any size (the way a file stream
// feeds it), a Latin-1 and a small double-byte code page that behave the
// same on every platform, and byte strings written as hexadecimal.

#include "scratch_folder.h"
#include "txtf_codec_driver.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <locale>
#include <string>
#include <string_view>
#include <vector>

namespace txtf_test {

using namespace txtf_driver;

// A double-byte code page in miniature: ASCII as itself, the lead byte 0x81
// followed by any byte for U+3000 to U+30FF; other bytes are invalid.
class double_byte_code_page : public standard_facet {
protected:
    result do_out(state_type&, const wchar_t* from, const wchar_t* from_end, const wchar_t*& from_next,
        char* to, char* to_end, char*& to_next) const override
    {
        result outcome = ok;
        for (; from < from_end; ++from) {
            auto c = static_cast<std::uint32_t>(*from);
            std::size_t need = c < 0x80 ? 1 : 2;
            if (c >= 0x80 && (c < 0x3000 || c > 0x30FF)) {
                outcome = error;
                break;
            }
            if (to_end - to < static_cast<std::ptrdiff_t>(need)) {
                outcome = partial;
                break;
            }
            if (need == 1) {
                *to++ = static_cast<char>(c);
            } else {
                *to++ = static_cast<char>(0x81);
                *to++ = static_cast<char>(c & 0xFF);
            }
        }
        from_next = from;
        to_next = to;
        return outcome;
    }
    result do_in(state_type&, const char* from, const char* from_end, const char*& from_next,
        wchar_t* to, wchar_t* to_end, wchar_t*& to_next) const override
    {
        result outcome = ok;
        while (from < from_end && to < to_end) {
            auto byte = static_cast<unsigned char>(*from);
            if (byte < 0x80) {
                *to++ = static_cast<wchar_t>(byte);
                ++from;
            } else if (byte == 0x81) {
                if (from_end - from < 2) {
                    outcome = partial;
                    break;
                }
                *to++ = static_cast<wchar_t>(0x3000 + static_cast<unsigned char>(from[1]));
                from += 2;
            } else {
                outcome = error;
                break;
            }
        }
        from_next = from;
        to_next = to;
        if (outcome == ok && from < from_end)
            outcome = partial;
        return outcome;
    }
    int do_encoding() const noexcept override { return 0; }
    bool do_always_noconv() const noexcept override { return false; }
    int do_max_length() const noexcept override { return 2; }
};

inline const std::locale& double_byte_locale()
{
    static const std::locale locale(std::locale::classic(), new double_byte_code_page);
    return locale;
}

inline std::uint32_t state_bits(const std::mbstate_t& state)
{
    return vt::txtf::load_state(state);
}

// Bytes from numbers: hex({0xFF, 0xFE, 'a', 0}).
inline std::string hex(std::initializer_list<int> values)
{
    std::string bytes;
    for (int v : values)
        bytes.push_back(static_cast<char>(v));
    return bytes;
}

// "ff fe 61 00" for failure messages.
inline std::string dump(std::string_view bytes)
{
    static const char digits[] = "0123456789abcdef";
    std::string text;
    for (char c : bytes) {
        auto b = static_cast<unsigned char>(c);
        if (!text.empty())
            text.push_back(' ');
        text.push_back(digits[b >> 4]);
        text.push_back(digits[b & 15]);
    }
    return text;
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

inline void expect(bool holds, const char* rule)
{
    EXPECT_TRUE(holds) << rule;
}

// Pieces of n characters or bytes (0: all at once).
inline txtf_driver::piece_size pieces_of(std::size_t n)
{
    return n ? txtf_driver::piece_size([n](std::size_t) { return n; }) : txtf_driver::piece_size();
}

inline std::string encode(const facet& f, std::wstring_view text, std::mbstate_t& state, std::size_t in_piece = 0,
                          std::size_t out_piece = 0)
{
    return txtf_driver::encode(f, text, state, pieces_of(in_piece), out_piece, expect);
}

inline std::string encode(std::uint32_t mode, std::wstring_view text, const std::locale& locale = latin1_locale())
{
    facet f(mode, locale);
    std::mbstate_t state{};
    return encode(f, text, state);
}

inline decoded_text decode(const facet& f, std::string_view bytes, std::mbstate_t& state, std::size_t in_piece = 0,
                           std::size_t out_piece = 0)
{
    return txtf_driver::decode(f, bytes, state, pieces_of(in_piece), out_piece, expect);
}

inline std::wstring decode(std::uint32_t mode, std::string_view bytes, const std::locale& locale = latin1_locale())
{
    facet f(mode, locale);
    std::mbstate_t state{};
    auto result = decode(f, bytes, state);
    EXPECT_EQ(result.left_over, 0u) << dump(bytes);
    return result.text;
}

using portable_test::read_bytes;
using portable_test::scratch_folder;
using portable_test::write_bytes;

} // namespace txtf_test
