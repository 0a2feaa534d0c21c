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
// - a refused line changes nothing that was read before it;
// - an accepted line adds at most one entry, only after the version line,
//   with a type of 0 to 7, a parameter of -1 to 254, and a path that is the
//   line's own text (never for the key and the registration);
// - the header's texts come from their own lines;
// - what was read, written again as the installer writes a log (UTF-16 with
//   its mark, CR LF), reads back the same.

#include "fuzz_support.h"
#include "txtf_fuzz_support.h"

#include "engine/uninstall_log_parser.h"

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

bool ends_with(std::wstring_view text, std::wstring_view tail)
{
    return text.size() >= tail.size() && text.substr(text.size() - tail.size()) == tail;
}

bool contains(std::wstring_view text, std::wstring_view part)
{
    return text.find(part) != std::wstring_view::npos;
}

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

// A header text changed by a line must come from that line.
void check_header_text(const std::wstring& before, const std::wstring& after, std::wstring_view line)
{
    if (after != before)
        FUZZ_CHECK(contains(line, after));
}

log_reading read_log(std::string_view bytes, std::uint64_t seed)
{
    fuzz::facet codec(encoding_automatic, fuzz::code_page_locale(0));
    std::mbstate_t state{};
    const std::wstring text = fuzz::decode(codec, bytes, state, seed).text;

    uninstall_log_parser parser;
    reference_log reference;
    std::size_t start = 0;
    while (start < text.size()) {
        std::size_t end = text.find(L'\n', start);
        if (end == std::wstring::npos)
            end = text.size();
        const std::wstring_view line = std::wstring_view(text).substr(start, end - start);
        start = end + 1;
        if (line.size() > uninstall_log_max_line)
            break;

        const unsigned version = parser.version();
        const std::wstring product = parser.product_text();
        const std::wstring install = parser.install_folder();
        const std::wstring shortcuts = parser.shortcut_folder();
        const std::size_t count = parser.entries().size();

        const bool taken = parser.take_line(line);

        FUZZ_CHECK(reference.line(line) == taken);
        if (taken) {
            FUZZ_CHECK(parser.version() == reference.reading.version);
            FUZZ_CHECK(parser.product_text() == reference.reading.product_text);
            FUZZ_CHECK(parser.install_folder() == reference.reading.install_folder);
            FUZZ_CHECK(parser.shortcut_folder() == reference.reading.shortcut_folder);
            FUZZ_CHECK(parser.entries().size() == reference.reading.entries.size());
            if (!parser.entries().empty())
                FUZZ_CHECK(same_entry(parser.entries().back(), reference.reading.entries.back()));
        }

        FUZZ_CHECK(parser.entries().size() <= uninstall_log_max_entries);
        if (!taken) {
            FUZZ_CHECK(parser.version() == version);
            FUZZ_CHECK(parser.product_text() == product);
            FUZZ_CHECK(parser.install_folder() == install);
            FUZZ_CHECK(parser.shortcut_folder() == shortcuts);
            FUZZ_CHECK(parser.entries().size() == count);
            break;
        }
        FUZZ_CHECK(parser.version() == version || (version == 0 && parser.version() == 1));
        check_header_text(product, parser.product_text(), line);
        check_header_text(install, parser.install_folder(), line);
        check_header_text(shortcuts, parser.shortcut_folder(), line);
        FUZZ_CHECK(parser.entries().size() <= count + 1);
        if (parser.entries().size() == count + 1) {
            FUZZ_CHECK(parser.version() == 1);
            const journal_entry& entry = parser.entries().back();
            FUZZ_CHECK(static_cast<std::uint32_t>(entry.type) <= 7);
            FUZZ_CHECK(entry.parameter >= -1 && entry.parameter <= 254);
            FUZZ_CHECK(entry.backup.empty());
            FUZZ_CHECK(entry.path.find(L'\0') == std::wstring::npos);
            if (entry.type == journal_type::uninstall_key || entry.type == journal_type::registration)
                FUZZ_CHECK(entry.path.empty());
            // The text after the separator, up to the end of the line less
            // its blanks: never anything from another line.
            std::wstring_view trimmed = line;
            while (!trimmed.empty() && is_log_blank(trimmed.back()))
                trimmed.remove_suffix(1);
            FUZZ_CHECK(ends_with(trimmed, entry.path));
            if (!entry.path.empty()) {
                FUZZ_CHECK(!is_log_blank(entry.path.front()));
                FUZZ_CHECK(!is_log_blank(entry.path.back()));
            }
        }
    }

    log_reading reading;
    reading.version = parser.version();
    reading.product_text = parser.product_text();
    reading.install_folder = parser.install_folder();
    reading.shortcut_folder = parser.shortcut_folder();
    reading.entries = std::move(parser.entries());
    return reading;
}

