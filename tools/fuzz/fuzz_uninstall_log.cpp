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
#include "txtf_fuzz_support.h"

#include "engine/uninstall_log_parser.h"

#include <algorithm>
#include <string>
#include <string_view>
#include <vector>

namespace {

using namespace vt::txtf;

struct log_reading {
    unsigned version = 0;
    std::wstring product_text;
    std::wstring install_folder;
    std::wstring shortcut_folder;
    std::vector<journal_entry> entries;
};

// The log's line rules written out a second time, plainly, over indexes:
// the parser must agree with it on every line, what it accepts and what it
// reads from it.
class reference_log {
public:
    log_reading reading;

    bool line(std::wstring_view text)
    {
        if (text.size() > uninstall_log_max_line || text.find(L'\0') != std::wstring_view::npos)
            return false;
        std::size_t end = text.size();
        while (end > 0 && is_log_blank(text[end - 1]))
            --end;
        if (end == 0)
            return true;
        const std::wstring_view line = text.substr(0, end);
        const unsigned count = counted_++;
        if (line.size() >= 2 && line[0] == L'/' && line[1] == L'/')
            return comment(line, count);
        return entry(line);
    }

private:
    static std::size_t skip_blanks(std::wstring_view text, std::size_t at)
    {
        while (at < text.size() && is_log_blank(text[at]))
            ++at;
        return at;
    }

    static std::wstring trimmed(std::wstring_view text)
    {
        std::size_t first = skip_blanks(text, 0), last = text.size();
        while (last > first && is_log_blank(text[last - 1]))
            --last;
        return std::wstring(text.substr(first, last - first));
    }

    // Digits of base 10 or 16 at text[at], at least one, at most a 32-bit value.
    static bool number(std::wstring_view text, std::size_t& at, bool hex, std::uint64_t& value)
    {
        const std::size_t start = at;
        value = 0;
        for (; at < text.size(); ++at) {
            wchar_t c = text[at];
            unsigned digit;
            if (c >= L'0' && c <= L'9')
                digit = unsigned(c - L'0');
            else if (hex && c >= L'a' && c <= L'f')
                digit = unsigned(c - L'a' + 10);
            else if (hex && c >= L'A' && c <= L'F')
                digit = unsigned(c - L'A' + 10);
            else
                break;
            value = value * (hex ? 16 : 10) + digit;
            if (value > 0xFFFFFFFFull)
                return false;
        }
        return at > start;
    }

    bool comment(std::wstring_view line, unsigned count)
    {
        std::size_t at = 0;
        while (at < line.size() && line[at] == L'/')
            ++at;
        const std::wstring_view text = line.substr(skip_blanks(line, at));
        auto after = [&](std::wstring_view marker, std::wstring_view& rest) {
            std::size_t found = text.find(marker);
            if (found == std::wstring_view::npos)
                return false;
            rest = text.substr(found + marker.size());
            return true;
        };
        std::wstring_view rest;
        switch (count) {
        case 0: {
            std::size_t digits = 0;
            std::uint64_t version = 0;
            if (!after(L"Uninstall Log File v", rest) || !number(rest, digits, false, version) || version != 1)
                return false;
            reading.version = 1;
            return true;
        }
        case 2:
            if (!after(L"Install", rest))
                return false;
            reading.product_text = trimmed(rest.substr(0, rest.find(L"--")));
            return true;
        case 3:
            if (!after(L"Install Path : ", rest))
                return false;
            reading.install_folder = trimmed(rest);
            return true;
        case 4:
            if (!after(L"Shortcut Path : ", rest))
                return false;
            reading.shortcut_folder = trimmed(rest);
            return true;
        default:
            return true;
        }
    }

    bool entry(std::wstring_view line)
    {
        if (reading.version != 1 || reading.entries.size() >= uninstall_log_max_entries)
            return false;
        std::size_t at = skip_blanks(line, 0);
        std::uint64_t position = 0, code = 0;
        if (!number(line, at, false, position) || at >= line.size() || line[at++] != L':' ||
            !number(line, at, true, code) || at >= line.size() || line[at++] != L':')
            return false;
        if (code / 256 > 7 || at >= line.size() || (line[at] != L'0' && line[at] != L'1'))
            return false;
        const bool done = line[at++] == L'1';
        at = skip_blanks(line, at);
        if (line.size() - at < 2 || line[at] != L'-' || line[at + 1] != L'-')
            return false;
        at += 2;
        if (at < line.size() && !is_log_blank(line[at]))
            return false;
        journal_entry e;
        e.type = journal_type(code / 256);
        e.parameter = (code & 0xFF) == 0xFF ? -1 : int(code & 0xFF);
        e.done = done;
        if (e.type != journal_type::uninstall_key && e.type != journal_type::registration)
            e.path = line.substr(skip_blanks(line, at));
        reading.entries.push_back(std::move(e));
        return true;
    }

    unsigned counted_ = 0;
};

bool same_entry(const journal_entry& a, const journal_entry& b)
{
    return a.type == b.type && a.parameter == b.parameter && a.done == b.done && a.path == b.path &&
           a.backup == b.backup;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    fuzz::facet codec(encoding_automatic, fuzz::code_page_locale(0));
    std::mbstate_t state{};
    const std::string_view bytes(reinterpret_cast<const char*>(data), size);
    const std::wstring text = fuzz::decode(codec, bytes, state, fuzz::hash(data, size) | 1).text;
    uninstall_log_parser parser;
    reference_log reference;
    for (std::size_t start = 0, end; start < text.size(); start = end + 1) {
        end = std::min(text.find(L'\n', start), text.size());
        const std::wstring_view line = std::wstring_view(text).substr(start, end - start);
        if (line.size() > uninstall_log_max_line)
            break;
        const std::size_t count = parser.entries().size();
        const log_reading before{parser.version(), parser.product_text(), parser.install_folder(),
                                 parser.shortcut_folder(), {}};
        const bool taken = parser.take_line(line);
        FUZZ_CHECK(reference.line(line) == taken);
        const log_reading& expected = taken ? reference.reading : before;
        FUZZ_CHECK(parser.version() == expected.version);
        FUZZ_CHECK(parser.product_text() == expected.product_text);
        FUZZ_CHECK(parser.install_folder() == expected.install_folder);
        FUZZ_CHECK(parser.shortcut_folder() == expected.shortcut_folder);
        FUZZ_CHECK(parser.entries().size() == (taken ? reference.reading.entries.size() : count));
        if (!taken)
            break;
        if (parser.entries().size() > count)
            FUZZ_CHECK(same_entry(parser.entries().back(), reference.reading.entries.back()));
    }
    return 0;
}
