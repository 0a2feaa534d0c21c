#include "support/txtf_char_codec.h"

#include "support/txtf_mode.h"

#include <algorithm>

namespace vt::txtf {

namespace {

constexpr bool is_high_surrogate(char32_t c) noexcept
{
    return c >= 0xD800 && c <= 0xDBFF;
}

constexpr bool is_low_surrogate(char32_t c) noexcept
{
    return c >= 0xDC00 && c <= 0xDFFF;
}

constexpr bool is_scalar_value(char32_t c) noexcept
{
    return c <= 0x10FFFF && !(c >= 0xD800 && c <= 0xDFFF);
}

constexpr char32_t combine_surrogates(char32_t high, char32_t low) noexcept
{
    return 0x10000 + ((high - 0xD800) << 10) + (low - 0xDC00);
}

constexpr bool is_continuation(unsigned char byte) noexcept
{
    return (byte & 0xC0) == 0x80;
}

unsigned char byte_at(const char* p, std::size_t i) noexcept
{
    return static_cast<unsigned char>(p[i]);
}

// The encoding in effect as the state numbers it; automatic mode takes what
// the state has found (possibly nothing yet).
std::uint32_t effective_encoding(std::uint32_t mode, std::uint32_t state) noexcept
{
    switch (mode & encoding_mask) {
    case encoding_utf8: return found_utf8;
    case encoding_utf16: return found_utf16;
    case encoding_utf32: return found_utf32;
    case encoding_code_page: return found_code_page;
    default: return state & state_encoding_mask;
    }
}

void record_encoding(std::uint32_t& state, std::uint32_t found) noexcept
{
    state = (state & ~state_encoding_mask) | found;
}

// The byte order of UTF-16 and UTF-32: the state's once known, else the
// mode's (little-endian unless big-endian is asked for), which is then kept.
bool big_endian_in_use(std::uint32_t mode, std::uint32_t& state) noexcept
{
    std::uint32_t order = (state & state_byte_order_mask) >> state_byte_order_shift;
    if (order == 0) {
        order = (mode & byte_order_mask) == big_endian ? order_big : order_little;
        state |= order << state_byte_order_shift;
    }
    return order == order_big;
}

void record_newline(std::uint32_t& state, std::uint32_t met) noexcept
{
    std::uint32_t current = (state & state_newline_mask) >> state_newline_shift;
    if (current == met_none)
        current = met;
    else if (current != met)
        current = met_mixed;
    state = (state & ~state_newline_mask) | (current << state_newline_shift);
}

// ---- Byte-order marks on input ----------------------------------------------

struct mark_match {
    bool need_more;
    std::size_t length; // 0: no mark
    std::uint32_t found;
    std::uint32_t order;
};

// Looks for a mark at the start of an unmarked automatic-mode file. FF and 00
// need four bytes before deciding (FF FE may begin a UTF-32 mark), FE two and
// EF three; a decision is taken earlier as soon as no mark can match.
mark_match match_mark(const char* from, const char* end) noexcept
{
    struct candidate {
        unsigned char bytes[4];
        std::size_t length;
        std::uint32_t found;
        std::uint32_t order;
    };
    // UTF-32 little-endian first: its mark begins with the UTF-16 one.
    static constexpr candidate candidates[] = {
        {{0xFF, 0xFE, 0x00, 0x00}, 4, found_utf32, order_little},
        {{0xFF, 0xFE}, 2, found_utf16, order_little},
        {{0xFE, 0xFF}, 2, found_utf16, order_big},
        {{0x00, 0x00, 0xFE, 0xFF}, 4, found_utf32, order_big},
        {{0xEF, 0xBB, 0xBF}, 3, found_utf8, 0},
    };
    auto available = static_cast<std::size_t>(end - from);
    for (const auto& c : candidates) {
        std::size_t compared = std::min(available, c.length);
        if (!std::equal(c.bytes, c.bytes + compared, reinterpret_cast<const unsigned char*>(from)))
            continue;
        if (compared < c.length)
            return {true, 0, 0, 0};
        return {false, c.length, c.found, c.order};
    }
    return {false, 0, 0, 0};
}

// ---- Reading one code point in each encoding ---------------------------------

struct raw_char {
    bool need_more;
    char32_t code_point;
    std::size_t used;
};

raw_char decode_utf16(bool big, const char* p, std::size_t available) noexcept
{
    auto unit_at = [&](std::size_t i) -> char32_t {
        unsigned first = byte_at(p, i), second = byte_at(p, i + 1);
        return big ? (first << 8 | second) : (second << 8 | first);
    };
    if (available < 2)
        return {true, 0, 0};
    char32_t unit = unit_at(0);
    if (is_high_surrogate(unit)) {
        if (available < 4)
            return {true, 0, 0};
        char32_t next = unit_at(2);
        if (is_low_surrogate(next))
            return {false, combine_surrogates(unit, next), 4};
        return {false, replacement_character, 2};
    }
    if (is_low_surrogate(unit))
        return {false, replacement_character, 2};
    return {false, unit, 2};
}

raw_char decode_utf32(bool big, const char* p, std::size_t available) noexcept
{
    if (available < 4)
        return {true, 0, 0};
    char32_t value = 0;
    for (std::size_t i = 0; i < 4; ++i)
        value |= char32_t(byte_at(p, i)) << (big ? 8 * (3 - i) : 8 * i);
    if (!is_scalar_value(value))
        value = replacement_character;
    return {false, value, 4};
}

raw_char decode_code_page(const code_page& page, const char* from, const char* end)
{
    auto result = page.decode(from, end);
    switch (result.result) {
    case code_page::status::ok: return {false, result.code_point, result.used};
    case code_page::status::need_more: return {true, 0, 0};
    default: return {false, replacement_character, 1};
    }
}

// ---- Writing one code point in each encoding ---------------------------------

std::size_t put_utf8(char32_t c, char* out) noexcept
{
    auto b = [](char32_t v) { return static_cast<char>(static_cast<unsigned char>(v)); };
    if (c < 0x80) {
        out[0] = b(c);
        return 1;
    }
    if (c < 0x800) {
        out[0] = b(0xC0 | (c >> 6));
        out[1] = b(0x80 | (c & 0x3F));
        return 2;
    }
    if (c < 0x10000) {
        out[0] = b(0xE0 | (c >> 12));
        out[1] = b(0x80 | ((c >> 6) & 0x3F));
        out[2] = b(0x80 | (c & 0x3F));
        return 3;
    }
    out[0] = b(0xF0 | (c >> 18));
    out[1] = b(0x80 | ((c >> 12) & 0x3F));
    out[2] = b(0x80 | ((c >> 6) & 0x3F));
    out[3] = b(0x80 | (c & 0x3F));
    return 4;
}

std::size_t put_unit16(char32_t unit, bool big, char* out) noexcept
{
    auto high = static_cast<char>((unit >> 8) & 0xFF), low = static_cast<char>(unit & 0xFF);
    out[0] = big ? high : low;
    out[1] = big ? low : high;
    return 2;
}

std::size_t put_utf16(char32_t c, bool big, char* out) noexcept
{
    if (c < 0x10000)
        return put_unit16(c, big, out);
    c -= 0x10000;
    put_unit16(0xD800 + (c >> 10), big, out);
    put_unit16(0xDC00 + (c & 0x3FF), big, out + 2);
    return 4;
}

std::size_t put_utf32(char32_t c, bool big, char* out) noexcept
{
    for (std::size_t i = 0; i < 4; ++i)
        out[i] = static_cast<char>((c >> (big ? 8 * (3 - i) : 8 * i)) & 0xFF);
    return 4;
}

std::size_t put_code_page(const code_page& page, char32_t c, char* out, std::size_t capacity)
{
    std::size_t written = page.encode(c, out, capacity);
    if (written == 0) {
        out[0] = replacement_byte;
        written = 1;
    }
    return written;
}

} // namespace

// ---- UTF-8 ---------------------------------------------------------------------

utf8_char decode_utf8_lenient(const char* from, const char* end) noexcept
{
    auto available = static_cast<std::size_t>(end - from);
    unsigned char lead = byte_at(from, 0);
    if (lead < 0x80)
        return {utf8_status::ok, lead, 1};
    if (lead < 0xC0)
        return {utf8_status::ok, replacement_character, 1};
    std::size_t length = lead < 0xE0 ? 2 : lead < 0xF0 ? 3 : lead < 0xF8 ? 4 : lead < 0xFC ? 5 : 6;
    char32_t value = lead & (0x7F >> length);
    for (std::size_t i = 1; i < length; ++i) {
        if (i >= available)
            return {utf8_status::need_more, 0, 0};
        if (!is_continuation(byte_at(from, i)))
            return {utf8_status::ok, replacement_character, i};
        value = (value << 6) | (byte_at(from, i) & 0x3F);
    }
    // A surrogate pair written as two three-byte sequences (as some Windows
    // programs do) is one character.
    if (length == 3 && is_high_surrogate(value)) {
        if (available < 4)
            return {utf8_status::need_more, 0, 0};
        if (byte_at(from, 3) != 0xED)
            return {utf8_status::ok, replacement_character, 3};
        if (available < 5)
            return {utf8_status::need_more, 0, 0};
        if ((byte_at(from, 4) & 0xF0) != 0xB0)
            return {utf8_status::ok, replacement_character, 3};
        if (available < 6)
            return {utf8_status::need_more, 0, 0};
        if (!is_continuation(byte_at(from, 5)))
            return {utf8_status::ok, replacement_character, 3};
        char32_t low = 0xD000 | char32_t(byte_at(from, 4) & 0x3F) << 6 | (byte_at(from, 5) & 0x3F);
        return {utf8_status::ok, combine_surrogates(value, low), 6};
    }
    if (!is_scalar_value(value))
        value = replacement_character;
    return {utf8_status::ok, value, length};
}

utf8_char decode_utf8_strict(const char* from, const char* end) noexcept
{
    auto available = static_cast<std::size_t>(end - from);
    unsigned char lead = byte_at(from, 0);
    if (lead < 0x80)
        return {utf8_status::ok, lead, 1};
    if (lead < 0xC2 || lead > 0xF4)
        return {utf8_status::invalid, 0, 0};
    std::size_t length = lead < 0xE0 ? 2 : lead < 0xF0 ? 3 : 4;
    // The second byte's range excludes overlong forms, surrogates and values
    // above U+10FFFF.
    unsigned char low = 0x80, high = 0xBF;
    if (lead == 0xE0)
        low = 0xA0;
    else if (lead == 0xED)
        high = 0x9F;
    else if (lead == 0xF0)
        low = 0x90;
    else if (lead == 0xF4)
        high = 0x8F;
    char32_t value = lead & (0x7F >> length);
    for (std::size_t i = 1; i < length; ++i) {
        if (i >= available)
            return {utf8_status::need_more, 0, 0};
        unsigned char byte = byte_at(from, i);
        if (i == 1 ? (byte < low || byte > high) : !is_continuation(byte))
            return {utf8_status::invalid, 0, 0};
        value = (value << 6) | (byte & 0x3F);
    }
    return {utf8_status::ok, value, length};
}

// ---- One character in, one character out -------------------------------------

decoded_char decode_char(std::uint32_t mode, std::uint32_t& state, const char* from, const char* end,
    const code_page& page)
{
    std::uint32_t s = state;
    const bool automatic = (mode & encoding_mask) == encoding_automatic;
    auto available = static_cast<std::size_t>(end - from);

    if (automatic && (s & state_encoding_mask) == found_none && !(s & state_start_done)
        && marks_allowed(mode)) {
        auto mark = match_mark(from, end);
        if (mark.need_more)
            return {0, 0};
        if (mark.length != 0) {
            record_encoding(s, mark.found);
            if (mark.order != 0)
                s = (s & ~state_byte_order_mask) | (mark.order << state_byte_order_shift);
            state = s | state_mark_handled;
            return {no_character, mark.length};
        }
        s |= state_no_mark;
    }

    raw_char raw{};
    std::uint32_t found = effective_encoding(mode, s);
    if (found == found_none) {
        // No mark and nothing decided yet: a character that only UTF-8 can
        // explain decides for UTF-8, one that UTF-8 cannot explain for the
        // code page; ASCII that both read alike leaves the question open.
        auto strict = decode_utf8_strict(from, end);
        if (strict.status == utf8_status::need_more)
            return {0, 0};
        if (strict.status == utf8_status::ok && strict.used > 1) {
            record_encoding(s, found_utf8);
            raw = {false, strict.code_point, strict.used};
        } else if (strict.status == utf8_status::ok) {
            auto local = page.decode(from, end);
            if (local.result == code_page::status::need_more)
                return {0, 0};
            if (local.result == code_page::status::invalid) {
                record_encoding(s, found_utf8);
                raw = {false, strict.code_point, 1};
            } else if (local.code_point == strict.code_point) {
                raw = {false, strict.code_point, 1};
            } else {
                record_encoding(s, found_code_page);
                raw = {false, local.code_point, local.used};
            }
        } else {
            record_encoding(s, found_code_page);
            raw = decode_code_page(page, from, end);
        }
    } else if (found == found_utf8) {
        auto lenient = decode_utf8_lenient(from, end);
        raw = {lenient.status == utf8_status::need_more, lenient.code_point, lenient.used};
    } else if (found == found_utf16) {
        raw = decode_utf16(big_endian_in_use(mode, s), from, available);
    } else if (found == found_utf32) {
        raw = decode_utf32(big_endian_in_use(mode, s), from, available);
    } else {
        raw = decode_code_page(page, from, end);
    }
    if (raw.need_more)
        return {0, 0};

    char32_t c = raw.code_point;
    found = effective_encoding(mode, s);
    if (c == byte_order_mark && !(s & state_start_done) && marks_allowed(mode) && found != found_code_page) {
        state = s | state_mark_handled;
        return {no_character, raw.used};
    }
    s |= (s & state_start_done) ? 0 : state_no_mark;

    // Line ends: a CR is remembered until the next character shows whether
    // it began a CR LF pair. In the CR LF modes every line end (CR LF, CR, LF)
    // becomes one LF; in the LF and CR modes each CR and each LF is one.
    const bool after_cr = (s & state_after_cr) != 0;
    s &= ~state_after_cr;
    if (after_cr)
        record_newline(s, c == U'\n' ? met_crlf : met_cr);
    if (c == U'\n' && after_cr) {
        std::uint32_t newline = mode & newline_mask;
        if (newline == newline_default || newline == newline_crlf) {
            state = s;
            return {no_character, raw.used};
        }
    } else if (c == U'\n') {
        record_newline(s, met_lf);
    } else if (c == U'\r') {
        s |= state_after_cr;
        c = U'\n';
    }

    // Noncharacters ending in FFFE or FFFF (in any plane) never reach the program.
    if ((c & 0xFFFF) >= 0xFFFE)
        c = replacement_character;
    state = s;
    return {c, raw.used};
}

std::size_t encode_char(std::uint32_t mode, std::uint32_t& state, char32_t c, char* out,
    const code_page& page)
{
    std::uint32_t s = state;
    std::uint32_t found = effective_encoding(mode, s);
    if (found == found_none) {
        found = found_code_page;
        record_encoding(s, found);
    }
    const bool big = (found == found_utf16 || found == found_utf32) && big_endian_in_use(mode, s);

    auto put = [&](char32_t value, char* at) -> std::size_t {
        switch (found) {
        case found_utf8: return put_utf8(value, at);
        case found_utf16: return put_utf16(value, big, at);
        case found_utf32: return put_utf32(value, big, at);
        default: return put_code_page(page, value, at, max_encoded_bytes - std::size_t(at - out));
        }
    };

    std::size_t written = 0;
    if (!(s & state_start_done) && found != found_code_page) {
        if (marks_allowed(mode)) {
            written += put(byte_order_mark, out);
            s |= state_mark_handled;
        } else {
            s |= state_no_mark;
        }
    }

    if (c == 0xFFFE || c == 0xFFFF || !is_scalar_value(c))
        c = replacement_character;

    if (c == U'\n') {
        // A file that was read keeps its own line ends; otherwise the mode's.
        std::uint32_t met = (s & state_newline_mask) >> state_newline_shift;
        std::uint32_t newline = mode & newline_mask;
        bool cr = true, lf = true;
        if (met == met_lf || (met == met_none && newline == newline_lf))
            cr = false;
        else if (met == met_cr || (met == met_none && newline == newline_cr))
            lf = false;
        if (cr)
            written += put(U'\r', out + written);
        if (lf)
            written += put(U'\n', out + written);
    } else if (c != U'\r') {
        // CR is dropped: line ends come only from LF.
        written += put(c, out + written);
    }
    state = s;
    return written;
}

int encoded_max_length(std::uint32_t mode, const code_page& page) noexcept
{
    const bool mark = marks_allowed(mode);
    const std::uint32_t newline = mode & newline_mask;
    const bool crlf = newline == newline_default || newline == newline_crlf;
    const int utf8 = mark ? 9 : 6;
    const int utf16 = mark ? 6 : 4;
    const int utf32 = 4 + (crlf ? 4 : 0) + (mark ? 4 : 0);
    const int local = page.max_length() * (crlf ? 2 : 1);
    switch (mode & encoding_mask) {
    case encoding_utf8: return utf8;
    case encoding_utf16: return utf16;
    case encoding_utf32: return utf32;
    case encoding_code_page: return local;
    default: return std::max({utf8, utf16, utf32, local}); // decided per file
    }
}

} // namespace vt::txtf
