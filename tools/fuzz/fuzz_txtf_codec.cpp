// Arbitrary bytes through the text-file codec, in every mode.
//
// Input: two bytes of mode word (stray bits included: the facet must
// normalise them away), one control byte (code page, output room), then the
// bytes of the "file".
//
// Properties:
// - decoding never fails, never reads outside what it is given, and gives
//   the same characters and the same final state however the bytes and the
//   output area are cut;
// - every character delivered is a Unicode scalar value, never a
//   noncharacter ending in FFFE/FFFF, never a CR (every line end reads as
//   LF), and never a leading byte-order mark where marks are recognised
//   unless one was consumed before it;
// - length() agrees with in() and stays within max_length() per character;
// - encoding the decoded text is stable: in a Unicode encoding it decodes
//   back to the same text, and re-encoding what was read back gives the same
//   bytes; cutting the text into pieces changes none of the bytes.

#include "fuzz_support.h"

#include "support/txtf_mode.h"
#include "tests/txtf_codec_driver.h"

#include <string>

namespace {

using namespace vt::txtf;
using namespace std::string_view_literals;
using txtf_driver::decoded_text;
using txtf_driver::facet;

// The code pages: Latin-1, the system's "C" locale (ASCII only) and its
// C.UTF-8 locale (a multibyte code page, where a character may need more
// bytes than a piece holds; built into the C library since glibc 2.35).
const std::locale& code_page_locale(unsigned choice)
{
    static const std::locale utf8("C.UTF-8");
    const std::locale* locales[] = {&txtf_driver::latin1_locale(), &std::locale::classic(), &utf8};
    return *locales[choice % 3];
}

// Cut into pieces as the seed says (0: all at once), into areas of room
// characters or bytes (0: plenty).
decoded_text decode_cut(const facet& f, std::string_view bytes, std::mbstate_t& state, std::uint64_t seed = 0,
                        std::size_t room = 0)
{
    return txtf_driver::decode(f, bytes, state, fuzz::cut(seed), room, fuzz::check);
}

std::string encode_cut(const facet& f, std::wstring_view text, std::mbstate_t& state, std::uint64_t seed = 0,
                       std::size_t room = 0)
{
    return txtf_driver::encode(f, text, state, fuzz::cut(seed), room, fuzz::check);
}

bool is_unicode(std::uint32_t mode)
{
    const std::uint32_t encoding = mode & encoding_mask;
    return encoding == encoding_utf8 || encoding == encoding_utf16 || encoding == encoding_utf32;
}

void check_characters(std::uint32_t mode, std::uint32_t state, std::string_view bytes, const std::wstring& text)
{
    for (wchar_t unit : text) {
        auto c = static_cast<std::uint32_t>(unit);
        FUZZ_CHECK(c <= 0x10FFFF && (c < 0xD800 || c > 0xDFFF));
        FUZZ_CHECK((c & 0xFFFF) < 0xFFFE && c != U'\r');
    }
    // A mark came before a leading U+FEFF in a Unicode encoding named by the
    // mode, or in automatic mode over bytes that begin with one.
    bool after_mark = is_unicode(mode);
    for (std::string_view mark : {"\xEF\xBB\xBF"sv, "\xFF\xFE"sv, "\xFE\xFF"sv, "\0\0\xFE\xFF"sv})
        after_mark |= (mode & encoding_mask) == encoding_automatic && bytes.starts_with(mark);
    if (!text.empty() && text.front() == L'\uFEFF' && marks_allowed(mode) && after_mark)
        FUZZ_CHECK(state & state_mark_handled);
}

void check_length(const facet& f, std::string_view bytes, std::size_t room)
{
    std::mbstate_t in_state{}, length_state{}, one{};
    std::vector<wchar_t> area(room);
    const char *begin = bytes.data(), *end = begin + bytes.size(), *from_next = begin;
    wchar_t* to_next = area.data();
    f.in(in_state, begin, end, from_next, area.data(), area.data() + room, to_next);
    FUZZ_CHECK(f.length(length_state, begin, end, room) == from_next - begin);
    FUZZ_CHECK(load_state(in_state) == load_state(length_state));
    FUZZ_CHECK(f.length(one, begin, end, 1) <= f.max_length());
}

void check_round_trip(const facet& f, const std::wstring& text, std::uint64_t seed)
{
    std::mbstate_t whole_state{}, cut_state{}, read_state{}, again_state{};
    const std::string bytes = encode_cut(f, text, whole_state);
    FUZZ_CHECK(encode_cut(f, text, cut_state, seed, f.max_length() + seed % 7) == bytes);
    FUZZ_CHECK(load_state(whole_state) == load_state(cut_state));

    const decoded_text back = decode_cut(f, bytes, read_state);
    FUZZ_CHECK(back.left_over == 0);
    if (is_unicode(f.mode()))
        FUZZ_CHECK(back.text == text);
    FUZZ_CHECK(encode_cut(f, back.text, again_state) == bytes);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    if (size < 3)
        return 0;
    const std::uint32_t mode = data[0] | std::uint32_t(data[1]) << 8 | (data[1] & 0xF0u) << 24;
    const unsigned control = data[2];
    const std::string_view bytes(reinterpret_cast<const char*>(data + 3), size - 3);
    const std::locale& locale = code_page_locale(control & 3);
    const std::uint64_t seed = fuzz::seed_of(data, size);

    facet f(mode, locale);

    std::mbstate_t whole_state{}, cut_state{};
    const decoded_text whole = decode_cut(f, bytes, whole_state);
    const decoded_text cut = decode_cut(f, bytes, cut_state, seed, 1 + (control >> 3) % 8);
    FUZZ_CHECK(cut.text == whole.text && cut.left_over == whole.left_over);
    FUZZ_CHECK(load_state(cut_state) == load_state(whole_state));
    // Only an unfinished character is ever left over: at most five bytes of a
    // six-byte UTF-8 form (or of a surrogate pair written as two three-byte forms).
    FUZZ_CHECK(whole.left_over <= 5);

    check_characters(f.mode(), load_state(whole_state), bytes, whole.text);
    check_length(f, bytes, (control >> 3) % (whole.text.size() + 2));

    // Automatic mode writes in the code page; the Unicode encodings are
    // tried in turn instead, in either byte order.
    std::uint32_t write_mode = f.mode();
    if ((write_mode & encoding_mask) == encoding_automatic) {
        const std::uint32_t unicode[] = {encoding_utf8, encoding_utf16, encoding_utf32};
        write_mode = (write_mode & ~byte_order_mask) | unicode[(seed >> 1) % 3] | (seed & 8 ? big_endian : 0);
    }
    const facet writer(write_mode, locale);
    check_round_trip(writer, whole.text, seed);
    return 0;
}
