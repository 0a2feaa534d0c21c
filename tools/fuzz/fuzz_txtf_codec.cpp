// Arbitrary bytes through the text-file codec, in every mode.
//
// Input: two bytes of mode word (stray bits included: the facet must
// normalise them away), one control byte (code page, output room, whether
// the file streams are tried too), then the bytes of the "file".
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
//   back to the same text, and in every explicit mode re-encoding what was
//   read back gives the same bytes; cutting the text into pieces changes
//   none of the bytes;
// - the wide file streams read the same text as the facet and write the same
//   bytes.

#include "fuzz_support.h"
#include "txtf_fuzz_support.h"

#include "support/txtf_char_codec.h"
#include "support/txtf_mode.h"
#include "support/txtf_stream.h"

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <unistd.h>

namespace {

namespace fs = std::filesystem;
using namespace vt::txtf;

// Whether the bytes begin with a byte-order mark of UTF-8, UTF-16 or UTF-32,
// read plainly from the bytes.
bool begins_with_mark(std::string_view bytes)
{
    for (std::string_view mark : {std::string_view("\xEF\xBB\xBF"), std::string_view("\xFF\xFE"),
                                  std::string_view("\xFE\xFF"), std::string_view("\0\0\xFE\xFF", 4)})
        if (bytes.substr(0, mark.size()) == mark)
            return true;
    return false;
}

// The explicit mode that writes what an automatic-mode reading found.
std::uint32_t explicit_mode(std::uint32_t mode, std::uint32_t state)
{
    std::uint32_t encoding = encoding_code_page;
    switch (state & state_encoding_mask) {
    case found_utf8: encoding = encoding_utf8; break;
    case found_utf16: encoding = encoding_utf16; break;
    case found_utf32: encoding = encoding_utf32; break;
    default: break;
    }
    std::uint32_t order = (state & state_byte_order_mask) >> state_byte_order_shift == order_big ? big_endian : little_endian;
    return normalise_mode((mode & ~(encoding_mask | byte_order_mask)) | encoding | order);
}

void check_characters(std::uint32_t mode, std::uint32_t state, std::string_view bytes, const std::wstring& text)
{
    for (wchar_t unit : text) {
        auto c = static_cast<std::uint32_t>(unit);
        FUZZ_CHECK(c <= 0x10FFFF);
        FUZZ_CHECK(c < 0xD800 || c > 0xDFFF);
        FUZZ_CHECK((c & 0xFFFF) < 0xFFFE);
        FUZZ_CHECK(c != U'\r');
    }
    // Where marks are recognised, a text may begin with U+FEFF only when a
    // mark came before it (a second one is a character): in a Unicode
    // encoding named by the mode, or in automatic mode over bytes that begin
    // with a mark.
    const std::uint32_t encoding = mode & encoding_mask;
    const bool unicode = encoding == encoding_utf8 || encoding == encoding_utf16 || encoding == encoding_utf32;
    if (!text.empty() && text.front() == wchar_t(byte_order_mark) && marks_allowed(mode) &&
        (unicode || (encoding == encoding_automatic && begins_with_mark(bytes))))
        FUZZ_CHECK(state & state_mark_handled);
}

// length() must measure exactly the bytes that in() consumes for as many
// characters, and one character never takes more than max_length() bytes.
void check_length(const fuzz::facet& f, std::string_view bytes, std::size_t room)
{
    std::mbstate_t in_state{}, length_state{};
    std::vector<wchar_t> area(room);
    const char* from_next = bytes.data();
    wchar_t* to_next = area.data();
    f.in(in_state, bytes.data(), bytes.data() + bytes.size(), from_next, area.data(), area.data() + area.size(),
        to_next);
    int measured = f.length(length_state, bytes.data(), bytes.data() + bytes.size(), room);
    FUZZ_CHECK(measured == from_next - bytes.data());
    FUZZ_CHECK(load_state(in_state) == load_state(length_state));

    std::mbstate_t one{};
    FUZZ_CHECK(f.length(one, bytes.data(), bytes.data() + bytes.size(), 1) <= f.max_length());
}

void check_round_trip(std::uint32_t mode, const std::locale& locale, const std::wstring& text, std::uint64_t seed)
{
    fuzz::facet f(mode, locale);
    std::mbstate_t whole_state{}, cut_state{};
    const std::string bytes = fuzz::encode(f, text, whole_state, 0);
    const std::size_t room = static_cast<std::size_t>(f.max_length()) + seed % 7;
    FUZZ_CHECK(fuzz::encode(f, text, cut_state, seed, room) == bytes);
    FUZZ_CHECK(load_state(whole_state) == load_state(cut_state));

    std::mbstate_t read_state{};
    const fuzz::decoded_text back = fuzz::decode(f, bytes, read_state, 0);
    FUZZ_CHECK(back.left_over == 0);
    const std::uint32_t encoding = f.mode() & encoding_mask;
    if (encoding == encoding_utf8 || encoding == encoding_utf16 || encoding == encoding_utf32)
        FUZZ_CHECK(back.text == text);
    std::mbstate_t again_state{};
    FUZZ_CHECK(fuzz::encode(f, back.text, again_state, 0) == bytes);
}

// A folder of this process for the stream checks, removed at exit.
const fs::path& scratch_folder()
{
    static const fs::path folder = [] {
        fs::path p = fs::temp_directory_path() / ("vt-fuzz-txtf-" + std::to_string(::getpid()));
        fs::create_directories(p);
        std::atexit([] {
            std::error_code ignored;
            fs::remove_all(scratch_folder(), ignored);
        });
        return p;
    }();
    return folder;
}

void check_streams(std::uint32_t read_mode, std::uint32_t write_mode, const std::locale& locale,
    std::string_view bytes, const fuzz::decoded_text& expected)
{
    const fs::path input = scratch_folder() / "in.txt";
    {
        std::ofstream file(input, std::ios::binary | std::ios::trunc);
        file.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
        FUZZ_CHECK(file.good());
    }
    std::wstring read;
    bool broken = false;
    {
        wifstream in;
        in.imbue(locale);
        in.open(input, read_mode);
        FUZZ_CHECK(in.is_open());
        std::wstreambuf* buffer = in.rdbuf();
        try {
            for (;;) {
                auto c = buffer->sbumpc();
                if (std::wstreambuf::traits_type::eq_int_type(c, std::wstreambuf::traits_type::eof()))
                    break;
                read.push_back(std::wstreambuf::traits_type::to_char_type(c));
            }
        } catch (const std::ios_base::failure&) {
            // The standard file buffer refuses a file that ends inside a character.
            broken = true;
        }
    }
    if (expected.left_over == 0) {
        FUZZ_CHECK(!broken);
        FUZZ_CHECK(read == expected.text);
    } else {
        FUZZ_CHECK(read.size() <= expected.text.size());
        FUZZ_CHECK(expected.text.compare(0, read.size(), read) == 0);
    }

    fuzz::facet writer(write_mode, locale);
    std::mbstate_t write_state{};
    const std::string bytes_to_expect = fuzz::encode(writer, expected.text, write_state, 0);
    const fs::path output = scratch_folder() / "out.txt";
    {
        wofstream out;
        out.imbue(locale);
        out.open(output, write_mode, std::ios_base::binary | std::ios_base::trunc);
        FUZZ_CHECK(out.is_open());
        out.write(expected.text.data(), static_cast<std::streamsize>(expected.text.size()));
        out.close();
        FUZZ_CHECK(out.good());
    }
    std::ifstream file(output, std::ios::binary);
    std::string written((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());
    FUZZ_CHECK(written == bytes_to_expect);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    if (size < 3)
        return 0;
    const std::uint32_t mode = data[0] | std::uint32_t(data[1]) << 8 | (data[1] & 0xF0u) << 24;
    const unsigned control = data[2];
    const std::string_view bytes(reinterpret_cast<const char*>(data + 3), size - 3);
    const std::locale& locale = fuzz::code_page_locale(control & 3);
    const std::uint64_t seed = fuzz::hash(data, size) | 1;

    fuzz::facet f(mode, locale);
    FUZZ_CHECK(f.mode() == normalise_mode(mode));
    FUZZ_CHECK(normalise_mode(f.mode()) == f.mode());

    std::mbstate_t whole_state{}, cut_state{};
    const fuzz::decoded_text whole = fuzz::decode(f, bytes, whole_state, 0);
    const fuzz::decoded_text cut = fuzz::decode(f, bytes, cut_state, seed, 1 + (control >> 3) % 8);
    FUZZ_CHECK(cut.text == whole.text);
    FUZZ_CHECK(cut.left_over == whole.left_over);
    FUZZ_CHECK(load_state(cut_state) == load_state(whole_state));
    // Only an unfinished character is ever left over: at most five bytes of a
    // six-byte UTF-8 form (or of a surrogate pair written as two three-byte forms).
    FUZZ_CHECK(whole.left_over <= 5);

    const std::uint32_t state = load_state(whole_state);
    check_characters(f.mode(), state, bytes, whole.text);
    check_length(f, bytes, (control >> 3) % (whole.text.size() + 2));

    const std::uint32_t write_mode =
        (f.mode() & encoding_mask) == encoding_automatic ? explicit_mode(f.mode(), state) : f.mode();
    check_round_trip(write_mode, locale, whole.text, seed);

    if (control & 4)
        check_streams(mode, write_mode, locale, bytes, whole);
    return 0;
}
