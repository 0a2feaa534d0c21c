#include "manifest.h"

#include "payload/destination_macros.h"
#include "payload/utf16.h"

#include <algorithm>
#include <fstream>
#include <iterator>
#include <map>
#include <sstream>

namespace fs = std::filesystem;

namespace {

constexpr const char* kind_names[] = {"language_module", "program", "uninstaller", "shared_data", "sample", "temporary"};

std::string_view trim(std::string_view s)
{
    const auto blank = [](char c) { return c == ' ' || c == '\t' || c == '\r'; };
    while (!s.empty() && blank(s.front()))
        s.remove_prefix(1);
    while (!s.empty() && blank(s.back()))
        s.remove_suffix(1);
    return s;
}

std::vector<std::string_view> split_fields(std::string_view line)
{
    std::vector<std::string_view> fields;
    for (;;) {
        const auto bar = line.find('|');
        fields.push_back(trim(line.substr(0, bar)));
        if (bar == std::string_view::npos)
            return fields;
        line.remove_prefix(bar + 1);
    }
}

bool parse_kind(std::string_view text, std::uint32_t& kind)
{
    for (std::uint32_t i = 0; i < std::size(kind_names); ++i)
        if (text == kind_names[i]) {
            kind = i;
            return true;
        }
    if (text.size() == 1 && text[0] >= '0' && text[0] <= '5') {
        kind = static_cast<std::uint32_t>(text[0] - '0');
        return true;
    }
    return false;
}

std::u16string with_backslashes(std::u16string text)
{
    std::replace(text.begin(), text.end(), u'/', u'\\');
    return text;
}

// Elements of a Windows path, split at '\'.
std::vector<std::u16string_view> elements(std::u16string_view path)
{
    std::vector<std::u16string_view> out;
    for (;;) {
        const auto sep = path.find(u'\\');
        out.push_back(path.substr(0, sep));
        if (sep == std::u16string_view::npos)
            return out;
        path.remove_prefix(sep + 1);
    }
}

bool is_drive(std::u16string_view element)
{
    return element.size() == 2 && element[1] == u':' &&
           ((element[0] >= u'A' && element[0] <= u'Z') || (element[0] >= u'a' && element[0] <= u'z'));
}

// Case-insensitive for ASCII, which is what matters for clashes in practice.
std::u16string fold(std::u16string_view text)
{
    std::u16string out(text);
    for (char16_t& c : out)
        if (c >= u'A' && c <= u'Z')
            c = static_cast<char16_t>(c - u'A' + u'a');
    return out;
}

} // namespace

manifest_error::manifest_error(const std::string& manifest, int line, const std::string& message)
    : std::runtime_error(line > 0 ? manifest + ":" + std::to_string(line) + ": " + message : manifest + ": " + message),
      line_(line)
{
}

std::string kind_name(std::uint32_t kind)
{
    return kind < std::size(kind_names) ? kind_names[kind] : std::to_string(kind);
}

std::string file_name_problem(std::u16string_view name)
{
    if (name.empty())
        return "the file name is empty";
    for (char16_t c : name) {
        if (c < 0x20)
            return "the file name holds a control character";
        if (std::u16string_view(u"\\/:*?\"<>|").find(c) != std::u16string_view::npos)
            return "the file name holds a character that Windows refuses (\\ / : * ? \" < > |)";
    }
    if (name.back() == u'.' || name.back() == u' ')
        return "the file name ends with a dot or a blank, which Windows drops";
    // Device names stay devices in every folder, whatever the extension.
    std::u16string stem = fold(name.substr(0, name.find(u'.')));
    while (!stem.empty() && stem.back() == u' ')
        stem.pop_back();
    static const std::u16string_view devices[] = {u"con", u"prn", u"aux", u"nul"};
    const bool numbered = stem.size() == 4 && (stem.rfind(u"com", 0) == 0 || stem.rfind(u"lpt", 0) == 0) &&
                          stem[3] >= u'1' && stem[3] <= u'9';
    if (numbered || std::find(std::begin(devices), std::end(devices), stem) != std::end(devices))
        return "the file name is a device name of Windows";
    return {};
}

std::string destination_problem(std::u16string_view destination)
{
    if (destination.empty())
        return "the destination folder is empty";
    const auto parts = elements(destination);
    const std::u16string_view first = parts.front();
    std::size_t checked_from = 1;
    if (looks_like_macro(first)) {
        if (!find_destination_macro(first))
            return "unknown macro " + utf8_from_utf16(first) +
                   " (macros are case-sensitive; see README.md for the list)";
    } else if (is_drive(first)) {
        if (parts.size() < 2)
            return "a drive must be followed by '\\' (\"C:\" alone means the drive's current folder)";
    } else if (first.empty() && parts.size() > 2 && parts[1].empty()) {
        checked_from = 2; // the two empty elements of a network path's "\\"
    } else {
        // Neither a macro, nor "X:\...", nor a network path "\\server\...":
        // the installer would write below whatever folder it was started in.
        return "the destination must begin with a macro such as <InstallPath> or be an absolute path";
    }
    for (std::size_t i = checked_from; i < parts.size(); ++i) {
        const std::u16string_view part = parts[i];
        if (part.empty() && i + 1 < parts.size())
            return "the destination holds an empty folder name ('\\\\')";
        for (char16_t c : part)
            if (c < 0x20 || std::u16string_view(u":*?\"<>|").find(c) != std::u16string_view::npos)
                return "the destination holds a character that Windows refuses in a folder name";
    }
    return {};
}

