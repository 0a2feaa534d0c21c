// The text-file codec through its facet interface: exact bytes written,
// encodings found on input, line ends, broken input, conversions cut into
// pieces. These tests are portable: they run under Wine with a 16-bit
// wchar_t and natively with a 32-bit one. The code page is a fixed Latin-1
// facet so that the results do not depend on the system, except on Windows
// in the last test, where it comes from the runtime library's locale (as
// setlocale chose it). The file streams as the installer uses them are tried
// on its uninstall log (test_uninstall_log.cpp).

#include "support/txtf_codecvt.h"
#include "support/txtf_mode.h"
#include "tests/txtf_codec_driver.h"

#include <gtest/gtest.h>

#include <clocale>
#include <string>

using namespace vt::txtf;
using namespace txtf_driver;

namespace {

TEST(TxtfWrite, BytesOfEveryMode)
{
    const std::string fffd = "\xEF\xBF\xBD";
    const std::wstring pair = wide(U"\U0001F600");
    const auto utf8 = encoding_utf8 | bom_none;
    struct {
        std::uint32_t mode;
        std::wstring text;
        std::string bytes;
    } cases[] = {
        {encoding_utf8, L"a\n\u00E9", "\xEF\xBB\xBF" "a\r\n\xC3\xA9"},
        // The mark comes before the first character, even one that writes
        // nothing; an empty text has none.
        {encoding_utf8, L"\r", "\xEF\xBB\xBF"},
        {encoding_utf16, L"", ""},
        {utf8 | newline_lf, L"a\n\u20AC", "a\n\xE2\x82\xAC"},
        {utf8 | newline_cr, L"a\r\nb\rc\n", "a\rbc\r"},
        {utf8, wide(U"\U0001F600\U0010FFFD"), "\xF0\x9F\x98\x80\xF4\x8F\xBF\xBD"},
        {encoding_utf16, L"a\n", hex({0xFF, 0xFE, 'a', 0, 0x0D, 0, 0x0A, 0})},
        {encoding_utf16 | big_endian, L"a\n", hex({0xFE, 0xFF, 0, 'a', 0, 0x0D, 0, 0x0A})},
        {encoding_utf16 | little_endian | newline_lf, L"\r\r\n", hex({0xFF, 0xFE, 0x0A, 0})},
        {encoding_utf16 | bom_none, pair, hex({0x3D, 0xD8, 0x00, 0xDE})},
        {encoding_utf16 | bom_none | big_endian, pair, hex({0xD8, 0x3D, 0xDE, 0x00})},
        {encoding_utf32, L"a\n", hex({0xFF, 0xFE, 0, 0, 'a', 0, 0, 0, 0x0D, 0, 0, 0, 0x0A, 0, 0, 0})},
        {encoding_utf32 | big_endian | newline_cr | bom_none, wide(U"\n\U0010FFFD"),
         hex({0, 0, 0, 0x0D, 0, 0x10, 0xFF, 0xFD})},
        // Noncharacters and lone surrogates become U+FFFD: a high surrogate
        // before a non-surrogate, a lone low one, two high ones, a high one at
        // the end. Of the noncharacters only U+FFFE and U+FFFF are replaced.
        {utf8, L"\xFFFE\xFFFF" + wide(U"\U0001FFFE"), fffd + fffd + "\xF0\x9F\xBF\xBE"},
        {utf8, {L'a', wchar_t(0xD83D), L'b', wchar_t(0xDE00), wchar_t(0xD800), wchar_t(0xD800), L'c',
                wchar_t(0xDBFF)},
         "a" + fffd + "b" + fffd + fffd + fffd + "c" + fffd},
        {encoding_utf16 | bom_none, std::wstring(1, wchar_t(0xDC00)), hex({0xFD, 0xFF})},
        // The code page writes a question mark for what it cannot express;
        // automatic mode writes the code page, and no mark.
        {encoding_code_page, L"\u00E9\n\u20AC" + pair, "\xE9\r\n??"},
        {encoding_automatic, L"\u00E9\u0100", "\xE9?"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(encode(c.mode, c.text), c.bytes) << std::hex << c.mode;
}

TEST(TxtfRead, TextOfEveryMode)
{
    const wchar_t r = 0xFFFD;
    const std::wstring pair = wide(U"\U0001F600");
    const std::string crlf_file = "a\r\nb\rc\nd\r\r\ne\r";
    struct {
        std::uint32_t mode;
        std::string bytes;
        std::wstring text;
        std::uint32_t found = found_none; // in automatic mode
    } cases[] = {
        // A mark decides the encoding and the byte order. FF FE followed by a
        // character is UTF-16 even though a UTF-32 mark starts the same way;
        // a second mark is a character.
        {encoding_automatic, hex({0xFF, 0xFE, 0, 0, 'a', 0, 0, 0}), L"a", found_utf32},
        {encoding_automatic, hex({0xFF, 0xFE, 'a', 0, 'b', 0}), L"ab", found_utf16},
        {encoding_automatic, hex({0xFE, 0xFF, 0, 'a', 0xD8, 0x3D, 0xDE, 0x00}), L"a" + pair, found_utf16},
        {encoding_automatic, hex({0, 0, 0xFE, 0xFF, 0, 0, 0, 'a'}), L"a", found_utf32},
        {encoding_automatic, "\xEF\xBB\xBF\xEF\xBB\xBF", L"\uFEFF", found_utf8},
        // Without a mark the first non-ASCII character decides: only the
        // standard form of UTF-8 counts, later bytes are read as UTF-8.
        {encoding_automatic, "plain ASCII\n", L"plain ASCII\n", found_none},
        {encoding_automatic, "caf\xC3\xA9 \xE9t", L"caf\u00E9 \uFFFDt", found_utf8},
        {encoding_automatic, "caf\xE9t\xC3\xA9", L"caf\u00E9t\u00C3\u00A9", found_code_page},
        {encoding_automatic, "\xC2\x80", L"\u0080", found_utf8},
        {encoding_automatic, "\xE0\xA0\x80", L"\u0800", found_utf8},
        {encoding_automatic, "\xF4\x8F\xBF\xBD", wide(U"\U0010FFFD"), found_utf8},
        {encoding_automatic, "x\xC0\x80", L"x\u00C0\u0080", found_code_page},
        {encoding_automatic, "x\xE0\x9F\xBF", L"x\u00E0\u009F\u00BF", found_code_page},
        {encoding_automatic, "x\xED\xA0\x80", L"x\u00ED\u00A0\u0080", found_code_page},
        {encoding_automatic, "x\xF0\x8F\xBF\xBF", L"x\u00F0\u008F\u00BF\u00BF", found_code_page},
        {encoding_automatic, "x\xF4\x90\x80\x80", L"x\u00F4\u0090\u0080\u0080", found_code_page},
        // Without marks U+FEFF is an ordinary character; in an explicit
        // encoding a mark is taken only at the start. UTF-16 little-endian
        // reading a big-endian mark gets U+FFFE, never delivered.
        {encoding_automatic | bom_none, "\xEF\xBB\xBF" "a", L"\uFEFFa"},
        {encoding_automatic | bom_none, hex({0xFF, 0xFE, 'a', 0}), std::wstring{0xFF, 0xFE, L'a', 0}},
        {encoding_utf8 | bom_none, "\xEF\xBB\xBF" "a", L"\uFEFFa"},
        {encoding_utf8, "\xEF\xBB\xBF" "a\xEF\xBB\xBF", L"a\uFEFF"},
        {encoding_utf16, hex({0xFF, 0xFE, 0xFF, 0xFE, 'a', 0}), L"\uFEFFa"},
        {encoding_utf16, hex({0xFE, 0xFF, 'a', 0}), {r, L'a'}},
        // Lenient UTF-8: overlong forms pass, a surrogate pair may come as
        // two three-byte sequences, whatever else is broken is replaced.
        {encoding_utf8, "\x80" "a", {r, L'a'}},
        {encoding_utf8, "\xE2\x82(", {r, L'('}},
        {encoding_utf8, "\xC0\x80" "a\xE0\x80\xAF", {L'\0', L'a', L'/'}},
        {encoding_utf8, "\xED\xA0\xBD\xED\xB8\x80", pair},
        {encoding_utf8, "\xED\xA0\xBD" "a", {r, L'a'}},
        {encoding_utf8, "\xED\xA0\xBD\xED\x9F\xBF", {r, L'\uD7FF'}},
        {encoding_utf8, "\xED\xB8\x80", {r}},
        {encoding_utf8, "\xF4\x90\x80\x80" "a", {r, L'a'}},
        {encoding_utf8, "\xF8\x88\x80\x80\x80" "a", {r, L'a'}},
        {encoding_utf8, "\xEF\xBF\xBE\xEF\xBF\xBF\xF0\x9F\xBF\xBF", {r, r, r}},
        // UTF-16 and UTF-32: unpaired and out-of-range values are replaced.
        {encoding_utf16 | bom_none, hex({0x3D, 0xD8, 0x00, 0xDE, 0x3D, 0xD8, 'a', 0, 0x00, 0xDE}),
         pair + std::wstring{r, L'a', r}},
        {encoding_utf16 | big_endian, hex({0xD8, 0x3D, 0xDE, 0x00, 0xFF, 0xFF}), pair + std::wstring{r}},
        {encoding_utf32 | bom_none, hex({0, 0xD8, 0, 0, 0, 0, 0x11, 0, 0xFE, 0xFF, 0x01, 0, 0x00, 0xF6, 0x01, 0}),
         std::wstring{r, r, r} + pair},
        {encoding_utf32 | big_endian | bom_none, hex({0x80, 0, 0, 'a', 0, 0, 0, 'b'}), {r, L'b'}},
        // Line ends: CR LF, CR and LF each end a line; with LF (or CR) chosen,
        // CR LF is two.
        {encoding_utf8, crlf_file, L"a\nb\nc\nd\n\ne\n"},
        {encoding_utf8 | newline_lf, crlf_file, L"a\n\nb\nc\nd\n\n\ne\n"},
        {encoding_utf16, hex({'a', 0, 0x0D, 0, 0x0A, 0, 'b', 0, 0x0D, 0}), L"a\nb\n"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << std::hex << c.mode << " " << testing::PrintToString(c.bytes));
        facet f(c.mode);
        std::mbstate_t state{};
        const auto read = decode(f, c.bytes, state);
        EXPECT_EQ(read.text, c.text);
        EXPECT_EQ(read.left_over, 0u);
        if (c.mode == encoding_automatic) {
            EXPECT_EQ(load_state(state) & state_encoding_mask, c.found);
        }
    }
}

// Written a few characters per call and read back in pieces of every size,
// into areas as small as one wide character (the last character a pair, so
// that one half must wait for the next call), in the encoding's own mode
// and in automatic mode: the text is always the same.
TEST(TxtfPieces, EveryPieceSizeGivesTheSameText)
{
    const std::wstring text = L"A\u00E9\n\u20AC\n" + wide(U"\U00010000") + L"z\u4E2D" + wide(U"\U0001F600");
    const std::uint32_t modes[] = {encoding_utf8, encoding_utf16, encoding_utf16 | big_endian, encoding_utf32,
                                   encoding_utf32 | big_endian | newline_cr, encoding_utf8 | bom_none | newline_lf};
    for (std::uint32_t mode : modes) {
        facet f(mode);
        std::mbstate_t whole_state{};
        const std::string whole = encode(f, text, whole_state);
        for (std::size_t in_piece = 1; in_piece <= 4; ++in_piece) {
            std::mbstate_t state{};
            EXPECT_EQ(encode(f, text, state, pieces_of(in_piece), static_cast<std::size_t>(f.max_length())), whole)
                << std::hex << mode << " " << in_piece;
        }
        for (std::uint32_t read_mode : {mode, mode & ~encoding_mask}) {
            facet reader(read_mode);
            for (std::size_t in_piece = 1; in_piece <= 7; ++in_piece) {
                for (std::size_t out_piece : {1, 2, 3, 64}) {
                    std::mbstate_t state{};
                    auto read = decode(reader, whole, state, pieces_of(in_piece), out_piece);
                    EXPECT_EQ(read.text, text) << std::hex << read_mode << " " << in_piece << " " << out_piece;
                    EXPECT_EQ(read.left_over, 0u);
                }
            }
        }
    }
}

#ifdef _WIN32
// The runtime library's code page, as a test may set it, is put back after it.
class TxtfWindows : public ::testing::Test {
protected:
    void TearDown() override { std::setlocale(LC_CTYPE, previous_.c_str()); }
    const std::string previous_ = std::setlocale(LC_CTYPE, nullptr);
};

TEST_F(TxtfWindows, DoubleByteCodePageOfTheRuntime)
{
    ASSERT_NE(std::setlocale(LC_CTYPE, ".932"), nullptr);
    const std::locale system = std::locale::classic();
    const std::string japanese = "\x93\xFA\x96\x7B"; // two characters in code page 932
    // (The system maps some characters to a look-alike, such as \u00E9 to "e";
    // Thai has none in this code page.)
    EXPECT_EQ(encode(encoding_code_page, L"\u65E5\u672C\u0E01", system), japanese + "?");

    // 0x93 cannot begin UTF-8, so the code page is chosen; a lead byte at the
    // end of one call waits for its second byte.
    facet f(encoding_automatic, system);
    std::mbstate_t state{};
    auto read = decode(f, "a" + japanese, state, pieces_of(1), 1);
    EXPECT_EQ(read.text, L"a\u65E5\u672C");
    EXPECT_EQ(read.left_over, 0u);
    EXPECT_EQ(load_state(state) & state_encoding_mask, found_code_page);
}
#endif

} // namespace
