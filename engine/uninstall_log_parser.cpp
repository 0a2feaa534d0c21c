#include "engine/uninstall_log_parser.h"

#include <cstdint>

namespace {

std::wstring_view trim_left(std::wstring_view text) noexcept
{
    while (!text.empty() && is_log_blank(text.front()))
        text.remove_prefix(1);
    return text;
}

std::wstring_view trim_right(std::wstring_view text) noexcept
{
    while (!text.empty() && is_log_blank(text.back()))
        text.remove_suffix(1);
    return text;
}

std::wstring_view trim(std::wstring_view text) noexcept
{
    return trim_right(trim_left(text));
}

int digit_value(wchar_t c, unsigned base) noexcept
{
    int value = -1;
    if (c >= L'0' && c <= L'9')
        value = c - L'0';
    else if (c >= L'a' && c <= L'f')
        value = c - L'a' + 10;
    else if (c >= L'A' && c <= L'F')
        value = c - L'A' + 10;
    return value >= 0 && unsigned(value) < base ? value : -1;
}

// Reads an unsigned number of at least one digit from the front of text. No
// sign is accepted, and a value past 32 bits is a malformed number rather
// than one that wraps around.
bool take_number(std::wstring_view& text, unsigned base, std::uint32_t& value) noexcept
{
    std::uint64_t result = 0;
    std::size_t used = 0;
    for (; used < text.size(); ++used) {
        int digit = digit_value(text[used], base);
        if (digit < 0)
            break;
        result = result * base + unsigned(digit);
        if (result > UINT32_MAX)
            return false;
    }
    if (used == 0)
        return false;
    text.remove_prefix(used);
    value = std::uint32_t(result);
    return true;
}

bool take_char(std::wstring_view& text, wchar_t expected) noexcept
{
    if (text.empty() || text.front() != expected)
        return false;
    text.remove_prefix(1);
    return true;
}

// The text after the first occurrence of marker, or false without one.
bool after(std::wstring_view text, std::wstring_view marker, std::wstring_view& rest) noexcept
{
    std::size_t at = text.find(marker);
    if (at == std::wstring_view::npos)
        return false;
    rest = text.substr(at + marker.size());
    return true;
}

} // namespace

bool is_log_blank(wchar_t c) noexcept
{
    switch (c) {
    case L' ':
    case L'\t':
    case L'\n':
    case L'\v':
    case L'\f':
    case L'\r':
    case 0x00A0:
    case 0x1680:
    case 0x2028:
    case 0x2029:
    case 0x202F:
    case 0x205F:
    case 0x3000:
        return true;
    default:
        return c >= 0x2000 && c <= 0x200A;
    }
}

bool uninstall_log_parser::take_line(std::wstring_view line)
{
    // No file name holds a NUL, and Windows calls would stop reading a path at
    // one: such a line cannot be what the installer wrote.
    if (line.size() > uninstall_log_max_line || line.find(L'\0') != std::wstring_view::npos)
        return false;
    line = trim_right(line);
    if (line.empty())
        return true;
    bool taken = line.substr(0, 2) == L"//" ? take_comment(line) : take_entry(trim_left(line));
    ++counted_;
    return taken;
}

bool uninstall_log_parser::take_comment(std::wstring_view text)
{
    while (!text.empty() && text.front() == L'/')
        text.remove_prefix(1);
    text = trim_left(text);

    std::wstring_view rest;
    switch (counted_) {
    case 0: {
        std::uint32_t version = 0;
        if (!after(text, L"Uninstall Log File v", rest) || !take_number(rest, 10, version) || version != 1)
            return false;
        version_ = version;
        return true;
    }
    case 2:
        if (!after(text, L"Install", rest))
            return false;
        // "Install Tablewright 8.11n -- Update (Tablewright 8.11m)" names the
        // product that was installed; the update remark is not part of it.
        if (std::size_t remark = rest.find(L"--"); remark != std::wstring_view::npos)
            rest = rest.substr(0, remark);
        product_text_ = trim(rest);
        return true;
    case 3:
        if (!after(text, L"Install Path : ", rest))
            return false;
        install_folder_ = trim(rest);
        return true;
    case 4:
        if (!after(text, L"Shortcut Path : ", rest))
            return false;
        shortcut_folder_ = trim(rest);
        return true;
    default:
        return true; // the warning line and the rule under the header
    }
}

// "0003:0100:1 -- C:\Program Files\...": position, type and parameter,
// done flag, then the entry's text.
bool uninstall_log_parser::take_entry(std::wstring_view text)
{
    if (version_ != 1 || entries_.size() >= uninstall_log_max_entries)
        return false;

    std::uint32_t position = 0;
    std::uint32_t code = 0;
    if (!take_number(text, 10, position) || !take_char(text, L':') || !take_number(text, 16, code) ||
        !take_char(text, L':'))
        return false;
    std::uint32_t type = code / 256;
    if (type > 7)
        return false;

    if (text.empty() || (text.front() != L'0' && text.front() != L'1'))
        return false;
    bool done = text.front() == L'1';
    text.remove_prefix(1);

    // The separator is a word of its own: blanks may surround it, and what
    // follows it up to the next blank must be nothing else.
    text = trim_left(text);
    if (text.substr(0, 2) != L"--" || (text.size() > 2 && !is_log_blank(text[2])))
        return false;
    text = trim_left(text.substr(2));

    journal_entry entry;
    entry.type = journal_type(type);
    entry.parameter = (code & 0xFF) == 0xFF ? -1 : std::int32_t(code & 0xFF);
    entry.done = done;
    // The key and the registration are fixed texts, not paths.
    if (entry.type != journal_type::uninstall_key && entry.type != journal_type::registration)
        entry.path = text;
    entries_.push_back(std::move(entry));
    return true;
}
