#pragma once
// Helpers of the text-file codec tests: a facet that tests may own, whole-text
// conversion through the facet in pieces of any size (the way a file stream
// feeds it), a Latin-1 and a small double-byte code page that behave the
// same on every platform, and byte strings written as hexadecimal.

#include "support/txtf_codecvt.h"

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

using standard_facet = std::codecvt<wchar_t, char, std::mbstate_t>;

// ISO 8859-1: every byte is the character of the same number; characters
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

inline const std::locale& latin1_locale()
{
    static const std::locale locale(std::locale::classic(), new latin1_code_page);
    return locale;
}

inline const std::locale& double_byte_locale()
{
    static const std::locale locale(std::locale::classic(), new double_byte_code_page);
    return locale;
}

// The codec as a test owns it (a facet's destructor is protected).
class facet : public vt::txtf::codecvt<wchar_t> {
public:
    explicit facet(std::uint32_t mode, const std::locale& locale = latin1_locale())
        : codecvt(mode, locale, 1)
    {
    }
    ~facet() override = default;
};

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

// Writes text through the facet: in_piece wide characters per call, an
// output area of out_piece bytes (0: large enough for everything), then the
// unshift sequence. Unconverted characters are offered again with the next
// piece, as a stream does.
inline std::string encode(const facet& f, std::wstring_view text, std::mbstate_t& state,
    std::size_t in_piece = 0, std::size_t out_piece = 0)
{
    if (in_piece == 0)
        in_piece = text.size() + 1;
    std::vector<char> area(out_piece ? out_piece : text.size() * 16 + 64);
    std::string bytes;
    std::size_t done = 0;
    while (done < text.size()) {
        const wchar_t* from = text.data() + done;
        const wchar_t* from_end = from + std::min(in_piece, text.size() - done);
        const wchar_t* from_next = from;
        char* to_next = area.data();
        auto r = f.out(state, from, from_end, from_next, area.data(), area.data() + area.size(), to_next);
        EXPECT_TRUE(r == std::codecvt_base::ok || r == std::codecvt_base::partial) << r;
        bytes.append(area.data(), to_next);
        if (from_next == from && to_next == area.data()) {
            ADD_FAILURE() << "no progress writing at " << done;
            break;
        }
        done = static_cast<std::size_t>(from_next - text.data());
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

inline std::string encode(std::uint32_t mode, std::wstring_view text, const std::locale& locale = latin1_locale())
{
    facet f(mode, locale);
    std::mbstate_t state{};
    return encode(f, text, state);
}

struct decoded_text {
    std::wstring text;
    std::size_t left_over = 0; // bytes the facet never consumed (an incomplete character)
};

// Reads bytes through the facet as a file stream does: in_piece more bytes
// are appended to what is still unconsumed whenever the facet cannot go on,
// into an area of out_piece wide characters (0: all at once).
inline decoded_text decode(const facet& f, std::string_view bytes, std::mbstate_t& state,
    std::size_t in_piece = 0, std::size_t out_piece = 0)
{
    if (in_piece == 0)
        in_piece = bytes.size() + 1;
    std::vector<wchar_t> area(out_piece ? out_piece : bytes.size() + 8);
    decoded_text result;
    std::string window;
    std::size_t fed = 0;
    for (;;) {
        const char* from = window.data();
        const char* from_next = from;
        wchar_t* to_next = area.data();
        bool progress = false;
        if (!window.empty()) {
            auto r = f.in(state, from, from + window.size(), from_next, area.data(),
                area.data() + area.size(), to_next);
            EXPECT_TRUE(r == std::codecvt_base::ok || r == std::codecvt_base::partial) << r;
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
        std::size_t piece = std::min(in_piece, bytes.size() - fed);
        window.append(bytes.substr(fed, piece));
        fed += piece;
    }
    result.left_over = window.size();
    return result;
}

inline std::wstring decode(std::uint32_t mode, std::string_view bytes, const std::locale& locale = latin1_locale())
{
    facet f(mode, locale);
    std::mbstate_t state{};
    auto result = decode(f, bytes, state);
    EXPECT_EQ(result.left_over, 0u) << dump(bytes);
    return result.text;
}

inline std::string read_bytes(const std::filesystem::path& path)
{
    std::ifstream file(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>());
}

inline void write_bytes(const std::filesystem::path& path, std::string_view bytes)
{
    std::ofstream file(path, std::ios::binary | std::ios::trunc);
    file.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

// A fresh folder under the system's temporary folder, removed at the end.
class scratch_folder {
public:
    explicit scratch_folder(const std::string& name)
        : path_(std::filesystem::temp_directory_path() / ("vt-txtf-test-" + name))
    {
        std::filesystem::remove_all(path_);
        std::filesystem::create_directories(path_);
    }
    ~scratch_folder()
    {
        std::error_code ignored;
        std::filesystem::remove_all(path_, ignored);
    }
    const std::filesystem::path& path() const { return path_; }

private:
    std::filesystem::path path_;
};

} // namespace txtf_test

#include <random>

namespace txtf_test {

// Random text over all of Unicode and what is not quite Unicode: ASCII,
// line ends, characters of every plane, noncharacters and lone surrogates.
// expected is what reading the written text back gives: no CR (line ends come
// from LF alone), U+FFFD for lone surrogates and for code points ending in
// FFFE or FFFF.
struct random_sample {
    std::wstring text;
    std::wstring expected;
};

inline random_sample random_text(unsigned seed, std::size_t count)
{
    std::mt19937 random(seed);
    auto below = [&](std::uint32_t n) { return static_cast<std::uint32_t>(random() % n); };
    std::u32string points;
    std::u32string expected;
    while (points.size() < count) {
        std::uint32_t kind = below(100);
        char32_t c;
        if (kind < 30) {
            c = U' ' + below(95);
        } else if (kind < 40) {
            c = below(2) ? U'\n' : U'\r';
        } else if (kind < 65) {
            do
                c = below(0x10000);
            while (c >= 0xD800 && c <= 0xDFFF);
        } else if (kind < 90) {
            c = 0x10000 + below(0x100000);
        } else if (kind < 95) {
            // A lone surrogate, kept apart from any other by an ASCII letter.
            points.push_back(0xD800 + below(0x800));
            expected.push_back(0xFFFD);
            c = U'x';
        } else {
            c = (below(17) << 16) | (0xFFFE + below(2));
        }
        points.push_back(c);
        if (c == U'\r')
            continue;
        expected.push_back((c & 0xFFFF) >= 0xFFFE ? char32_t(0xFFFD) : c);
    }
    return {wide(points), wide(expected)};
}

} // namespace txtf_test