// An entry's text as the installer writes it: the key, the registration and
// DirectX have fixed texts.
std::wstring entry_text(const journal_entry& entry)
{
    switch (entry.type) {
    case journal_type::uninstall_key:
        return L"HKEY_LOCAL_MACHINE\\Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\Tablewright 8";
    case journal_type::registration: return L"HKEY_CLASSES_ROOT\\...";
    case journal_type::directx: return L"DirectX Update";
    default: return entry.path;
    }
}

std::wstring hex4(std::uint32_t value)
{
    static const wchar_t digits[] = L"0123456789abcdef";
    std::wstring text;
    do {
        text.insert(text.begin(), digits[value & 15]);
        value >>= 4;
    } while (value != 0);
    return std::wstring(text.size() < 4 ? 4 - text.size() : 0, L'0') + text;
}

std::wstring dec4(std::size_t value)
{
    std::wstring text = std::to_wstring(value);
    return std::wstring(text.size() < 4 ? 4 - text.size() : 0, L'0') + text;
}

// The log as the installer writes it from what was read: the six header
// lines and "{:04}:{:04x}:{} -- text" per entry, in UTF-16 with its mark and
// CR LF line ends.
std::string write_log(const log_reading& reading)
{
    std::wstring text = L"// Uninstall Log File v1\n"
                        L"// ############ WARNING: Do not delete or modify this file. ############\n"
                        L"// Install " +
                        reading.product_text + L"\n// Install Path : " + reading.install_folder +
                        L"\n// Shortcut Path : " + reading.shortcut_folder + L"\n// " + std::wstring(100, L'-') +
                        L"\n";
    for (std::size_t i = 0; i < reading.entries.size(); ++i) {
        const journal_entry& entry = reading.entries[i];
        std::uint32_t code = static_cast<std::uint32_t>(entry.type) * 256 + (std::uint32_t(entry.parameter) & 0xFF);
        text += dec4(i) + L":" + hex4(code) + L":" + (entry.done ? L"1" : L"0") + L" -- " + entry_text(entry) + L"\n";
    }
    fuzz::facet codec(encoding_utf16, fuzz::code_page_locale(0));
    std::mbstate_t state{};
    return fuzz::encode(codec, text, state, 0);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const std::string_view bytes(reinterpret_cast<const char*>(data), size);
    const log_reading first = read_log(bytes, fuzz::hash(data, size) | 1);

    // An empty folder line cannot be read back (its trailing blank is
    // trimmed away with the rest), and a header line may outgrow the longest
    // line a log may hold: the installer writes neither.
    if (first.version != 1 || first.install_folder.empty() || first.shortcut_folder.empty() ||
        first.install_folder.size() + 32 > uninstall_log_max_line ||
        first.shortcut_folder.size() + 32 > uninstall_log_max_line || first.product_text.size() + 32 > uninstall_log_max_line)
        return 0;
    for (const journal_entry& entry : first.entries)
        if (entry.path.size() + 32 > uninstall_log_max_line)
            return 0;

    const log_reading second = read_log(write_log(first), 0);
    FUZZ_CHECK(second.version == 1);
    FUZZ_CHECK(second.product_text == first.product_text);
    FUZZ_CHECK(second.install_folder == first.install_folder);
    FUZZ_CHECK(second.shortcut_folder == first.shortcut_folder);
    FUZZ_CHECK(second.entries.size() == first.entries.size());
    for (std::size_t i = 0; i < first.entries.size(); ++i) {
        const journal_entry& a = first.entries[i];
        const journal_entry& b = second.entries[i];
        FUZZ_CHECK(a.type == b.type);
        FUZZ_CHECK(a.parameter == b.parameter);
        FUZZ_CHECK(a.done == b.done);
        FUZZ_CHECK(b.path == (a.type == journal_type::directx ? L"DirectX Update" : a.path));
    }
    return 0;
}
