// Uninstall.ulog: written from the journal at the end of an installation, for
// the uninstaller and for the next installer; read back at start-up.

#include "engine/install_journal.h"

#include "engine/uninstall_log_parser.h"
#include "resources/product.h"
#include "support/file_stamp.h"
#include "support/format.h"
#include "support/txtf_stream.h"
#include "support/unique_any.h"

#include <algorithm>
#include <set>
#include <tuple>

namespace fs = std::filesystem;

namespace {

// What the log's readers are given for entries that are not paths.
const wchar_t registration_text[] = L"HKEY_CLASSES_ROOT\\...";
const wchar_t directx_text[] = L"DirectX Update";

// Read-only, archive, not content-indexed: the log is not to be edited.
constexpr DWORD finished_log_attributes =
    FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_ARCHIVE | FILE_ATTRIBUTE_NOT_CONTENT_INDEXED;

// Identity of a file or folder on disk (volume and file index): two paths
// name the same thing when their identities are equal, whatever their spelling.
using file_identity = std::pair<std::uint32_t, std::uint64_t>;

bool identify(const std::wstring& path, file_identity& identity)
{
    const auto stamp = vt::stamp_of(std::filesystem::path(path));
    if (stamp)
        identity = {stamp->volume, stamp->index};
    return stamp.has_value();
}

bool names_a_path(journal_type type)
{
    return type == journal_type::folder || type == journal_type::file;
}

std::wstring entry_text(const journal_entry& entry)
{
    switch (entry.type) {
    case journal_type::uninstall_key:
        return L"HKEY_LOCAL_MACHINE\\" + product_uninstall_key();
    case journal_type::registration:
        return registration_text;
    case journal_type::directx:
        return directx_text;
    default:
        return entry.path;
    }
}

std::wstring entry_line(std::size_t position, const journal_entry& entry)
{
    std::uint32_t code = std::uint32_t(entry.type) * 256 + (std::uint32_t(entry.parameter) & 0xFF);
    return vt::format(L"{:04}:{:04x}:{}", {position, code, entry.done ? 1 : 0}) + L" -- " + entry_text(entry) +
           L"\n";
}

// Reads up to the next line feed (the codec has turned every line end into
// one). False at the end of the input. A line that grows past what a log can
// hold is cut off and flagged, so that a hostile file cannot fill the memory.
bool read_line(std::wistream& in, std::wstring& line, bool& too_long)
{
    line.clear();
    too_long = false;
    std::wstreambuf* buffer = in.rdbuf();
    bool any = false;
    for (;;) {
        std::wstreambuf::int_type c = buffer->sbumpc();
        if (std::wstreambuf::traits_type::eq_int_type(c, std::wstreambuf::traits_type::eof()))
            return any;
        any = true;
        if (c == L'\n')
            return true;
        if (line.size() > uninstall_log_max_line) {
            too_long = true;
            return true;
        }
        line.push_back(wchar_t(c));
    }
}

bool is_folder(const std::wstring& path)
{
    DWORD attributes = path.empty() ? INVALID_FILE_ATTRIBUTES : ::GetFileAttributesW(path.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY);
}

} // namespace

// The new log must still list what the earlier installation left that this
// run did not install again (files of a kind skipped in an update, for
// instance); what this run repeated is listed once, as this run did it.
void install_journal::merge_previous()
{
    // A first installation has nothing to merge; asking the file system for
    // every file it wrote would hold the window for nothing.
    if (previous_entries_.empty())
        return;
    std::set<file_identity> installed;
    bool installed_types[8] = {};
    for (const journal_entry& entry : current_entries_) {
        installed_types[std::size_t(entry.type) & 7] = true;
        if (file_identity identity; names_a_path(entry.type) && identify(entry.path, identity))
            installed.insert(identity);
    }

    std::vector<journal_entry> kept;
    for (journal_entry& entry : previous_entries_) {
        bool contained = false;
        if (names_a_path(entry.type)) {
            file_identity identity;
            contained = identify(entry.path, identity) && installed.count(identity) != 0;
        } else {
            contained = installed_types[std::size_t(entry.type) & 7];
        }
        if (!contained)
            kept.push_back(std::move(entry));
    }
    previous_entries_.clear();
    previous_done_files_.clear();
    for (journal_entry& entry : kept) {
        entry.backup.clear(); // backups belong to this run's entries only
        current_entries_.push_back(std::move(entry));
    }
}

bool install_journal::write_log(const fs::path& file, const std::wstring& install_folder,
                                const std::wstring& shortcut_folder)
{
    bool written = false;
    try {
        merge_previous();

        // An earlier log was left read-only.
        ::SetFileAttributesW(file.c_str(), FILE_ATTRIBUTE_NORMAL);
        vt::txtf::wofstream out(file, vt::txtf::encoding_utf16, std::ios_base::binary | std::ios_base::trunc);

        std::wstring install_line = L"// Install " + product_name(true);
        if (!previous_product_text_.empty())
            install_line += L" -- Update (" + previous_product_text_ + L")";
        out << L"// Uninstall Log File v1\n"
            << L"// ############ WARNING: Do not delete or modify this file. ############\n"
            << install_line << L"\n"
            << L"// Install Path : " << install_folder << L"\n"
            << L"// Shortcut Path : " << shortcut_folder << L"\n"
            << L"// " << std::wstring(100, L'-') << L"\n";
        for (std::size_t i = 0; i < current_entries_.size(); ++i)
            out << entry_line(i, current_entries_[i]);

        out.flush();
        written = bool(out);
        if (written)
            ::SetFileAttributesW(file.c_str(), finished_log_attributes);
        out.close();
        written = written && !out.fail();
    } catch (...) {
        written = false;
    }
    // From here on the installation stands: nothing is rolled back any more.
    commit();
    return written;
}

void install_journal::read_log(const fs::path& file)
{
    previous_install_folder_.clear();
    previous_shortcut_folder_.clear();
    desktop_shortcut_default_ = true;
    if (file.empty())
        return;
    previous_entries_.clear();
    previous_done_files_.clear();
    previous_product_text_.clear();

    uninstall_log_parser parser;
    try {
        vt::txtf::wifstream in(file, vt::txtf::encoding_automatic);
        std::wstring line;
        bool too_long = false;
        while (in && read_line(in, line, too_long))
            if (too_long || !parser.take_line(line))
                break;
    } catch (...) {
        // A file that cannot be read further ends the reading; what was read stays.
    }

    try {
        previous_product_text_ = parser.product_text();
        if (is_folder(parser.install_folder()))
            previous_install_folder_ = parser.install_folder();
        if (is_folder(parser.shortcut_folder()))
            previous_shortcut_folder_ = parser.shortcut_folder();
        previous_entries_ = std::move(parser.entries());
        index_previous();
    } catch (...) {
    }
    desktop_shortcut_default_ = std::any_of(previous_entries_.begin(), previous_entries_.end(),
                                            [](const journal_entry& entry) {
                                                return entry.type == journal_type::desktop_shortcut;
                                            });
}
