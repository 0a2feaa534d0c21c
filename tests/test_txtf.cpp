// The text-file codec on Windows: the code page comes from the runtime
// library's locale (as setlocale chose it) and wchar_t is a UTF-16 code unit.
// The portable cases are in test_txtf_codec.cpp, linked into the same
// program; the file streams as the installer uses them are tried on its
// uninstall log (test_uninstall_log.cpp).

#include "support/txtf_codecvt.h"
#include "support/txtf_mode.h"
#include "tests/txtf_codec_driver.h"

#include <gtest/gtest.h>

#include <clocale>
#include <string>

using namespace vt::txtf;
using namespace txtf_driver;

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

} // namespace
