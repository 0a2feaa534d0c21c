#include "support/txtf_code_page.h"

#include <algorithm>

namespace vt::txtf {

namespace {

constexpr bool is_surrogate(char32_t c) noexcept
{
    return c >= 0xD800 && c <= 0xDFFF;
}

} // namespace

code_page::decoded code_page::decode(const char* from, const char* end) const
{
    // Room for exactly one wide character makes the facet stop after the
    // first character and tells how many bytes it took. Each character starts
    // from the initial shift state: the system's code pages have none.
    std::mbstate_t state{};
    const char* from_next = from;
    wchar_t unit = 0;
    wchar_t* to_next = &unit;
    auto result = facet_->in(state, from, end, from_next, &unit, &unit + 1, to_next);
    if (result == standard_facet::error || result == standard_facet::noconv)
        return {status::invalid, 0, 0};
    if (to_next == &unit)
        return {status::need_more, 0, 0};
    auto code_point = static_cast<char32_t>(unit);
    // A code page names whole characters; half of a surrogate pair (or a value
    // beyond Unicode, with a 32-bit wchar_t) is no character of this file.
    if (is_surrogate(code_point) || code_point > 0x10FFFF)
        return {status::invalid, 0, 0};
    return {status::ok, code_point, static_cast<std::size_t>(from_next - from)};
}

std::size_t code_page::encode(char32_t code_point, char* out, std::size_t capacity) const
{
    wchar_t units[2] = {};
    std::size_t count = 1;
    if constexpr (sizeof(wchar_t) == 2) {
        if (code_point > 0xFFFF) {
            code_point -= 0x10000;
            units[0] = static_cast<wchar_t>(0xD800 + (code_point >> 10));
            units[1] = static_cast<wchar_t>(0xDC00 + (code_point & 0x3FF));
            count = 2;
        } else {
            units[0] = static_cast<wchar_t>(code_point);
        }
    } else {
        units[0] = static_cast<wchar_t>(code_point);
    }
    std::mbstate_t state{};
    const wchar_t* from_next = units;
    char* to_next = out;
    auto result = facet_->out(state, units, units + count, from_next, out, out + capacity, to_next);
    if (result != standard_facet::ok || from_next != units + count)
        return 0;
    return static_cast<std::size_t>(to_next - out);
}

int code_page::max_length() const noexcept
{
    return std::max(facet_->max_length(), 1);
}

} // namespace vt::txtf
