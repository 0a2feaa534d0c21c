#pragma once
// The two words that steer the text-file codec: the mode word, fixed when a
// facet is made, and the conversion state word, which lives in the stream's
// std::mbstate_t and records what the codec has learnt about one file
// (encoding, byte order, byte-order mark, newline convention).

#include <cstdint>
#include <cstring>
#include <cwchar>

namespace vt::txtf {

// ---- Mode word -------------------------------------------------------------

// Bits 0-3: the encoding.
inline constexpr std::uint32_t encoding_mask = 0x000F;
inline constexpr std::uint32_t encoding_automatic = 0x0000; // detect on input, code page on output
inline constexpr std::uint32_t encoding_utf8 = 0x0001;
inline constexpr std::uint32_t encoding_utf16 = 0x0002;
inline constexpr std::uint32_t encoding_utf32 = 0x0004;
inline constexpr std::uint32_t encoding_code_page = 0x0008; // the locale's multibyte code page

// Bits 4-5: the byte-order mark. 0 and 1 both mean: write one before the
// first character, recognise one at the start of input.
inline constexpr std::uint32_t bom_mask = 0x0030;
inline constexpr std::uint32_t bom_default = 0x0000;
inline constexpr std::uint32_t bom_use = 0x0010;
inline constexpr std::uint32_t bom_none = 0x0020;

// Bits 6-8: the newline sequence written for a line feed (and how line ends
// are read, see decode_char).
inline constexpr std::uint32_t newline_mask = 0x01C0;
inline constexpr std::uint32_t newline_default = 0x0000; // CR LF
inline constexpr std::uint32_t newline_crlf = 0x0040;
inline constexpr std::uint32_t newline_lf = 0x0080;
inline constexpr std::uint32_t newline_cr = 0x0100;

// Bits 10-11: the byte order of UTF-16 and UTF-32 when no mark decides it.
inline constexpr std::uint32_t byte_order_mask = 0x0C00;
inline constexpr std::uint32_t byte_order_default = 0x0000; // little-endian
inline constexpr std::uint32_t little_endian = 0x0400;
inline constexpr std::uint32_t big_endian = 0x0800;

// Out-of-range field values fall back to the field's default; the code page
// has no byte-order mark. Bits outside the four fields are dropped.
constexpr std::uint32_t normalise_mode(std::uint32_t mode) noexcept
{
    std::uint32_t encoding = mode & encoding_mask;
    if (encoding != encoding_automatic && encoding != encoding_utf8 && encoding != encoding_utf16
        && encoding != encoding_utf32 && encoding != encoding_code_page)
        encoding = encoding_automatic;

    std::uint32_t bom = mode & bom_mask;
    if (encoding == encoding_code_page)
        bom = bom_none;
    else if (bom == bom_mask)
        bom = bom_default;

    std::uint32_t newline = mode & newline_mask;
    if (newline != newline_default && newline != newline_crlf && newline != newline_lf
        && newline != newline_cr)
        newline = newline_default;

    std::uint32_t byte_order = mode & byte_order_mask;
    if (byte_order == byte_order_mask)
        byte_order = byte_order_default;

    return encoding | bom | newline | byte_order;
}

constexpr bool marks_allowed(std::uint32_t mode) noexcept
{
    return (mode & bom_mask) != bom_none;
}

// ---- Conversion state word ---------------------------------------------------

// Bits 0-2: the encoding found on input (or chosen on output in automatic mode).
inline constexpr std::uint32_t state_encoding_mask = 0x0007;
inline constexpr std::uint32_t found_none = 0;
inline constexpr std::uint32_t found_code_page = 1;
inline constexpr std::uint32_t found_utf8 = 2;
inline constexpr std::uint32_t found_utf16 = 3;
inline constexpr std::uint32_t found_utf32 = 4;

// Bit 3: a byte-order mark was read or written. Bit 4: the start was checked
// and had none (or none is to be written). Either one closes the start.
inline constexpr std::uint32_t state_mark_handled = 0x0008;
inline constexpr std::uint32_t state_no_mark = 0x0010;
inline constexpr std::uint32_t state_start_done = state_mark_handled | state_no_mark;

// Bits 5-7: the newline convention met on input.
inline constexpr std::uint32_t state_newline_shift = 5;
inline constexpr std::uint32_t state_newline_mask = 0x00E0;
inline constexpr std::uint32_t met_none = 0;
inline constexpr std::uint32_t met_crlf = 1;
inline constexpr std::uint32_t met_lf = 2;
inline constexpr std::uint32_t met_cr = 3;
inline constexpr std::uint32_t met_mixed = 4;

// Bits 8-9: the byte order in use.
inline constexpr std::uint32_t state_byte_order_shift = 8;
inline constexpr std::uint32_t state_byte_order_mask = 0x0300;
inline constexpr std::uint32_t order_little = 1;
inline constexpr std::uint32_t order_big = 2;

// Bits 10-21 carry half of a surrogate pair across two calls of the facet,
// where wchar_t is a UTF-16 code unit: the facet's output buffer may end
// between the two halves (reading), or the program's buffer may end after a
// high surrogate (writing). Bits 10-19 hold the low ten bits of that unit.
inline constexpr std::uint32_t state_surrogate_shift = 10;
inline constexpr std::uint32_t state_surrogate_bits = 0x000FFC00;
inline constexpr std::uint32_t state_pending_high = 0x00100000; // written: high half waits for its low half
// read: low half still to be delivered, the last byte of its character
// still unconsumed in the input
inline constexpr std::uint32_t state_pending_low = 0x00200000;

// Bit 30: the last character read was a CR (so that a following LF is part
// of the same line end).
inline constexpr std::uint32_t state_after_cr = 0x40000000;

// The state word lives in the first four bytes of the stream's mbstate_t,
// which is a plain int with the classic Windows runtime and a larger
// structure elsewhere; a zero-initialised mbstate_t is state 0.
static_assert(sizeof(std::mbstate_t) >= sizeof(std::uint32_t));

inline std::uint32_t load_state(const std::mbstate_t& state) noexcept
{
    std::uint32_t bits;
    std::memcpy(&bits, &state, sizeof bits);
    return bits;
}

inline void store_state(std::mbstate_t& state, std::uint32_t bits) noexcept
{
    std::memcpy(&state, &bits, sizeof bits);
}

} // namespace vt::txtf
