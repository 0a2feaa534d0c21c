#pragma once
// A small subset of the standard formatting syntax for wide strings, enough for
// the installer's texts: "{}", "{0}", "{1}", "{:08x}", "{:08X}", "{:04}",
// "{{" and "}}". (The runtime library of the Windows builds has no <format>.)

#include <cstdint>
#include <initializer_list>
#include <string>
#include <string_view>
#include <type_traits>
#include <variant>

namespace vt {

class format_arg {
public:
    format_arg(std::wstring_view text) : value_(text) {}
    format_arg(const std::wstring& text) : value_(std::wstring_view(text)) {}
    format_arg(const wchar_t* text) : value_(std::wstring_view(text)) {}
    template <typename Integer, std::enable_if_t<std::is_integral_v<Integer>, int> = 0>
    format_arg(Integer number)
    {
        if constexpr (std::is_signed_v<Integer>)
            value_ = static_cast<std::int64_t>(number);
        else
            value_ = static_cast<std::uint64_t>(number);
    }

    void append_to(std::wstring& out, std::wstring_view spec) const;

private:
    std::variant<std::wstring_view, std::int64_t, std::uint64_t> value_;
};

// Fields without an index take the arguments in order; a field whose index has
// no argument, or a malformed field, is copied as it stands.
std::wstring format(std::wstring_view pattern, std::initializer_list<format_arg> args);

} // namespace vt

// Fills the replacement fields {0}, {1}, ... of a localised text by position.
inline std::wstring format_text(std::wstring_view text, std::initializer_list<vt::format_arg> args)
{
    return vt::format(text, args);
}
