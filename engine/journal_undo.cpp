#include "engine/journal_undo.h"

#include "engine/privilege.h"
#include "resources/product.h"
#include "support/file_names.h"
#include "support/registry.h"
#include "support/unique_any.h"

#include <filesystem>
#include <system_error>
#include <vector>

namespace fs = std::filesystem;
using vt::path_exists;

namespace {

[[noreturn]] void throw_file_error(const char* what, const std::wstring& path, DWORD error)
{
    throw fs::filesystem_error(what, fs::path(path), std::error_code(int(error), std::system_category()));
}

// Removes a created folder, a written file or a link, read-only or not.
// Something that is already gone is fine; anything else is raised.
void remove_path(const std::wstring& path)
{
    if (path.empty())
        return;
    const DWORD attributes = ::GetFileAttributesW(path.c_str());
    const bool read_only = attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_READONLY) &&
                           !(attributes & FILE_ATTRIBUTE_DIRECTORY);
    if (read_only)
        ::SetFileAttributesW(path.c_str(), attributes & ~DWORD(FILE_ATTRIBUTE_READONLY));
    std::error_code error;
    fs::remove(path, error);
    if (error && error != std::errc::no_such_file_or_directory) {
        if (read_only)
            ::SetFileAttributesW(path.c_str(), attributes);
        throw fs::filesystem_error("remove", fs::path(path), error);
    }
}

// Puts the product's uninstall key back as it was: its saved content when it
// existed before, otherwise no key at all. Registry errors are ignored: the
// rollback of the files matters more than a leftover key.
void restore_uninstall_key(const std::wstring& backup) noexcept
{
    privilege_scope restore(L"SeRestorePrivilege");
    try {
        vt::unique_hkey uninstall = vt::open_key(HKEY_LOCAL_MACHINE, uninstall_root_key);
        if (!uninstall)
            return;
        std::wstring product = product_title(product_code);
        if (!backup.empty()) {
            if (vt::unique_hkey key = vt::open_key(uninstall.get(), product))
                ::RegRestoreKeyW(key.get(), backup.c_str(), 0);
        } else {
            ::RegDeleteTreeW(uninstall.get(), product.c_str());
        }
    } catch (...) {
    }
}

// Writes the saved content back into the file it was copied from. The file
// stays the same file, with the access list that was given to it (shared
// data is open to every local user), where a rename of the copy would bring
// the backup folder's list instead.
void copy_content_back(const std::wstring& backup, const std::wstring& path)
{
    vt::unique_file from(::CreateFileW(backup.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                       FILE_FLAG_SEQUENTIAL_SCAN, nullptr));
    if (!from)
        throw_file_error("restore", backup, ::GetLastError());
    const DWORD attributes = ::GetFileAttributesW(path.c_str());
    if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_READONLY))
        ::SetFileAttributesW(path.c_str(), attributes & ~DWORD(FILE_ATTRIBUTE_READONLY));
    vt::unique_file to(::CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, TRUNCATE_EXISTING,
                                     FILE_FLAG_SEQUENTIAL_SCAN, nullptr));
    if (!to)
        throw_file_error("restore", path, ::GetLastError());
    std::vector<char> block(1 << 16);
    for (;;) {
        DWORD got = 0, put = 0;
        if (!::ReadFile(from.get(), block.data(), DWORD(block.size()), &got, nullptr))
            throw_file_error("restore", backup, ::GetLastError());
        if (got == 0)
            break;
        if (!::WriteFile(to.get(), block.data(), got, &put, nullptr) || put != got)
            throw_file_error("restore", path, ::GetLastError());
    }
    FILETIME created, accessed, written;
    if (::GetFileTime(from.get(), &created, &accessed, &written))
        ::SetFileTime(to.get(), nullptr, nullptr, &written);
    to.reset();
    if (attributes != INVALID_FILE_ATTRIBUTES)
        ::SetFileAttributesW(path.c_str(), attributes);
    from.reset();
    delete_file(backup);
}

// Whether what lies at the entry's path is still what the run made.
bool unchanged_since_run(const undo_step& step)
{
    if (!step.stamp)
        return true; // cut before it was closed: whatever is there is the run's own start
    const auto now = vt::stamp_of(step.entry.path);
    return !now || *now == *step.stamp;
}

void undo_file(const undo_step& step, undo_mode mode)
{
    const journal_entry& entry = step.entry;
    if (entry.kept_in_place)
        return;
    if (mode == undo_mode::cut_run && !unchanged_since_run(step)) {
        // Someone wrote there since: that is theirs now, and the older
        // content saved by this run has no place any more.
        if (!entry.backup.empty())
            delete_file(entry.backup);
        return;
    }
    if (step.copy && !entry.backup.empty() && path_exists(entry.path)) {
        copy_content_back(entry.backup, entry.path);
        return;
    }
    remove_path(entry.path);
    if (!entry.backup.empty() && !entry.path.empty() && !move_file(entry.backup, entry.path))
        throw_file_error("restore", entry.path, ::GetLastError());
}

} // namespace

// Backups keep the attributes of what they saved, read-only included.
void delete_file(const std::wstring& path) noexcept
{
    ::SetFileAttributesW(path.c_str(), FILE_ATTRIBUTE_NORMAL);
    ::DeleteFileW(path.c_str());
}

// The install folder need not be on the backups' volume. Across volumes a
// move is a copy and a deletion, and a read-only file (the installed program
// and uninstaller are) can be copied but not deleted; so the attribute is
// lifted for the move and set again on the moved file.
bool move_file(const std::wstring& from, const std::wstring& to) noexcept
{
    const DWORD attributes = ::GetFileAttributesW(from.c_str());
    const bool read_only = attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_READONLY);
    if (read_only)
        ::SetFileAttributesW(from.c_str(), attributes & ~DWORD(FILE_ATTRIBUTE_READONLY));
    if (::MoveFileExW(from.c_str(), to.c_str(), MOVEFILE_COPY_ALLOWED)) {
        if (read_only)
            ::SetFileAttributesW(to.c_str(), attributes);
        return true;
    }
    const DWORD error = ::GetLastError();
    if (read_only)
        ::SetFileAttributesW(from.c_str(), attributes);
    ::SetLastError(error);
    return false;
}

void undo_change(const undo_step& step, undo_mode mode)
{
    const journal_entry& entry = step.entry;
    switch (entry.type) {
    case journal_type::folder:
        // A folder that someone else made first was never the run's.
        if (entry.kept_in_place)
            return;
        // After the cut, other files may have come into a created folder:
        // it is left to them.
        if (mode == undo_mode::cut_run) {
            std::error_code error;
            if (!fs::is_empty(fs::path(entry.path), error) && !error)
                return;
        }
        remove_path(entry.path);
        break;
    case journal_type::uninstall_key:
        // Saved only halfway when the run was cut: the key was not touched yet.
        if (entry.kept_in_place)
            return;
        restore_uninstall_key(entry.backup);
        // The saved key has served.
        if (!entry.backup.empty())
            delete_file(entry.backup);
        break;
    case journal_type::registration:
        break;
    case journal_type::file:
    case journal_type::start_menu_shortcut:
    case journal_type::reserved:
    case journal_type::desktop_shortcut:
    case journal_type::directx:
        undo_file(step, mode);
        break;
    }
}
