#pragma once
// One character at a time through the code page of a locale: the locale's
// standard wide/narrow conversion facet, which follows the runtime library's
// multibyte code page (on Windows the ANSI code page that setlocale chose).
// This is the only part of the text-file codec that depends on the system,
// and it reaches the system only through the standard facet.

#include <cstddef>
#include <locale>

namespace vt::txtf {

class code_page {
public:
    using standard_facet = std::codecvt<wchar_t, char, std::mbstate_t>;

    enum class status { ok, need_more, invalid };

    struct decoded {
        status result;
        char32_t code_point; // with ok
        std::size_t used;    // bytes of the character, with ok
    };

    // The facet must outlive this object (the codec keeps its locale).
    explicit code_page(const standard_facet& facet) noexcept : facet_(&facet) {}

    // The first character of [from, end). need_more when the bytes end inside
    // a character; invalid when the code page has no character for them.
    decoded decode(const char* from, const char* end) const;

    // The bytes of one character into out (at least max_length() bytes);
    // returns their number, or 0 when the code page cannot express it.
    std::size_t encode(char32_t code_point, char* out, std::size_t capacity) const;

    // The most bytes one character takes (at least 1).
    int max_length() const noexcept;

private:
    const standard_facet* facet_;
};

} // namespace vt::txtf
