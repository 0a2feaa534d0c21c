#pragma once
// The text-file codec as the fuzz targets drive it: pieces cut by the input,
// broken rules stopping the run, and the code pages the codec is tried with.

#include "fuzz_support.h"

#include "tests/txtf_codec_driver.h"

#include <algorithm>
#include <cstdint>
#include <locale>
#include <string>
#include <string_view>
#include <vector>

namespace fuzz {

using txtf_driver::decoded_text;
using txtf_driver::facet;

// The code pages: Latin-1, the system's "C" locale (ASCII only) and its
// C.UTF-8 locale (a multibyte code page, where a character may need more
// bytes than a piece holds). Falls back to "C" where C.UTF-8 is missing.
inline const std::locale& code_page_locale(unsigned choice)
{
    static const std::locale utf8 = [] {
        for (const char* name : {"C.UTF-8", "C.utf8"}) {
            try {
                return std::locale(name);
            } catch (const std::runtime_error&) {
            }
        }
        return std::locale::classic();
    }();
    switch (choice % 3) {
    case 0: return txtf_driver::latin1_locale();
    case 1: return std::locale::classic();
    default: return utf8;
    }
}

inline void check(bool holds, const char* rule)
{
    if (!holds)
        fail(rule, __FILE__, __LINE__);
}

// Pieces cut by the seed; seed 0 offers everything at once.
inline txtf_driver::piece_size cut(std::uint64_t seed)
{
    if (seed == 0)
        return {};
    return [cutter = pieces(seed)](std::size_t left) mutable { return cutter.size(left); };
}

inline decoded_text decode(const facet& f, std::string_view bytes, std::mbstate_t& state, std::uint64_t seed,
                           std::size_t out_room = 0)
{
    return txtf_driver::decode(f, bytes, state, cut(seed), out_room, check);
}

inline std::string encode(const facet& f, std::wstring_view text, std::mbstate_t& state, std::uint64_t seed,
                          std::size_t out_room = 0)
{
    return txtf_driver::encode(f, text, state, cut(seed), out_room, check);
}

} // namespace fuzz
