#pragma once
// The text-file codec as the fuzz targets drive it: a facet they may own,
// whole texts converted through it in pieces the way a file stream feeds it
// (unconsumed bytes offered again with the next piece), and the code pages
// the codec is tried with.

#include "fuzz_support.h"

#include "support/txtf_codecvt.h"

#include <algorithm>
#include <cstdint>
#include <locale>
#include <string>
#include <string_view>
#include <vector>

namespace fuzz {

using standard_facet = std::codecvt<wchar_t, char, std::mbstate_t>;

// ISO 8859-1: every byte is the character of the same number, as with the
// single-byte ANSI code pages the installer meets on Windows; characters
// above U+00FF cannot be written.
class latin1_code_page : public standard_facet {
protected:
    result do_out(state_type&, const wchar_t* from, const wchar_t* from_end, const wchar_t*& from_next,
        char* to, char* to_end, char*& to_next) const override
    {
        result outcome = ok;
        for (; from < from_end; ++from, ++to) {
            if (to == to_end) {
                outcome = partial;
                break;
            }
            if (static_cast<std::uint32_t>(*from) > 0xFF) {
                outcome = error;
                break;
            }
            *to = static_cast<char>(*from);
        }
        from_next = from;
        to_next = to;
        return outcome;
    }
    result do_in(state_type&, const char* from, const char* from_end, const char*& from_next, wchar_t* to,
        wchar_t* to_end, wchar_t*& to_next) const override
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

// The code pages: Latin-1, the system's "C" locale (ASCII only) and its
// C.UTF-8 locale (a multibyte code page, where a character may need more
// bytes than a piece holds). Falls back to "C" where C.UTF-8 is missing.
inline const std::locale& code_page_locale(unsigned choice)
{
    static const std::locale latin1(std::locale::classic(), new latin1_code_page);
    static const std::locale utf8 = [] {
        for (const char* name : {"C.UTF-8", "C.utf8"}) {
            try {
                return std::locale(name);
            } catch (const std::runtime_error&) {
            }
        }
        return std::locale::classic();
    }();
    switch (choice % 3) {
    case 0: return latin1;
    case 1: return std::locale::classic();
    default: return utf8;
    }
}

// The codec as a harness owns it (a facet's destructor is protected).
class facet : public vt::txtf::codecvt<wchar_t> {
public:
    facet(std::uint32_t mode, const std::locale& locale) : codecvt(mode, locale, 1) {}
    ~facet() override = default;
};

struct decoded_text {
    std::wstring text;
    std::size_t left_over = 0; // bytes never consumed: the input ends inside a character
};

// Reads bytes through the facet as a file stream does: whenever the facet
// cannot go on, the next piece is appended to what it left; the output area
// holds out_room characters (0: plenty). Seed 0 offers everything at once.
inline decoded_text decode(const facet& f, std::string_view bytes, std::mbstate_t& state, std::uint64_t seed,
    std::size_t out_room = 0)
{
    pieces cut(seed);
    std::vector<wchar_t> area(out_room ? out_room : bytes.size() + 8);
    decoded_text result;
    std::string window;
    std::size_t fed = 0;
    for (;;) {
        bool progress = false;
        if (!window.empty()) {
            // An exact-size copy, so that a read past the window is caught.
            std::vector<char> block(window.begin(), window.end());
            const char* from = block.data();
            const char* from_next = from;
            wchar_t* to_next = area.data();
            auto r = f.in(state, from, from + block.size(), from_next, area.data(), area.data() + area.size(), to_next);
            FUZZ_CHECK(r == std::codecvt_base::ok || r == std::codecvt_base::partial);
            FUZZ_CHECK(from_next >= from && from_next <= from + block.size());
            FUZZ_CHECK(to_next >= area.data() && to_next <= area.data() + area.size());
            if (r == std::codecvt_base::ok)
                FUZZ_CHECK(from_next == from + block.size());
            result.text.append(area.data(), to_next);
            progress = from_next != from || to_next != area.data();
            window.erase(0, static_cast<std::size_t>(from_next - from));
        }
        if (progress && !window.empty())
            continue;
        if (fed == bytes.size()) {
            if (!progress)
                break;
            continue;
        }
        std::size_t piece = seed == 0 ? bytes.size() - fed : cut.size(bytes.size() - fed);
        window.append(bytes.substr(fed, piece));
        fed += piece;
    }
    result.left_over = window.size();
    return result;
}

// Writes text through the facet: pieces of the text per call, an output area
// of out_room bytes (0: plenty), then the unshift sequence. What the facet
// did not convert is offered again, as a stream does.
inline std::string encode(const facet& f, std::wstring_view text, std::mbstate_t& state, std::uint64_t seed,
    std::size_t out_room = 0)
{
    pieces cut(seed);
    std::vector<char> area(out_room ? out_room : text.size() * 16 + 64);
    std::string bytes;
    std::size_t done = 0;
    while (done < text.size()) {
        std::size_t piece = seed == 0 ? text.size() - done : cut.size(text.size() - done);
        std::vector<wchar_t> block(text.begin() + done, text.begin() + done + piece);
        const wchar_t* from = block.data();
        const wchar_t* from_next = from;
        char* to_next = area.data();
        auto r = f.out(state, from, from + block.size(), from_next, area.data(), area.data() + area.size(), to_next);
        FUZZ_CHECK(r == std::codecvt_base::ok || r == std::codecvt_base::partial);
        FUZZ_CHECK(from_next >= from && from_next <= from + block.size());
        FUZZ_CHECK(to_next >= area.data() && to_next <= area.data() + area.size());
        bytes.append(area.data(), to_next);
        // An area smaller than one character's bytes is the only excuse for
        // taking nothing.
        if (from_next == from)
            FUZZ_CHECK(area.size() < static_cast<std::size_t>(f.max_length()));
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

} // namespace fuzz
