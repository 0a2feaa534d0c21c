#pragma once
// The text-file codec driven the way a file stream drives it, for the tests
// and the fuzz targets alike: whole texts converted in pieces of any size,
// whatever the facet left unconsumed offered again with the next piece; a
// Latin-1 code page that behaves the same everywhere; a facet one may own;
// byte strings written as numbers and texts as code points.

#include "support/txtf_codecvt.h"

#include <algorithm>
#include <cstdint>
#include <functional>
#include <initializer_list>
#include <locale>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

namespace txtf_driver {

using standard_facet = std::codecvt<wchar_t, char, std::mbstate_t>;

// ISO 8859-1: every byte is the character of the same number; characters
// above U+00FF cannot be written.
class latin1_code_page : public standard_facet {
protected:
    result do_out(state_type&, const wchar_t* from, const wchar_t* from_end, const wchar_t*& from_next,
        char* to, char* to_end, char*& to_next) const override
    {
        for (; from < from_end && to < to_end && static_cast<std::uint32_t>(*from) <= 0xFF; ++from, ++to)
            *to = static_cast<char>(*from);
        from_next = from;
        to_next = to;
        return from == from_end ? ok : to == to_end ? partial : error;
    }
    result do_in(state_type&, const char* from, const char* from_end, const char*& from_next,
        wchar_t* to, wchar_t* to_end, wchar_t*& to_next) const override
    {
        while (from < from_end && to < to_end)
            *to++ = static_cast<wchar_t>(static_cast<unsigned char>(*from++));
        from_next = from;
        to_next = to;
        return from == from_end ? ok : partial;
    }
    int do_encoding() const noexcept override { return 1; }
    bool do_always_noconv() const noexcept override { return false; }
    int do_max_length() const noexcept override { return 1; }
};

inline const std::locale& latin1_locale()
{
    static const std::locale locale(std::locale::classic(), new latin1_code_page);
    return locale;
}

// The codec as a test owns it (a facet's destructor is protected).
class facet : public vt::txtf::codecvt<wchar_t> {
public:
    explicit facet(std::uint32_t mode, const std::locale& locale = latin1_locale()) : codecvt(mode, locale, 1) {}
    ~facet() override = default;
};

struct decoded_text {
    std::wstring text;
    std::size_t left_over = 0; // bytes never consumed: the input ends inside a character
};

// The size of the next piece, given what is left (empty: all at once), and
// where a broken rule of the facet's interface is reported (by default an
// exception, which fails the test that converts).
using piece_size = std::function<std::size_t(std::size_t left)>;
using report = std::function<void(bool holds, const char* rule)>;

inline void throw_if_broken(bool holds, const char* rule)
{
    if (!holds)
        throw std::logic_error(rule);
}

// Reads bytes: whenever the facet cannot go on, the next piece is appended
// to what it left, into an area of out_room characters (0: plenty).
inline decoded_text decode(const facet& f, std::string_view bytes, std::mbstate_t& state,
                           const piece_size& piece = {}, std::size_t out_room = 0,
                           const report& check = throw_if_broken)
{
    std::vector<wchar_t> area(out_room ? out_room : bytes.size() + 8);
    decoded_text result;
    std::string window;
    std::size_t fed = 0;
    for (bool progress = false;;) {
        // A call that read or wrote something is followed by another on the
        // same window; one that could not goes on only with more bytes.
        if (window.empty() || !progress) {
            if (fed == bytes.size())
                break;
            const std::size_t left = bytes.size() - fed;
            const std::size_t n = piece ? std::min(piece(left), left) : left;
            window.append(bytes.substr(fed, n));
            fed += n;
        }
        // An exact-size copy, so that a read past the window is caught.
        std::vector<char> block(window.begin(), window.end());
        const char* from = block.data();
        const char* from_next = from;
        wchar_t* to_next = area.data();
        auto r = f.in(state, from, from + block.size(), from_next, area.data(), area.data() + area.size(), to_next);
        check(r == std::codecvt_base::ok || r == std::codecvt_base::partial, "in() gives ok or partial");
        check(from_next >= from && from_next <= from + block.size() && to_next >= area.data() &&
                  to_next <= area.data() + area.size(),
              "in() stays inside its areas");
        check(r != std::codecvt_base::ok || from_next == from + block.size(), "in() is ok only when all is read");
        result.text.append(area.data(), to_next);
        progress = from_next != from || to_next != area.data();
        window.erase(0, static_cast<std::size_t>(from_next - from));
    }
    result.left_over = window.size();
    return result;
}

// Writes text: pieces of it per call, an output area of out_room bytes (0:
// plenty), then the unshift sequence. What the facet did not convert is
// offered again, as a stream does.
inline std::string encode(const facet& f, std::wstring_view text, std::mbstate_t& state,
                          const piece_size& piece = {}, std::size_t out_room = 0,
                          const report& check = throw_if_broken)
{
    std::vector<char> area(out_room ? out_room : text.size() * 16 + 64);
    std::string bytes;
    std::size_t done = 0;
    while (done < text.size()) {
        const std::size_t left = text.size() - done;
        const std::size_t n = piece ? std::min(piece(left), left) : left;
        std::vector<wchar_t> block(text.begin() + done, text.begin() + done + n);
        const wchar_t* from = block.data();
        const wchar_t* from_next = from;
        char* to_next = area.data();
        auto r = f.out(state, from, from + block.size(), from_next, area.data(), area.data() + area.size(), to_next);
        check(r == std::codecvt_base::ok || r == std::codecvt_base::partial, "out() gives ok or partial");
        check(from_next >= from && from_next <= from + block.size() && to_next >= area.data() &&
                  to_next <= area.data() + area.size(),
              "out() stays inside its areas");
        bytes.append(area.data(), to_next);
        // An area smaller than one character's bytes is the only excuse for
        // taking nothing.
        check(from_next != from || area.size() < static_cast<std::size_t>(f.max_length()), "out() takes a character");
        if (from_next == from && to_next == area.data())
            break;
        done += static_cast<std::size_t>(from_next - from);
    }
    for (;;) {
        char* to_next = area.data();
        auto r = f.unshift(state, area.data(), area.data() + area.size(), to_next);
        bytes.append(area.data(), to_next);
        if (r != std::codecvt_base::partial || to_next == area.data())
            break;
    }
    return bytes;
}

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

} // namespace txtf_driver
