#include "engine/install_journal.h"

#include "engine/journal_file.h"
#include "engine/privilege.h"
#include "resources/product.h"
#include "support/registry.h"
#include "support/unique_any.h"

#include <optional>
#include <random>
#include <system_error>

namespace fs = std::filesystem;

namespace {

bool path_exists(const fs::path& path) noexcept
{
    return ::GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

// Backups keep the attributes of what they saved, read-only included.
void delete_file(const std::wstring& path) noexcept
{
    ::SetFileAttributesW(path.c_str(), FILE_ATTRIBUTE_NORMAL);
    ::DeleteFileW(path.c_str());
}

// Moves a file, to another volume too: the install folder need not be on the
// temporary folder's volume. Across volumes a move is a copy and a deletion,
// and a read-only file (the installed program and uninstaller are) can be
// copied but not deleted; so the attribute is lifted for the move and set
// again on the moved file. False when the file is still at from, with the
// move's error as the last error.
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

// A backup that could not be made may have left part of itself (a move
// across volumes that copied but could not delete the original, a key saved
// halfway): that is ours to remove. A name someone took meanwhile is not.
void discard_backup(const std::wstring& backup, DWORD error) noexcept
{
    if (error != ERROR_FILE_EXISTS && error != ERROR_ALREADY_EXISTS)
        delete_file(backup);
}

// Copies or moves what lies at path to backup, a free name; false when that
// failed (the original then stays where it is).
bool back_up(const fs::path& path, bool copy, const std::wstring& backup)
{
    if (copy ? ::CopyFileW(path.c_str(), backup.c_str(), TRUE) : move_file(path.wstring(), backup))
        return true;
    discard_backup(backup, ::GetLastError());
    return false;
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

// Undoes one change: a created folder, a written file or link is removed
// and what it replaced put back; the uninstall key is restored or deleted.
// Raises when a folder or file cannot be removed (its backup then stays).
void undo(const journal_entry& entry)
{
    switch (entry.type) {
    case journal_type::folder:
        remove_path(entry.path);
        break;
    case journal_type::uninstall_key:
        restore_uninstall_key(entry.backup);
        // The saved key has served; it is no use in the temporary folder.
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
        if (entry.kept_in_place)
            break;
        remove_path(entry.path);
        if (!entry.backup.empty() && !entry.path.empty())
            move_file(entry.backup, entry.path);
        break;
    }
}

bool same_name(const std::wstring& a, const std::wstring& b) noexcept
{
    return ::CompareStringOrdinal(a.c_str(), int(a.size()), b.c_str(), int(b.size()), TRUE) == CSTR_EQUAL;
}

// The name as the file system compares names: upper case, as the system's
// invariant casing has it.
std::wstring folded_name(const std::wstring& name)
{
    std::wstring folded(name.size(), L'\0');
    if (!name.empty() && !::LCMapStringEx(LOCALE_NAME_INVARIANT, LCMAP_UPPERCASE, name.c_str(), int(name.size()),
                                         folded.data(), int(folded.size()), nullptr, nullptr, 0))
        return name;
    return folded;
}

} // namespace

// A free name "vt-xxxxx.tmp" (five random lower-case hexadecimal digits) in
// the system's temporary folder: a name already taken may be another backup
// of this run or a leftover of an earlier one, and must be left alone. No
// file is created. Empty when the system has no usable temporary folder,
// which leaves the change without a backup.
std::wstring install_journal::new_backup_path() const
{
    std::error_code error;
    fs::path folder = fs::temp_directory_path(error);
    if (error)
        return {};
    static std::random_device source;
    static const wchar_t digits[] = L"0123456789abcdef";
    for (int attempt = 0; attempt < 64; ++attempt) {
        const std::uint32_t bits = backup_names_ ? backup_names_() : std::uint32_t(source());
        std::wstring name = L"vt-";
        for (int i = 4; i >= 0; --i)
            name += digits[(bits >> (4 * i)) & 15];
        name += L".tmp";
        fs::path candidate = folder / name;
        if (!path_exists(candidate))
            return candidate.wstring();
    }
    return {};
}

void install_journal::append(journal_type type, std::wstring path, std::int32_t parameter,
                             const std::wstring& backup, bool kept_in_place)
{
    journal_entry entry;
    entry.type = type;
    entry.path = std::move(path);
    entry.parameter = parameter;
    entry.kept_in_place = kept_in_place;
    // On disk first, naming the backup about to be made: a run cut off from
    // here on is undone from what the file says.
    entry.backup = backup;
    record_.begin(entry);
    entry.backup.clear();
    current_entries_.push_back(std::move(entry));
    pending_ = true;
}

void install_journal::backup_made(const std::wstring& backup)
{
    record_.backup_made();
    current_entries_.back().backup = backup;
}

// Creates the folder and any missing parents, outermost first, recording each
// folder it created so that a rollback removes exactly those.
bool install_journal::ensure_folder(const fs::path& requested)
{
    fs::path folder = requested;
    if (!folder.has_filename() && folder.has_relative_path())
        folder = folder.parent_path(); // "C:\a\b\" names the same folder as "C:\a\b"

    DWORD attributes = ::GetFileAttributesW(folder.c_str());
    if (attributes != INVALID_FILE_ATTRIBUTES)
        return (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;

    fs::path parent = folder.parent_path();
    if (!parent.empty() && parent != folder && !ensure_folder(parent))
        return false;

    journal_entry entry;
    entry.type = journal_type::folder;
    entry.path = folder.wstring();
    entry.done = true;
    record_.begin(entry);
    ::CreateDirectoryW(folder.c_str(), nullptr);
    attributes = ::GetFileAttributesW(folder.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES || !(attributes & FILE_ATTRIBUTE_DIRECTORY))
        return false;
    created_folders_.insert(folded_name(entry.path));
    current_entries_.push_back(std::move(entry));
    return true;
}

// A folder this run created holds only what this run put there, so its files
// are known without asking the file system. Under Wine a name that is not
// there costs a read of the whole folder, which with thousands of new files
// in one folder made every file slower than the one before.
bool install_journal::file_exists(const fs::path& path)
{
    if (!created_folders_.contains(folded_name(path.parent_path().wstring())))
        return path_exists(path);
    return !files_in_created_folders_.insert(folded_name(path.wstring())).second;
}

void install_journal::begin_file(const fs::path& path, std::int32_t kind, bool copy)
{
    ensure_folder(path.parent_path());
    std::wstring backup;
    const bool exists = file_exists(path);
    if (exists)
        backup = new_backup_path();
    append(journal_type::file, path.wstring(), kind, backup, exists && backup.empty());
    if (backup.empty())
        return;
    if (back_up(path, copy, backup))
        backup_made(backup);
    else
        current_entries_.back().kept_in_place = true;
}

void install_journal::begin_shortcut(bool desktop, const fs::path& folder)
{
    journal_type type = desktop ? journal_type::desktop_shortcut : journal_type::start_menu_shortcut;
    ensure_folder(folder);

    // The earlier installation's link of this kind makes way for the new one
    // (its name carries the old version). Only a link file is taken: the log
    // is a file on disk and must not get a folder or another file removed.
    fs::path link;
    for (const journal_entry& previous : previous_entries_) {
        if (previous.type != type || previous.path.empty())
            continue;
        DWORD attributes = ::GetFileAttributesW(previous.path.c_str());
        if (attributes == INVALID_FILE_ATTRIBUTES || (attributes & FILE_ATTRIBUTE_DIRECTORY) ||
            !same_name(fs::path(previous.path).extension().wstring(), L".lnk"))
            continue;
        link = previous.path;
        break;
    }
    const std::wstring backup = link.empty() ? std::wstring() : new_backup_path();
    append(type, {}, -1, backup);
    if (!backup.empty() && back_up(link, false, backup))
        backup_made(backup);
}

void install_journal::begin_uninstall_key(HKEY existing_key)
{
    const std::wstring backup = existing_key ? new_backup_path() : std::wstring();
    append(journal_type::uninstall_key, {}, -1, backup);
    if (backup.empty())
        return;
    privilege_scope save(L"SeBackupPrivilege");
    if (LSTATUS status = ::RegSaveKeyW(existing_key, backup.c_str(), nullptr); status == ERROR_SUCCESS)
        backup_made(backup);
    else
        discard_backup(backup, DWORD(status));
}

void install_journal::begin_registration()
{
    append(journal_type::registration, {}, -1);
}

void install_journal::begin_directx()
{
    append(journal_type::directx, {}, -1);
}

void install_journal::close_entry(bool done, const std::wstring& path)
{
    if (!pending_)
        return;
    pending_ = false;
    journal_entry& last = current_entries_.back();
    last.done = done;
    if (!path.empty())
        last.path = path;
}

void install_journal::roll_back()
{
    pending_ = false;
    // Rolled back to the end or stopped at an entry, the run is over: the
    // journal on disk goes with it, so that no later start undoes again what
    // a later installation put at the same paths.
    settled_ = true;
    created_folders_.clear();
    files_in_created_folders_.clear();
    while (!current_entries_.empty()) {
        undo(current_entries_.back());
        current_entries_.pop_back();
    }
}

void install_journal::commit() noexcept
{
    settled_ = true;
    for (journal_entry& entry : current_entries_) {
        if (entry.backup.empty())
            continue;
        delete_file(entry.backup);
        entry.backup.clear();
    }
}

void install_journal::record_to(const fs::path& file)
{
    settled_ = false;
    record_.open(file);
}

void install_journal::keep_changes() noexcept
{
    record_.keep();
}

void install_journal::end_record() noexcept
{
    if (settled_)
        record_.remove();
    else
        record_.close();
}

bool install_journal::undo_cut_run(const fs::path& file)
{
    // While its run is alive, the journal is open for writing and cannot be
    // opened here.
    vt::unique_file handle(::CreateFileW(file.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                         FILE_FLAG_SEQUENTIAL_SCAN, nullptr));
    if (!handle)
        return false;
    std::optional<recorded_run> run = read_journal(handle.get());
    handle.reset();
    if (!run)
        return false;

    std::vector<journal_entry> entries;
    std::vector<std::wstring> leftovers;
    for (recorded_entry& recorded : run->entries) {
        journal_entry& entry = recorded.entry;
        if (!entry.backup.empty()) {
            // Nothing is written over an item before its backup is complete:
            // while the item is still in place, it is the original, and
            // whatever lies at the backup's name is the start of a copy.
            // A backup that is gone has already been put back.
            const bool moved_away = !path_exists(entry.path) && path_exists(entry.backup);
            if (!path_exists(entry.backup) || (!recorded.backup_made && !moved_away)) {
                if (path_exists(entry.backup))
                    leftovers.push_back(entry.backup);
                entry.backup.clear();
                entry.kept_in_place = true;
            }
        }
        entries.push_back(std::move(entry));
    }

    if (run->kept) {
        // The extraction had completed: the installation stands, as after a
        // later step that failed.
        for (const journal_entry& entry : entries)
            if (!entry.backup.empty())
                leftovers.push_back(entry.backup);
    } else {
        // As a rollback, but to the end: an entry that cannot be undone
        // keeps its backup, and the others are still undone.
        for (auto entry = entries.rbegin(); entry != entries.rend(); ++entry) {
            try {
                undo(*entry);
            } catch (const std::exception&) {
            }
        }
    }
    for (const std::wstring& leftover : leftovers)
        delete_file(leftover);
    std::error_code ignored;
    fs::remove_all(run_folder_of(file), ignored);
    ::DeleteFileW(file.c_str());
    return true;
}

void install_journal::undo_cut_runs() noexcept
{
    try {
        for (const fs::path& file : journal_files())
            undo_cut_run(file);
    } catch (const std::exception&) {
        // Out of memory: the journals stay for the next start.
    }
}

void install_journal::index_previous()
{
    previous_done_files_.clear();
    for (const journal_entry& entry : previous_entries_)
        if (entry.type == journal_type::file && entry.done)
            previous_done_files_.insert(folded_name(entry.path));
}

bool install_journal::previous_file_done(const fs::path& path) const
{
    return previous_done_files_.count(folded_name(path.wstring())) != 0;
}

bool install_journal::previous_done(journal_type type) const
{
    for (const journal_entry& entry : previous_entries_)
        if (entry.type == type && entry.done)
            return true;
    return false;
}
