#include "support/format.h"

#include <vector>

namespace vt {

namespace {

struct number_spec {
    bool zero_pad = false;
    std::size_t width = 0;
    int base = 10;
    bool upper = false;
    bool valid = true;
};

number_spec parse_spec(std::wstring_view spec)
{
    number_spec result;
    std::size_t i = 0;
    if (i < spec.size() && spec[i] == L'0') {
        result.zero_pad = true;
        ++i;
    }
    while (i < spec.size() && spec[i] >= L'0' && spec[i] <= L'9')
        result.width = result.width * 10 + std::size_t(spec[i++] - L'0');
    if (i < spec.size()) {
        switch (spec[i++]) {
        case L'x': result.base = 16; break;
        case L'X': result.base = 16; result.upper = true; break;
        case L'd': break;
        case L's': break;
        default: result.valid = false;
        }
    }
    if (i != spec.size())
        result.valid = false;
    return result;
}

std::wstring digits(std::uint64_t value, int base, bool upper)
{
    const wchar_t* set = upper ? L"0123456789ABCDEF" : L"0123456789abcdef";
    std::wstring text;
    do {
        text.insert(text.begin(), set[value % unsigned(base)]);
        value /= unsigned(base);
    } while (value != 0);
    return text;
}

} // namespace

void format_arg::append_to(std::wstring& out, std::wstring_view spec) const
{
    number_spec s = parse_spec(spec);
    std::wstring text;
    bool negative = false;
    if (auto str = std::get_if<std::wstring_view>(&value_)) {
        text.assign(*str);
        s.zero_pad = false;
    } else if (auto u = std::get_if<std::uint64_t>(&value_)) {
        text = digits(*u, s.base, s.upper);
    } else {
        std::int64_t v = std::get<std::int64_t>(value_);
        // As in the standard library: sign and magnitude, also in hexadecimal.
        // Error codes are formatted as unsigned values for their bit pattern.
        negative = v < 0;
        std::uint64_t magnitude = negative ? 0 - std::uint64_t(v) : std::uint64_t(v);
        text = digits(magnitude, s.base, s.upper);
    }
    std::size_t length = text.size() + (negative ? 1 : 0);
    std::size_t pad = s.width > length ? s.width - length : 0;
    // As the standard aligns by default: texts to the left, numbers to the
    // right, with zeros after the sign when asked for.
    bool is_text = std::holds_alternative<std::wstring_view>(value_);
    if (!is_text && !s.zero_pad)
        out.append(pad, L' ');
    if (negative)
        out.push_back(L'-');
    if (s.zero_pad)
        out.append(pad, L'0');
    out.append(text);
    if (is_text)
        out.append(pad, L' ');
}

std::wstring format(std::wstring_view pattern, std::initializer_list<format_arg> args)
{
    std::vector<const format_arg*> list;
    for (const auto& arg : args)
        list.push_back(&arg);

    std::wstring out;
    out.reserve(pattern.size() + 16);
    std::size_t next_automatic = 0;
    for (std::size_t i = 0; i < pattern.size(); ++i) {
        wchar_t c = pattern[i];
        if (c == L'}' && i + 1 < pattern.size() && pattern[i + 1] == L'}') {
            out.push_back(L'}');
            ++i;
            continue;
        }
        if (c != L'{') {
            out.push_back(c);
            continue;
        }
        if (i + 1 < pattern.size() && pattern[i + 1] == L'{') {
            out.push_back(L'{');
            ++i;
            continue;
        }
        std::size_t close = pattern.find(L'}', i + 1);
        if (close == std::wstring_view::npos) {
            out.append(pattern.substr(i));
            break;
        }
        std::wstring_view field = pattern.substr(i + 1, close - i - 1);
        std::size_t colon = field.find(L':');
        std::wstring_view index_text = field.substr(0, colon);
        std::wstring_view spec = colon == std::wstring_view::npos ? std::wstring_view{} : field.substr(colon + 1);

        std::size_t index = 0;
        bool valid = true;
        if (index_text.empty()) {
            index = next_automatic++;
        } else {
            for (wchar_t d : index_text) {
                if (d < L'0' || d > L'9') {
                    valid = false;
                    break;
                }
                index = index * 10 + std::size_t(d - L'0');
            }
        }
        if (!valid || index >= list.size() || !parse_spec(spec).valid) {
            out.append(pattern.substr(i, close - i + 1));
        } else {
            list[index]->append_to(out, spec);
        }
        i = close;
    }
    return out;
}

} // namespace vt
