#pragma once
// vt::txtf::codecvt<wchar_t>: the conversion facet of the installer's text
// files. Installed in a wide file stream that is opened in binary mode, it
// alone decides the bytes of the file: UTF-8, UTF-16 or UTF-32 in either byte
// order, or the locale's code page; a byte-order mark written before the
// first character and recognised on input; line feeds written as the mode's
// line end and every line end read as one line feed; broken input read as
// U+FFFD. In automatic mode the encoding of a file being read is found from
// its mark or, without one, from its first non-ASCII character.
//
// The mode word and the state bits are in support/txtf_mode.h. Everything
// here is portable C++; only the code page follows the system, through the
// standard facet of the locale given at construction. Where wchar_t is a
// UTF-16 code unit (Windows) characters above U+FFFF are surrogate pairs in
// the program's strings and unpaired surrogates are written as U+FFFD; where
// wchar_t holds whole code points (Linux, for the native tests and fuzzing)
// each character is one wchar_t and surrogate values are written as U+FFFD.

#include "support/txtf_code_page.h"
#include "support/txtf_mode.h"

#include <cstdint>
#include <cwchar>
#include <locale>

namespace vt::txtf {

// The wide facet is the one the installer uses; no narrow twin is provided.
template <typename Char>
class codecvt;

template <>
class codecvt<wchar_t> : public std::codecvt<wchar_t, char, std::mbstate_t> {
public:
    // The code page comes from the locale's own wide/narrow facet. A locale
    // that already carries one of these facets (a stream opened again) lends
    // the code page that facet uses.
    explicit codecvt(std::uint32_t mode = encoding_automatic, const std::locale& locale = std::locale(),
        std::size_t refs = 0);

    // The normalised mode word.
    std::uint32_t mode() const noexcept { return mode_; }
    // The locale whose standard wide/narrow facet converts the code page.
    const std::locale& code_page_locale() const noexcept { return code_page_locale_; }

protected:
    ~codecvt() override = default;

    result do_out(state_type& state, const intern_type* from, const intern_type* from_end,
        const intern_type*& from_next, extern_type* to, extern_type* to_end,
        extern_type*& to_next) const override;
    result do_in(state_type& state, const extern_type* from, const extern_type* from_end,
        const extern_type*& from_next, intern_type* to, intern_type* to_end,
        intern_type*& to_next) const override;
    result do_unshift(state_type& state, extern_type* to, extern_type* to_end,
        extern_type*& to_next) const override;
    // -1: how many bytes a character takes depends on what was read before.
    int do_encoding() const noexcept override { return -1; }
    bool do_always_noconv() const noexcept override { return false; }
    int do_length(state_type& state, const extern_type* from, const extern_type* from_end,
        std::size_t max) const override;
    int do_max_length() const noexcept override;

private:
    std::uint32_t mode_;
    std::locale code_page_locale_; // keeps the standard facet behind code_page_ alive
    code_page code_page_;
};

} // namespace vt::txtf