std::vector<manifest_entry> parse_manifest(std::string_view text, const fs::path& base_folder, const std::string& name)
{
    if (text.substr(0, 3) == "\xEF\xBB\xBF")
        text.remove_prefix(3); // a byte-order mark some editors write
    std::vector<manifest_entry> entries;
    std::map<std::u16string, int> destinations; // folded destination path -> line
    int number = 0;
    while (!text.empty()) {
        ++number;
        const auto end = text.find('\n');
        const std::string_view raw = text.substr(0, end);
        text.remove_prefix(end == std::string_view::npos ? text.size() : end + 1);
        const std::string_view line = trim(raw);
        if (line.empty() || line.front() == '#')
            continue;
        auto fail = [&](const std::string& message) { return manifest_error(name, number, message); };

        const auto line16 = utf16_from_utf8(line);
        if (!line16)
            throw fail("the line is not valid UTF-8");
        const auto fields = split_fields(line);
        if (fields.size() != 3)
            throw fail("expected three fields 'kind | destination folder | source file', found " +
                       std::to_string(fields.size()));

        manifest_entry entry;
        entry.line = number;
        if (!parse_kind(fields[0], entry.kind))
            throw fail("unknown kind '" + std::string(fields[0]) +
                       "' (expected language_module, program, uninstaller, shared_data, sample, temporary or 0 to 5)");

        entry.destination = with_backslashes(*utf16_from_utf8(fields[1]));
        while (entry.destination.size() > 1 && entry.destination.back() == u'\\' &&
               entry.destination[entry.destination.size() - 2] != u':')
            entry.destination.pop_back(); // "<InstallPath>\Lang\" is "<InstallPath>\Lang"
        if (const std::string problem = destination_problem(entry.destination); !problem.empty())
            throw fail(problem);

        if (fields[2].empty())
            throw fail("the source file is empty");
        entry.source = with_backslashes(*utf16_from_utf8(fields[2]));
        const std::u16string_view file_name = elements(entry.source).back();
        if (const std::string problem = file_name_problem(file_name); !problem.empty())
            throw fail("source '" + std::string(fields[2]) + "': " + problem);

        const fs::path written(std::string{fields[2]});
        entry.file = written.is_absolute() ? written : base_folder / written;
        std::error_code ec;
        const auto status = fs::status(entry.file, ec);
        if (!fs::exists(status))
            throw fail("source file '" + std::string(fields[2]) + "' not found (looked for " + entry.file.string() + ")");
        if (!fs::is_regular_file(status))
            throw fail("source '" + std::string(fields[2]) + "' is not a regular file");
        if (!std::ifstream(entry.file, std::ios::binary))
            throw fail("source file '" + std::string(fields[2]) + "' cannot be read");

        std::u16string target = fold(entry.destination + u"\\" + std::u16string(file_name));
        if (const auto [it, inserted] = destinations.emplace(target, number); !inserted)
            throw fail("the same destination file as line " + std::to_string(it->second));
        entries.push_back(std::move(entry));
    }
    return entries;
}

void check_installable(const std::vector<manifest_entry>& entries, const std::string& name)
{
    const std::pair<std::uint32_t, const char*> needed[] = {
        {1, "the product's program, which the installer starts once with \" /Register /Background\" and links"},
        {2, "the uninstaller, which reads Uninstall.ulog and is registered for removing the product"},
    };
    for (const auto& [kind, role] : needed) {
        std::string lines;
        for (const auto& entry : entries)
            if (entry.kind == kind)
                lines += (lines.empty() ? "" : ", ") + std::to_string(entry.line);
        if (lines.empty())
            throw manifest_error(name, 0, "no entry of kind " + kind_name(kind) + ": the payload must hold " + role);
        if (lines.find(',') != std::string::npos)
            throw manifest_error(name, 0, "more than one entry of kind " + kind_name(kind) + " (lines " + lines +
                                              "): the installer takes exactly one");
    }
}

std::vector<manifest_entry> read_manifest(const fs::path& manifest)
{
    std::ifstream in(manifest, std::ios::binary);
    if (!in)
        throw manifest_error(manifest.string(), 0, "cannot be read");
    const std::string text{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
    if (in.bad())
        throw manifest_error(manifest.string(), 0, "cannot be read");
    auto base = manifest.parent_path();
    return parse_manifest(text, base.empty() ? fs::path(".") : base, manifest.string());
}
