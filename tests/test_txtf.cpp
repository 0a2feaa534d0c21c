// The text-file codec on Windows: the code page comes from the runtime
// library's locale (as setlocale chose it), wchar_t is a UTF-16 code unit, and
// the files live on the real file system. The portable cases are in
// test_txtf_codec.cpp, linked into the same program.

#include "support/txtf_codecvt.h"
#include "support/txtf_mode.h"
#include "support/txtf_stream.h"
#include "tests/txtf_test_support.h"

#include <gtest/gtest.h>

#include <clocale>
#include <string>

using namespace vt::txtf;
using namespace txtf_test;

namespace {

static_assert(sizeof(wchar_t) == 2, "the installer's strings are UTF-16");

// A test may change the runtime library's multibyte code page; it is put
// back after it.
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

TEST_F(TxtfWindows, LogWrittenInAnyEncodingIsReadInAutomaticMode)
{
    scratch_folder folder("windows-auto");
    const std::wstring text = L"\u00C9t\u00E9\n\u65E5\u672C\r\n" + wide(U"\U0001F600") + L"\nend";
    const std::wstring expected = L"\u00C9t\u00E9\n\u65E5\u672C\n" + wide(U"\U0001F600") + L"\nend";
    int n = 0;
    for (std::uint32_t mode : {encoding_utf8, encoding_utf16, encoding_utf16 | big_endian, encoding_utf32,
             encoding_utf32 | big_endian, encoding_utf8 | bom_none}) {
        const auto path = folder.path() / (L"log" + std::to_wstring(n++) + L".txt");
        {
            wofstream out(path, mode);
            out << text;
        }
        EXPECT_EQ(read_bytes(path), encode(mode, text)) << "the stream writes what its facet gives";
        wifstream in(path);
        std::wstring read((std::istreambuf_iterator<wchar_t>(in)), std::istreambuf_iterator<wchar_t>());
        EXPECT_EQ(read, expected) << std::hex << mode;
    }
}

} // namespace
