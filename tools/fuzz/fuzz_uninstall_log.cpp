// Hostile Uninstall.ulog files. The input is the file's bytes; they are read
// the way the installer reads the earlier log: through the text-file codec in
// automatic mode (the code page a single-byte one), cut into lines at each
// line feed, a line past the longest a log can hold ending the reading, and
// every line handed to uninstall_log_parser until it refuses one.
//
// Properties:
// - the parser neither crashes nor throws;
// - it agrees on every line with a second, plain writing of the line rules:
//   which lines it accepts, and what it reads from them;
// - a refused line changes nothing that was read before it, and the reading
//   ends there.
#include "fuzz_support.h"
#include "tests/txtf_codec_driver.h"

#include "engine/uninstall_log_parser.h"

#include <algorithm>
#include <string>
#include <string_view>
#include <vector>

namespace {

using namespace vt::txtf;

struct log_reading {
    unsigned version = 0;
    std::wstring product_text, install_folder, shortcut_folder;
    std::size_t entries = 0;

    bool operator==(const log_reading&) const = default;
};

log_reading reading_of(const uninstall_log_parser& parser)
{
    return {parser.version(), parser.product_text(), parser.install_folder(), parser.shortcut_folder(),
            parser.entries().size()};
}

// The log's line rules written out a second time, plainly, over indexes.
class reference_log {
public:
    log_reading reading;
    journal_entry last;

    bool line(std::wstring_view text)
    {
        if (text.size() > uninstall_log_max_line || text.find(L'\0') != std::wstring_view::npos)
            return false;
        const std::wstring_view line = trim_end(text);
        if (line.empty())
            return true;
        const unsigned count = counted_++;
        return line.starts_with(L"//") ? comment(line, count) : entry(line);
    }

private:
    static std::size_t skip_blanks(std::wstring_view text, std::size_t at)
    {
        while (at < text.size() && is_log_blank(text[at]))
            ++at;
        return at;
    }

    static std::wstring_view trim_end(std::wstring_view text)
    {
        while (!text.empty() && is_log_blank(text.back()))
            text.remove_suffix(1);
        return text;
    }

    // Digits of the base at text[at], at least one, at most a 32-bit value.
    static bool number(std::wstring_view text, std::size_t& at, unsigned base, std::uint64_t& value)
    {
        const std::size_t start = at;
        for (value = 0; at < text.size(); ++at) {
            const unsigned c = text[at], lower = c | 0x20;
            unsigned digit = c >= L'0' && c <= L'9' ? c - L'0' : 16;
            if (lower >= L'a' && lower <= L'f')
                digit = lower - L'a' + 10;
            if (digit >= base)
                break;
            value = value * base + digit;
            if (value > 0xFFFFFFFFull)
                return false;
        }
        return at > start;
    }

    bool comment(std::wstring_view line, unsigned count)
    {
        const std::size_t slashes = std::min(line.find_first_not_of(L'/'), line.size());
        const std::wstring_view text = line.substr(skip_blanks(line, slashes));
        std::wstring_view rest;
        auto after = [&](std::wstring_view marker) {
            const std::size_t found = text.find(marker);
            if (found != std::wstring_view::npos)
                rest = text.substr(found + marker.size());
            return found != std::wstring_view::npos;
        };
        std::size_t digits = 0;
        std::uint64_t version = 0;
        switch (count) {
        case 0:
            if (!after(L"Uninstall Log File v") || !number(rest, digits, 10, version) || version != 1)
                return false;
            reading.version = 1;
            return true;
        case 2:
        case 3:
        case 4: {
            // The product's text ends where its update note begins.
            const std::wstring_view markers[] = {L"Install", L"Install Path : ", L"Shortcut Path : "};
            std::wstring* const texts[] = {&reading.product_text, &reading.install_folder,
                                           &reading.shortcut_folder};
            if (!after(markers[count - 2]))
                return false;
            if (count == 2)
                rest = rest.substr(0, rest.find(L"--"));
            *texts[count - 2] = trim_end(rest.substr(skip_blanks(rest, 0)));
            return true;
        }
        default:
            return true;
        }
    }

    bool entry(std::wstring_view line)
    {
        if (reading.version != 1 || reading.entries >= uninstall_log_max_entries)
            return false;
        std::size_t at = skip_blanks(line, 0);
        std::uint64_t position = 0, code = 0;
        auto next_is = [&](wchar_t c) { return at < line.size() && line[at++] == c; };
        if (!number(line, at, 10, position) || !next_is(L':') || !number(line, at, 16, code) ||
            !next_is(L':') || code / 256 > 7 || at >= line.size() || (line[at] != L'0' && line[at] != L'1'))
            return false;
        last = journal_entry{};
        last.done = line[at++] == L'1';
        at = skip_blanks(line, at);
        if (!next_is(L'-') || !next_is(L'-') || (at < line.size() && !is_log_blank(line[at])))
            return false;
        last.type = journal_type(code / 256);
        last.parameter = (code & 0xFF) == 0xFF ? -1 : int(code & 0xFF);
        if (last.type != journal_type::uninstall_key && last.type != journal_type::registration)
            last.path = line.substr(skip_blanks(line, at));
        ++reading.entries;
        return true;
    }

    unsigned counted_ = 0;
};

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const txtf_driver::facet codec(encoding_automatic);
    std::mbstate_t state{};
    const std::wstring text = txtf_driver::decode(codec, {reinterpret_cast<const char*>(data), size}, state,
                                                  fuzz::cut(fuzz::seed_of(data, size)), 0, fuzz::check).text;
    uninstall_log_parser parser;
    reference_log reference;
    for (std::size_t start = 0, end; start < text.size(); start = end + 1) {
        end = std::min(text.find(L'\n', start), text.size());
        const std::wstring_view line = std::wstring_view(text).substr(start, end - start);
        if (line.size() > uninstall_log_max_line)
            break;
        const log_reading before = reading_of(parser);
        const bool taken = parser.take_line(line);
        FUZZ_CHECK(reference.line(line) == taken);
        FUZZ_CHECK(reading_of(parser) == (taken ? reference.reading : before));
        if (!taken)
            break;
        if (parser.entries().size() > before.entries) {
            const journal_entry& e = parser.entries().back();
            FUZZ_CHECK(e.type == reference.last.type && e.parameter == reference.last.parameter);
            FUZZ_CHECK(e.done == reference.last.done && e.path == reference.last.path && e.backup.empty());
        }
    }
    return 0;
}
