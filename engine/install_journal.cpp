#include "engine/install_journal.h"

#include "engine/journal_file.h"
#include "engine/journal_undo.h"
#include "engine/privilege.h"
#include "support/file_names.h"
#include "support/unique_any.h"

#include <optional>
#include <random>
#include <system_error>

namespace fs = std::filesystem;
using vt::folded_name;
using vt::path_exists;
using vt::same_name;

namespace {

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

bool names_a_file(journal_type type)
{
    return type == journal_type::file || type == journal_type::start_menu_shortcut ||
           type == journal_type::desktop_shortcut;
}

} // namespace

// A free name "vt-xxxxx.tmp" (five random lower-case hexadecimal digits)
// beside the journal, in the installer's protected folder, where no one
// without administrator rights can swap a backup before it is put back: a
// name already taken may be another backup of this run or a leftover of an
// earlier one, and must be left alone. No file is created. Empty when the
// run keeps no journal, which leaves the change without a backup.
std::wstring install_journal::new_backup_path() const
{
    const fs::path folder = journal_path_.parent_path();
    if (journal_path_.empty())
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
        if (!path_exists(candidate.wstring()))
            return candidate.wstring();
    }
    return {};
}

void install_journal::append(journal_type type, std::wstring path, std::int32_t parameter,
                             const std::wstring& backup, bool kept_in_place, bool copy)
{
    journal_entry entry;
    entry.type = type;
    entry.path = std::move(path);
    entry.parameter = parameter;
    entry.kept_in_place = kept_in_place;
    // On disk first, naming the backup about to be made: a run cut off from
    // here on is undone from what the file says.
    entry.backup = backup;
    record_.begin(entry, copy);
    entry.backup.clear();
    current_entries_.push_back(std::move(entry));
    current_records_.push_back({copy, std::nullopt});
    pending_ = true;
}

// Known here before it is recorded: whatever happens to the record, the
// rollback must put the backup back.
void install_journal::backup_made(const std::wstring& backup)
{
    current_entries_.back().backup = backup;
    record_.backup_made();
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
    record_.begin(entry, false);
    // Only a folder this call made is the run's own: one that someone made
    // meanwhile holds what it holds, and stays.
    entry.done = ::CreateDirectoryW(folder.c_str(), nullptr) != 0;
    const DWORD error = ::GetLastError();
    entry.kept_in_place = !entry.done;
    record_.closed(entry, std::nullopt);
    if (!entry.done)
        return error == ERROR_ALREADY_EXISTS && fs::is_directory(folder);
    created_folders_.insert(folded_name(entry.path));
    current_entries_.push_back(std::move(entry));
    current_records_.push_back({});
    return true;
}

// A folder this run created holds only what this run put there, so its files
// are known without asking the file system. Under Wine a name that is not
// there costs a read of the whole folder, which with thousands of new files
// in one folder made every file slower than the one before.
bool install_journal::file_exists(const fs::path& path)
{
    if (!created_folders_.contains(folded_name(path.parent_path().wstring())))
        return path_exists(path.wstring());
    return !files_in_created_folders_.insert(folded_name(path.wstring())).second;
}

void install_journal::begin_file(const fs::path& path, std::int32_t kind, bool copy)
{
    ensure_folder(path.parent_path());
    std::wstring backup;
    const bool exists = file_exists(path);
    if (exists)
        backup = new_backup_path();
    append(journal_type::file, path.wstring(), kind, backup, exists && backup.empty(), copy);
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
    std::optional<vt::file_stamp>& stamp = current_records_.back().stamp;
    if (done && names_a_file(last.type) && record_.is_open())
        stamp = vt::stamp_of(fs::path(last.path));
    try {
        record_.closed(last, stamp);
    } catch (...) {
        if (done)
            throw;
        // A failure on its way out: the change is undone anyway.
    }
}

void install_journal::roll_back(const std::function<void()>& keep_alive)
{
    pending_ = false;
    forget_created_folders();
    while (!current_entries_.empty()) {
        if (keep_alive)
            keep_alive();
        try {
            undo_change({current_entries_.back(), current_records_.back().copy, current_records_.back().stamp},
                        undo_mode::rollback);
        } catch (...) {
            // The journal on disk keeps what is left, for the next start;
            // without that, this run is over and its journal goes.
            record_.close();
            try {
                recorded_run left{run_, {}, false};
                for (std::size_t i = 0; i < current_entries_.size(); ++i)
                    left.entries.push_back({current_entries_[i], current_records_[i].copy,
                                            !current_entries_[i].backup.empty(), true,
                                            current_records_[i].stamp});
                if (!journal_path_.empty())
                    rewrite_journal(journal_path_, left);
                settled_ = false;
            } catch (...) {
                settled_ = true;
            }
            current_entries_.clear();
            current_records_.clear();
            throw;
        }
        current_entries_.pop_back();
        current_records_.pop_back();
    }
    // Rolled back to the end, the run is over: the journal on disk goes with
    // it, so that no later start undoes again what a later installation put
    // at the same paths.
    settled_ = true;
}

void install_journal::forget_created_folders() noexcept
{
    created_folders_.clear();
    files_in_created_folders_.clear();
}

void install_journal::commit() noexcept
{
    settled_ = true;
    forget_created_folders();
    for (journal_entry& entry : current_entries_) {
        if (entry.backup.empty())
            continue;
        delete_file(entry.backup);
        entry.backup.clear();
    }
}

void install_journal::record_to(const fs::path& file, const journal_run& run)
{
    // What an earlier run on this object did is no guide to this one: a
    // folder it created is not this run's, its files are not absent.
    forget_created_folders();
    current_entries_.clear();
    current_records_.clear();
    pending_ = false;
    settled_ = false;
    run_ = run;
    journal_path_.clear();
    record_.open(file, run);
    journal_path_ = file;
}

void install_journal::keep_changes()
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
