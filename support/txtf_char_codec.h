#pragma once
// The per-character rules of the text-file codec: how one character is read
// from the bytes of a file and how one is written, under a mode word and a
// conversion state word (support/txtf_mode.h). The facet (txtf_codecvt.h)
// runs these rules over whole buffers. Nothing here depends on the system;
// the code page is reached through the locale's standard facet.

#include "support/txtf_code_page.h"

#include <cstddef>
#include <cstdint>

namespace vt::txtf {

inline constexpr char32_t replacement_character = 0xFFFD;
inline constexpr char32_t byte_order_mark = 0xFEFF;
// Written for a character that the code page cannot express.
inline constexpr char replacement_byte = '?';

// The code point of a decoding step that used bytes but delivered no
// character: a byte-order mark, or the LF of a CR LF pair.
inline constexpr char32_t no_character = 0xFFFFFFFF;

// The most bytes that encode_char writes for one character (a mark and
// CR LF in UTF-32 take 12; a multibyte code page may take more).
inline constexpr std::size_t max_encoded_bytes = 32;

struct decoded_char {
    char32_t code_point; // no_character when only a mark or line-end half was used
    std::size_t used;    // 0: more bytes are needed before anything can be decided
};

// Reads one character from [from, end) (not empty). The state is updated only
// when bytes were used.
decoded_char decode_char(std::uint32_t mode, std::uint32_t& state, const char* from, const char* end,
    const code_page& page);

// Writes the bytes of one character (a mark first when one is due, a line
// end for LF, nothing for CR) to out, which holds max_encoded_bytes; returns
// their number. Code points that no encoding may carry (surrogates, values
// above U+10FFFF) are written as U+FFFD.
std::size_t encode_char(std::uint32_t mode, std::uint32_t& state, char32_t code_point, char* out,
    const code_page& page);

// The standard facet's max_length for a mode: the most bytes one wide
// character takes, counting a mark whenever the mode writes one (the facet
// cannot see a stream's state here).
int encoded_max_length(std::uint32_t mode, const code_page& page) noexcept;

// The two UTF-8 readers. Lenient reading is what a UTF-8 file gets: every
// byte sequence yields characters, U+FFFD for what is broken. Strict reading
// accepts only the standard form and decides whether an unmarked file is
// UTF-8 at all.
enum class utf8_status { ok, need_more, invalid };

struct utf8_char {
    utf8_status status;
    char32_t code_point;
    std::size_t used;
};

utf8_char decode_utf8_lenient(const char* from, const char* end) noexcept;
utf8_char decode_utf8_strict(const char* from, const char* end) noexcept;

} // namespace vt::txtf
