#include "support/txtf_codecvt.h"

#include "support/txtf_char_codec.h"

#include <cstring>
#include <type_traits>

namespace vt::txtf {

namespace {

using standard_facet = std::codecvt<wchar_t, char, std::mbstate_t>;

// Where wchar_t is 16 bits wide, characters above U+FFFF are two units.
constexpr bool utf16_units = sizeof(wchar_t) == 2;

constexpr bool is_high_surrogate(char32_t c) noexcept
{
    return c >= 0xD800 && c <= 0xDBFF;
}

constexpr bool is_low_surrogate(char32_t c) noexcept
{
    return c >= 0xDC00 && c <= 0xDFFF;
}

std::locale code_page_source(const std::locale& locale)
{
    // Installing this facet replaces the standard one in the stream's locale;
    // when that already happened (a stream opened again), the code page is
    // still the one the earlier facet used.
    if (auto* ours = dynamic_cast<const codecvt<wchar_t>*>(&std::use_facet<standard_facet>(locale)))
        return ours->code_page_locale();
    return locale;
}

char32_t unit_value(wchar_t unit) noexcept
{
    // A negative 32-bit wchar_t is no character; as a huge value it becomes U+FFFD.
    return static_cast<char32_t>(static_cast<std::make_unsigned_t<wchar_t>>(unit));
}

std::uint32_t with_surrogate(std::uint32_t state, std::uint32_t flag, char32_t unit) noexcept
{
    return (state & ~state_surrogate_bits) | flag | ((unit & 0x3FF) << state_surrogate_shift);
}

char32_t surrogate_in(std::uint32_t state, char32_t base) noexcept
{
    return base | ((state & state_surrogate_bits) >> state_surrogate_shift);
}

std::uint32_t without_surrogate(std::uint32_t state) noexcept
{
    return state & ~(state_surrogate_bits | state_pending_high | state_pending_low);
}

} // namespace

codecvt<wchar_t>::codecvt(std::uint32_t mode, const std::locale& locale, std::size_t refs)
    : std::codecvt<wchar_t, char, std::mbstate_t>(refs),
      mode_(normalise_mode(mode)),
      code_page_locale_(code_page_source(locale)),
      code_page_(std::use_facet<standard_facet>(code_page_locale_))
{
}

codecvt<wchar_t>::result codecvt<wchar_t>::do_out(state_type& state_object, const intern_type* from,
    const intern_type* from_end, const intern_type*& from_next, extern_type* to, extern_type* to_end,
    extern_type*& to_next) const
{
    std::uint32_t state = load_state(state_object);
    char bytes[max_encoded_bytes];
    while (from < from_end) {
        std::uint32_t next_state = state;
        const intern_type* next = from + 1;
        char32_t c = unit_value(*from);
        if constexpr (utf16_units) {
            if (state & state_pending_high) {
                // The high half came with the previous buffer.
                char32_t high = surrogate_in(state, 0xD800);
                next_state = without_surrogate(state);
                if (is_low_surrogate(c)) {
                    c = 0x10000 + ((high - 0xD800) << 10) + (c - 0xDC00);
                } else {
                    c = replacement_character;
                    next = from; // this unit is still to be written
                }
            } else if (is_high_surrogate(c)) {
                if (next == from_end) {
                    // The buffer ends between the halves: keep the high half
                    // in the state (the stream drops what is not consumed).
                    state = with_surrogate(state, state_pending_high, c);
                    from = next;
                    continue;
                }
                char32_t low = unit_value(*next);
                if (is_low_surrogate(low)) {
                    c = 0x10000 + ((c - 0xD800) << 10) + (low - 0xDC00);
                    ++next;
                } else {
                    c = replacement_character;
                }
            }
            // A lone low surrogate reaches encode_char, which writes U+FFFD.
        }
        std::size_t count = encode_char(mode_, next_state, c, bytes, code_page_);
        if (count > static_cast<std::size_t>(to_end - to))
            break;
        std::memcpy(to, bytes, count);
        to += count;
        state = next_state;
        from = next;
    }
    store_state(state_object, state);
    from_next = from;
    to_next = to;
    return from == from_end ? ok : partial;
}

codecvt<wchar_t>::result codecvt<wchar_t>::do_unshift(state_type& state_object, extern_type* to,
    extern_type* to_end, extern_type*& to_next) const
{
    to_next = to;
    std::uint32_t state = load_state(state_object);
    if (!(state & state_pending_high))
        return noconv;
    // The text ended after the high half of a pair.
    char bytes[max_encoded_bytes];
    std::uint32_t next_state = without_surrogate(state);
    std::size_t count = encode_char(mode_, next_state, replacement_character, bytes, code_page_);
    if (count > static_cast<std::size_t>(to_end - to))
        return partial;
    std::memcpy(to, bytes, count);
    to_next = to + count;
    store_state(state_object, next_state);
    return ok;
}

// Where the output ends between the halves of a pair, the high half is
// delivered and the low half waits in the state, together with the last byte
// of the character, which stays unconsumed: a stream calls the facet only
// while it has bytes, so holding one back makes sure the low half is fetched
// even when the character ends the file.
codecvt<wchar_t>::result codecvt<wchar_t>::do_in(state_type& state_object, const extern_type* from,
    const extern_type* from_end, const extern_type*& from_next, intern_type* to, intern_type* to_end,
    intern_type*& to_next) const
{
    std::uint32_t state = load_state(state_object);
    result outcome = ok;
    if ((state & state_pending_low) && from < from_end) {
        if (to == to_end) {
            from_next = from;
            to_next = to;
            return partial;
        }
        *to++ = static_cast<intern_type>(surrogate_in(state, 0xDC00));
        ++from; // the byte held back
        state = without_surrogate(state);
    }
    while (from < from_end) {
        if (to == to_end) {
            outcome = partial;
            break;
        }
        auto decoded = decode_char(mode_, state, from, from_end, code_page_);
        if (decoded.used == 0) {
            outcome = partial; // the bytes end inside a character
            break;
        }
        from += decoded.used;
        char32_t c = decoded.code_point;
        if (c == no_character)
            continue;
        if (utf16_units && c > 0xFFFF) {
            c -= 0x10000;
            *to++ = static_cast<intern_type>(0xD800 + (c >> 10));
            char32_t low = 0xDC00 + (c & 0x3FF);
            if (to == to_end) {
                state = with_surrogate(state, state_pending_low, low);
                --from;
            } else {
                *to++ = static_cast<intern_type>(low);
            }
        } else {
            *to++ = static_cast<intern_type>(c);
        }
    }
    store_state(state_object, state);
    from_next = from;
    to_next = to;
    return outcome;
}

int codecvt<wchar_t>::do_length(state_type& state_object, const extern_type* from,
    const extern_type* from_end, std::size_t max) const
{
    // Mirrors do_in without storing characters: the bytes that give at most
    // max wide characters.
    std::uint32_t state = load_state(state_object);
    const extern_type* at = from;
    std::size_t produced = 0;
    if ((state & state_pending_low) && at < from_end && max > 0) {
        state = without_surrogate(state);
        ++at;
        ++produced;
    }
    while (at < from_end && produced < max) {
        auto decoded = decode_char(mode_, state, at, from_end, code_page_);
        if (decoded.used == 0)
            break;
        at += decoded.used;
        char32_t c = decoded.code_point;
        if (c == no_character)
            continue;
        if (utf16_units && c > 0xFFFF && produced + 1 == max) {
            state = with_surrogate(state, state_pending_low, 0xDC00 + ((c - 0x10000) & 0x3FF));
            --at;
            ++produced;
        } else {
            produced += (utf16_units && c > 0xFFFF) ? 2 : 1;
        }
    }
    store_state(state_object, state);
    return static_cast<int>(at - from);
}

int codecvt<wchar_t>::do_max_length() const noexcept
{
    return encoded_max_length(mode_, code_page_);
}

} // namespace vt::txtf
