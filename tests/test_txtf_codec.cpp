// The text-file codec through its facet interface and through its file
// streams: exact bytes written, encodings found on input, line ends, broken
// input, conversions cut into pieces, and random text through every encoding.
// These tests are portable: they run under Wine with a 16-bit wchar_t and
// natively with a 32-bit one. The code page is a fixed Latin-1 (or a small
// double-byte) facet so that the results do not depend on the system.

#include "support/txtf_char_codec.h"
#include "support/txtf_codecvt.h"
#include "support/txtf_mode.h"
#include "support/txtf_stream.h"
#include "tests/txtf_test_support.h"

#include <gtest/gtest.h>

#include <chrono>
#include <string>

using namespace vt::txtf;
using namespace txtf_test;

namespace {

std::uint32_t found_of(const std::mbstate_t& state)
{
    return state_bits(state) & state_encoding_mask;
}

std::uint32_t newline_met(const std::mbstate_t& state)
{
    return (state_bits(state) & state_newline_mask) >> state_newline_shift;
}

// ---- Mode word ---------------------------------------------------------------

// ---- Writing -------------------------------------------------------------------

TEST(TxtfWrite, Utf16DefaultsGiveMarkAndCrLfLittleEndian)
{
    facet f(encoding_utf16);
    std::mbstate_t state{};
    EXPECT_EQ(dump(encode(f, L"a\nb", state)), dump(hex({0xFF, 0xFE, 'a', 0, 0x0D, 0, 0x0A, 0, 'b', 0})));
    EXPECT_TRUE(state_bits(state) & state_mark_handled);
    EXPECT_EQ((state_bits(state) & state_byte_order_mask) >> state_byte_order_shift, order_little);
}

TEST(TxtfWrite, EachEncodingByteOrderAndNewline)
{
    struct {
        std::uint32_t mode;
        std::wstring text;
        std::string bytes;
    } cases[] = {
        {encoding_utf8, L"a\n\u00E9", hex({0xEF, 0xBB, 0xBF, 'a', 0x0D, 0x0A, 0xC3, 0xA9})},
        {encoding_utf8 | bom_use | newline_crlf, L"\n", hex({0xEF, 0xBB, 0xBF, 0x0D, 0x0A})},
        {encoding_utf8 | bom_none | newline_lf, L"a\n\u20AC", hex({'a', 0x0A, 0xE2, 0x82, 0xAC})},
        {encoding_utf8 | bom_none | newline_cr, L"a\nb\n", hex({'a', 0x0D, 'b', 0x0D})},
        {encoding_utf8 | bom_none, wide(U"\U0001F600\U0010FFFD"), hex({0xF0, 0x9F, 0x98, 0x80, 0xF4, 0x8F, 0xBF, 0xBD})},
        {encoding_utf16 | big_endian, L"a\n", hex({0xFE, 0xFF, 0, 'a', 0, 0x0D, 0, 0x0A})},
        {encoding_utf16 | little_endian | newline_lf, L"\n", hex({0xFF, 0xFE, 0x0A, 0})},
        {encoding_utf16 | bom_none, wide(U"\U0001F600"), hex({0x3D, 0xD8, 0x00, 0xDE})},
        {encoding_utf16 | bom_none | big_endian, wide(U"\U0001F600"), hex({0xD8, 0x3D, 0xDE, 0x00})},
        {encoding_utf32, L"a\n", hex({0xFF, 0xFE, 0, 0, 'a', 0, 0, 0, 0x0D, 0, 0, 0, 0x0A, 0, 0, 0})},
        {encoding_utf32 | big_endian | newline_cr | bom_none, wide(U"\n\U0010FFFD"), hex({0, 0, 0, 0x0D, 0, 0x10, 0xFF, 0xFD})},
    };
    for (const auto& c : cases)
        EXPECT_EQ(dump(encode(c.mode, c.text)), dump(c.bytes)) << std::hex << c.mode;
}

TEST(TxtfWrite, CarriageReturnsAreDroppedAndEmptyTextHasNoMark)
{
    EXPECT_EQ(dump(encode(encoding_utf8 | bom_none, L"a\r\nb\rc")), dump("a\r\nbc"));
    EXPECT_EQ(dump(encode(encoding_utf16 | newline_lf | bom_none, L"\r\r\n")), dump(hex({0x0A, 0})));
    EXPECT_EQ(encode(encoding_utf16, L""), "");
    // The mark comes before the first character, even one that writes nothing.
    EXPECT_EQ(dump(encode(encoding_utf8, L"\r")), dump(hex({0xEF, 0xBB, 0xBF})));
}

TEST(TxtfWrite, NoncharactersAndLoneSurrogatesBecomeReplacement)
{
    const std::string fffd = hex({0xEF, 0xBF, 0xBD});
    const auto mode = encoding_utf8 | bom_none;
    EXPECT_EQ(dump(encode(mode, L"\xFFFE\xFFFF")), dump(fffd + fffd));
    // A high surrogate before a non-surrogate, a lone low one, a high one at the end.
    std::wstring broken = {L'a', wchar_t(0xD83D), L'b', wchar_t(0xDE00), L'c', wchar_t(0xDBFF)};
    EXPECT_EQ(dump(encode(mode, broken)), dump("a" + fffd + "b" + fffd + "c" + fffd));
    // Two high surrogates: each is lone.
    std::wstring highs = {wchar_t(0xD800), wchar_t(0xD800), L'x'};
    EXPECT_EQ(dump(encode(mode, highs)), dump(fffd + fffd + "x"));
    EXPECT_EQ(dump(encode(encoding_utf16 | bom_none, std::wstring{wchar_t(0xDC00)})), dump(hex({0xFD, 0xFF})));
    EXPECT_EQ(dump(encode(encoding_utf32 | bom_none, std::wstring{wchar_t(0xD800)})), dump(hex({0xFD, 0xFF, 0, 0})));
    if constexpr (sizeof(wchar_t) == 4) {
        // Whole code points in wchar_t: values beyond Unicode cannot be written either.
        std::wstring beyond = {static_cast<wchar_t>(0x110000), static_cast<wchar_t>(-1)};
        EXPECT_EQ(dump(encode(mode, beyond)), dump(fffd + fffd));
    }
    // Only U+FFFE and U+FFFF themselves are replaced on output.
    EXPECT_EQ(dump(encode(mode, wide(U"\U0001FFFE"))), dump(hex({0xF0, 0x9F, 0xBF, 0xBE})));
}

TEST(TxtfWrite, CodePageWithQuestionMarkForWhatItCannotExpress)
{
    EXPECT_EQ(dump(encode(encoding_code_page, L"\u00E9\n\u20AC\u4E2D" + wide(U"\U0001F600"))),
        dump(hex({0xE9, 0x0D, 0x0A, '?', '?', '?'})));
    EXPECT_EQ(dump(encode(encoding_code_page | newline_lf, L"x\ny")), dump("x\ny"));
    EXPECT_EQ(dump(encode(encoding_code_page, L"\u3042a\u00E9", double_byte_locale())),
        dump(hex({0x81, 0x42, 'a', '?'})));

    // Automatic mode writes the code page when nothing was read, and no mark.
    facet f(encoding_automatic);
    std::mbstate_t state{};
    EXPECT_EQ(dump(encode(f, L"\u00E9\u0100", state)), dump(hex({0xE9, '?'})));
    EXPECT_EQ(found_of(state), found_code_page);
    EXPECT_FALSE(state_bits(state) & state_start_done);
}

// ---- Reading --------------------------------------------------------------------

TEST(TxtfRead, MarkDecidesEncodingAndByteOrder)
{
    struct {
        std::string bytes;
        std::wstring text;
        std::uint32_t found;
        std::uint32_t order;
    } cases[] = {
        {hex({0xFF, 0xFE, 0, 0, 'a', 0, 0, 0}), L"a", found_utf32, order_little},
        {hex({0xFF, 0xFE, 'a', 0, 'b', 0}), L"ab", found_utf16, order_little},
        {hex({0xFE, 0xFF, 0, 'a', 0xD8, 0x3D, 0xDE, 0x00}), L"a" + wide(U"\U0001F600"), found_utf16, order_big},
        {hex({0, 0, 0xFE, 0xFF, 0, 0, 0, 'a'}), L"a", found_utf32, order_big},
        {hex({0xEF, 0xBB, 0xBF, 0xC3, 0xA9}), L"\u00E9", found_utf8, 0},
        // A second mark is a character.
        {hex({0xEF, 0xBB, 0xBF, 0xEF, 0xBB, 0xBF}), L"\uFEFF", found_utf8, 0},
        // FF FE followed by a character is UTF-16 even though a UTF-32 mark
        // starts the same way.
        {hex({0xFF, 0xFE, 0x41, 0x00}), L"A", found_utf16, order_little},
    };
    for (const auto& c : cases) {
        facet f(encoding_automatic);
        std::mbstate_t state{};
        auto read = decode(f, c.bytes, state);
        EXPECT_EQ(read.text, c.text) << dump(c.bytes);
        EXPECT_EQ(read.left_over, 0u);
        EXPECT_EQ(found_of(state), c.found) << dump(c.bytes);
        EXPECT_EQ((state_bits(state) & state_byte_order_mask) >> state_byte_order_shift, c.order);
        EXPECT_TRUE(state_bits(state) & state_mark_handled);
    }
}

TEST(TxtfRead, UnmarkedFileIsUtf8OrCodePageByItsFirstNonAsciiCharacter)
{
    struct {
        std::string bytes;
        std::wstring text;
        std::uint32_t found;
    } cases[] = {
        {"plain ASCII\n", L"plain ASCII\n", found_none},
        {"caf\xC3\xA9 \xE9t", L"caf\u00E9 \uFFFDt", found_utf8}, // later bytes read as UTF-8
        {"caf\xE9t\xC3\xA9", L"caf\u00E9t\u00C3\u00A9", found_code_page}, // 0xE9 before a letter
        {"x\xC0\x80", L"x\u00C0\u0080", found_code_page},                    // overlong: not UTF-8
        {"x\xED\xA0\x80", L"x\u00ED\u00A0\u0080", found_code_page},         // a surrogate: not UTF-8
        {"\xF0\x9F\x98\x80!", wide(U"\U0001F600!"), found_utf8},
    };
    for (const auto& c : cases) {
        facet f(encoding_automatic);
        std::mbstate_t state{};
        auto read = decode(f, c.bytes, state);
        EXPECT_EQ(read.text, c.text) << dump(c.bytes);
        EXPECT_EQ(found_of(state), c.found) << dump(c.bytes);
        EXPECT_TRUE(state_bits(state) & state_no_mark);
    }
    // A double-byte code page: 0x81 cannot begin UTF-8.
    EXPECT_EQ(decode(encoding_automatic, "ab\x81\x42\x81\x44", double_byte_locale()), L"ab\u3042\u3044");
}

TEST(TxtfRead, MarkInExplicitEncodingIsTakenOnlyAtTheStart)
{
    EXPECT_EQ(decode(encoding_utf8, "\xEF\xBB\xBF" "a\xEF\xBB\xBF"), L"a\uFEFF");
    EXPECT_EQ(decode(encoding_utf16, hex({0xFF, 0xFE, 0xFF, 0xFE, 'a', 0})), L"\uFEFFa");
    // Without marks U+FEFF is an ordinary character.
    EXPECT_EQ(decode(encoding_utf8 | bom_none, "\xEF\xBB\xBF" "a"), L"\uFEFFa");
    EXPECT_EQ(decode(encoding_automatic | bom_none, "\xEF\xBB\xBF" "a"), L"\uFEFFa");
    EXPECT_EQ(decode(encoding_automatic | bom_none, hex({0xFF, 0xFE, 'a', 0})), (std::wstring{0xFF, 0xFE, L'a', 0}));
    // Explicit UTF-16 little-endian reading a big-endian mark: U+FFFE, never delivered.
    EXPECT_EQ(decode(encoding_utf16, hex({0xFE, 0xFF, 'a', 0})), L"\uFFFDa");
}

TEST(TxtfRead, LenientUtf8ReplacesWhatIsBroken)
{
    const wchar_t r = 0xFFFD;
    struct {
        std::string bytes;
        std::wstring text;
    } cases[] = {
        {"\x80" "a", {r, L'a'}},                            // continuation byte as lead
        {"\xC3(", {r, L'('}},                               // missing continuation, 1 byte used
        {"\xE2\x82(", {r, L'('}},                           // missing third byte, 2 bytes used
        {"\xF0\x9F\x98(", {r, L'('}},
        {"\xC0\x80" "a", {L'\0', L'a'}},                    // overlong forms pass
        {"\xE0\x80\xAF", {L'/'}},
        {"\xED\xA0\xBD\xED\xB8\x80", wide(U"\U0001F600")}, // pair in two 3-byte sequences
        {"\xED\xA0\xBD" "a", {r, L'a'}},                    // lone high surrogate
        {"\xED\xA0\xBD\xED\x9F\xBF", {r, L'\uD7FF'}},       // high surrogate, then no low one
        {"\xED\xB8\x80", {r}},                              // lone low surrogate
        {"\xF4\x90\x80\x80" "a", {r, L'a'}},                // above U+10FFFF, 4 bytes used
        {"\xF8\x88\x80\x80\x80" "a", {r, L'a'}},            // 5-byte form
        {"\xFC\x84\x80\x80\x80\x80" "a", {r, L'a'}},        // 6-byte form
        {"\xFF\x80\x80\x80\x80\x80", {r}},
        {"\xEF\xBF\xBE\xEF\xBF\xBF", {r, r}},               // U+FFFE, U+FFFF
        {"\xF0\x9F\xBF\xBF", {r}},                          // U+1FFFF
        {"\xF4\x8F\xBF\xBD", wide(U"\U0010FFFD")},
    };
    for (const auto& c : cases)
        EXPECT_EQ(decode(encoding_utf8, c.bytes), c.text) << dump(c.bytes);
}

TEST(TxtfRead, StrictUtf8AcceptsOnlyTheStandardForm)
{
    struct {
        std::string bytes;
        utf8_status status;
        char32_t code_point;
    } cases[] = {
        {"a", utf8_status::ok, U'a'},
        {"\xC2\x80", utf8_status::ok, 0x80},
        {"\xC0\x80", utf8_status::invalid, 0},
        {"\xC1\xBF", utf8_status::invalid, 0},
        {"\x80", utf8_status::invalid, 0},
        {"\xE0\x9F\xBF", utf8_status::invalid, 0},
        {"\xE0\xA0\x80", utf8_status::ok, 0x800},
        {"\xED\x9F\xBF", utf8_status::ok, 0xD7FF},
        {"\xED\xA0\x80", utf8_status::invalid, 0},
        {"\xF0\x8F\xBF\xBF", utf8_status::invalid, 0},
        {"\xF0\x90\x80\x80", utf8_status::ok, 0x10000},
        {"\xF4\x8F\xBF\xBF", utf8_status::ok, 0x10FFFF},
        {"\xF4\x90\x80\x80", utf8_status::invalid, 0},
        {"\xF5\x80\x80\x80", utf8_status::invalid, 0},
        {"\xF8\x88\x80\x80\x80", utf8_status::invalid, 0},
        {"\xE2\x82(", utf8_status::invalid, 0},
        {"\xE2\x82", utf8_status::need_more, 0},
        {"\xF0", utf8_status::need_more, 0},
    };
    for (const auto& c : cases) {
        auto result = decode_utf8_strict(c.bytes.data(), c.bytes.data() + c.bytes.size());
        EXPECT_EQ(result.status, c.status) << dump(c.bytes);
        if (c.status == utf8_status::ok) {
            EXPECT_EQ(result.code_point, c.code_point) << dump(c.bytes);
            EXPECT_EQ(result.used, c.bytes.size());
        }
    }
    // The lenient reader waits for missing bytes the same way.
    std::string cut = "\xED\xA0\xBD\xED\xB8";
    EXPECT_EQ(decode_utf8_lenient(cut.data(), cut.data() + cut.size()).status, utf8_status::need_more);
}

TEST(TxtfRead, Utf16AndUtf32ReplaceUnpairedAndOutOfRangeValues)
{
    const wchar_t r = 0xFFFD;
    EXPECT_EQ(decode(encoding_utf16 | bom_none, hex({0x3D, 0xD8, 0x00, 0xDE, 0x3D, 0xD8, 'a', 0, 0x00, 0xDE})),
        (wide(U"\U0001F600") + std::wstring{r, L'a', r}));
    EXPECT_EQ(decode(encoding_utf16 | big_endian, hex({0xD8, 0x3D, 0xDE, 0x00, 0xFF, 0xFF})),
        (wide(U"\U0001F600") + std::wstring{r}));
    EXPECT_EQ(decode(encoding_utf32 | bom_none, hex({0, 0xD8, 0, 0, 0, 0, 0x11, 0, 0xFE, 0xFF, 0x01, 0, 0x00, 0xF6, 0x01, 0})),
        (std::wstring{r, r, r} + wide(U"\U0001F600")));
    EXPECT_EQ(decode(encoding_utf32 | big_endian | bom_none, hex({0x80, 0, 0, 'a', 0, 0, 0, 'b'})),
        (std::wstring{r, L'b'}));
    // A UTF-32 file with a mark and U+1FFFE.
    EXPECT_EQ(decode(encoding_automatic, hex({0xFF, 0xFE, 0, 0, 0xFE, 0xFF, 0x01, 0})), std::wstring{r});
}

TEST(TxtfRead, LineEndsBecomeLineFeeds)
{
    const std::string file = "a\r\nb\rc\nd\r\r\ne\r";
    for (std::uint32_t newline : {newline_default, newline_crlf})
        EXPECT_EQ(decode(encoding_utf8 | newline, file), L"a\nb\nc\nd\n\ne\n");
    for (std::uint32_t newline : {newline_lf, newline_cr})
        EXPECT_EQ(decode(encoding_utf8 | newline, file), L"a\n\nb\nc\nd\n\n\ne\n");
    EXPECT_EQ(decode(encoding_utf16, hex({'a', 0, 0x0D, 0, 0x0A, 0, 'b', 0, 0x0D, 0})), L"a\nb\n");
}

// ---- Conversions in pieces ----------------------------------------------------------

TEST(TxtfPieces, IncompleteCharacterWaitsForMoreBytes)
{
    facet f(encoding_utf8);
    std::mbstate_t state{};
    const std::string bytes = "\xE2\x82\xAC";
    wchar_t area[4];
    const char* from_next;
    wchar_t* to_next;
    EXPECT_EQ(f.in(state, bytes.data(), bytes.data() + 2, from_next, area, area + 4, to_next), std::codecvt_base::partial);
    EXPECT_EQ(from_next, bytes.data());
    EXPECT_EQ(to_next, area);
    EXPECT_EQ(state_bits(state), 0u);
    EXPECT_EQ(f.in(state, bytes.data(), bytes.data() + 3, from_next, area, area + 4, to_next), std::codecvt_base::ok);
    EXPECT_EQ(std::wstring(area, to_next), L"\u20AC");

    // The detection of a mark waits as long as a longer mark may follow.
    facet automatic(encoding_automatic);
    std::mbstate_t detect{};
    const std::string mark = hex({0xFF, 0xFE, 0, 0, 'a', 0, 0, 0});
    for (std::size_t n : {1, 2, 3}) {
        EXPECT_EQ(automatic.in(detect, mark.data(), mark.data() + n, from_next, area, area + 4, to_next),
            std::codecvt_base::partial);
        EXPECT_EQ(from_next, mark.data());
    }
    EXPECT_EQ(automatic.in(detect, mark.data(), mark.data() + 8, from_next, area, area + 4, to_next), std::codecvt_base::ok);
    EXPECT_EQ(std::wstring(area, to_next), L"a");
    EXPECT_EQ(found_of(detect), found_utf32);
}

TEST(TxtfPieces, LineEndSplitBetweenCallsIsOneLineFeed)
{
    facet f(encoding_utf8 | bom_none);
    std::mbstate_t state{};
    wchar_t area[8];
    const char* from_next;
    wchar_t* to_next;
    const std::string first = "a\r", second = "\nb";
    f.in(state, first.data(), first.data() + 2, from_next, area, area + 8, to_next);
    EXPECT_EQ(std::wstring(area, to_next), L"a\n");
    EXPECT_TRUE(state_bits(state) & state_after_cr);
    f.in(state, second.data(), second.data() + 2, from_next, area, area + 8, to_next);
    EXPECT_EQ(std::wstring(area, to_next), L"b");
    EXPECT_EQ(newline_met(state), met_crlf);
}

TEST(TxtfPieces, SurrogatePairSplitBetweenCalls)
{
    const std::wstring pair = wide(U"\U0001F600");
    // Written one wide character per call: the pair still becomes one character.
    facet f(encoding_utf8 | bom_none);
    std::mbstate_t state{};
    EXPECT_EQ(dump(encode(f, L"a" + pair + L"b", state, 1)), dump("a\xF0\x9F\x98\x80" "b"));
    EXPECT_EQ(state_bits(state) & (state_pending_high | state_surrogate_bits), 0u);

    // A high surrogate that ends the text is written as U+FFFD when the
    // stream ends (unshift).
    std::mbstate_t ending{};
    std::wstring cut = L"a";
    cut.push_back(wchar_t(0xD83D));
    EXPECT_EQ(dump(encode(f, cut, ending, 1)), dump("a\xEF\xBF\xBD"));

    // Read into an area of one wide character, the last character of the
    // input outside the BMP: both halves arrive.
    for (std::uint32_t mode : {encoding_utf8, encoding_utf16, encoding_utf32 | big_endian}) {
        facet codec(mode);
        std::mbstate_t write_state{}, read_state{};
        std::string bytes = encode(codec, L"x" + pair + pair, write_state);
        auto read = decode(codec, bytes, read_state, 0, 1);
        EXPECT_EQ(read.text, L"x" + pair + pair) << std::hex << mode;
        EXPECT_EQ(read.left_over, 0u);
    }
}

TEST(TxtfPieces, EveryPieceSizeGivesTheSameText)
{
    const std::wstring text = L"A\u00E9\n\u20AC\r\n" + wide(U"\U0001F600\U00010000") + L"\rz\u4E2D";
    const std::uint32_t modes[] = {encoding_utf8, encoding_utf16, encoding_utf16 | big_endian, encoding_utf32,
        encoding_utf32 | big_endian | newline_cr, encoding_utf8 | bom_none | newline_lf};
    for (std::uint32_t mode : modes) {
        facet f(mode);
        std::mbstate_t whole_state{};
        const std::string whole = encode(f, text, whole_state);
        for (std::size_t in_piece = 1; in_piece <= 4; ++in_piece) {
            std::mbstate_t state{};
            EXPECT_EQ(dump(encode(f, text, state, in_piece, static_cast<std::size_t>(f.max_length()))), dump(whole))
                << std::hex << mode << " " << in_piece;
        }
        std::mbstate_t reference_state{};
        const std::wstring reference = decode(f, whole, reference_state).text;
        for (std::uint32_t read_mode : {mode, mode & ~encoding_mask}) {
            facet reader(read_mode);
            for (std::size_t in_piece = 1; in_piece <= 7; ++in_piece) {
                for (std::size_t out_piece : {1, 2, 3, 64}) {
                    std::mbstate_t state{};
                    auto read = decode(reader, whole, state, in_piece, out_piece);
                    EXPECT_EQ(read.text, reference) << std::hex << read_mode << " " << in_piece << " " << out_piece;
                    EXPECT_EQ(read.left_over, 0u);
                }
            }
        }
    }
}

// ---- Round trips of random text -------------------------------------------------

// ---- File streams ----------------------------------------------------------------------

TEST(TxtfStream, LogWriterAndAutomaticReader)
{
    scratch_folder folder("log");
    const auto path = folder.path() / "Uninstall.ulog";
    {
        wofstream log(path, encoding_utf16);
        ASSERT_TRUE(log.is_open());
        EXPECT_EQ(log.mode(), encoding_utf16);
        log << L"a\nb";
    }
    EXPECT_EQ(dump(read_bytes(path)), dump(hex({0xFF, 0xFE, 'a', 0, 0x0D, 0, 0x0A, 0, 'b', 0})));

    wifstream in(path);
    ASSERT_TRUE(in.is_open());
    std::wstring first, second;
    EXPECT_TRUE(std::getline(in, first));
    EXPECT_TRUE(std::getline(in, second));
    EXPECT_EQ(first, L"a");
    EXPECT_EQ(second, L"b");
    EXPECT_FALSE(std::getline(in, first));
    EXPECT_TRUE(in.eof());
    EXPECT_FALSE(in.bad());
}

TEST(TxtfStream, GetlineSplitsAtEveryKindOfLineEnd)
{
    scratch_folder folder("lines");
    const auto path = folder.path() / "lines.txt";
    write_bytes(path, "one\r\ntwo\rthree\nf\xC3\xBCnf\r\n\r\nseven");
    wifstream in(path);
    std::vector<std::wstring> lines;
    for (std::wstring line; std::getline(in, line);)
        lines.push_back(line);
    EXPECT_EQ(lines, (std::vector<std::wstring>{L"one", L"two", L"three", L"f\u00FCnf", L"", L"seven"}));
}

} // namespace
