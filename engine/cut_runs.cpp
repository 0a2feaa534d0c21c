// The next start's undo of installations that were cut off (the process
// ended, a crash, a forced log-off), from the journals they left.

#include "engine/install_journal.h"
#include "engine/installation_paths.h"
#include "engine/journal_file.h"
#include "engine/journal_undo.h"
#include "payload/payload_entry.h"
#include "resources/product.h"
#include "support/file_names.h"
#include "support/known_folder.h"
#include "support/protected_folder.h"

#include <knownfolders.h>

#include <algorithm>
#include <optional>

namespace fs = std::filesystem;

namespace {

// A backup of that run: "vt-xxxxx.tmp" in the journal's own folder, which
// the caller has checked.
bool is_backup_of(const std::wstring& backup, const fs::path& folder)
{
    if (backup.empty())
        return true;
    const fs::path path(backup);
    const std::wstring name = path.filename().wstring();
    return is_plain_absolute_path(backup) && vt::same_name(path.parent_path().wstring(), folder.wstring()) &&
           name.size() == 12 && name.rfind(L"vt-", 0) == 0 && name.substr(8) == L".tmp" &&
           name.find_first_not_of(L"0123456789abcdef", 3) == 8;
}

bool is_start_menu_folder(const std::wstring& folder)
{
    if (!is_plain_absolute_path(folder))
        return false;
    for (REFKNOWNFOLDERID id : {FOLDERID_CommonPrograms, FOLDERID_Programs})
        if (const std::wstring programs = vt::known_folder(id); !programs.empty() && lies_at_or_below(folder, programs))
            return true;
    return false;
}

// Whether every change the journal names is one its own installation makes:
// a journal is obeyed only then, since its undo deletes and replaces files.
bool names_only_its_installation(const recorded_run& run, const fs::path& folder)
{
    if (!may_hold_an_installation(run.run.install_folder) || !is_start_menu_folder(run.run.shortcut_folder))
        return false;
    const installation_roots roots = installation_roots_of(run.run.install_folder, run.run.shortcut_folder);
    return std::all_of(run.entries.begin(), run.entries.end(), [&](const recorded_entry& recorded) {
        const journal_entry& entry = recorded.entry;
        const bool has_path = entry.type != journal_type::uninstall_key &&
                              entry.type != journal_type::registration && entry.type != journal_type::directx;
        if (has_path && !entry.path.empty() &&
            (!is_plain_absolute_path(entry.path) || !misplaced_entry(entry, roots).empty()))
            return false;
        if (!has_path && !entry.path.empty())
            return false;
        return is_backup_of(entry.backup, folder);
    });
}

struct cut_run {
    fs::path journal;
    recorded_run run;
};

// The journal's run when it may be obeyed: not alive, changeable by
// administrators alone, whole, and naming only its own installation.
std::optional<cut_run> trusted_cut_run(const fs::path& journal, const fs::path& folder)
{
    // While its run is alive, the journal is open for writing and cannot be
    // opened here.
    vt::unique_file file(::CreateFileW(journal.c_str(), GENERIC_READ | READ_CONTROL, FILE_SHARE_READ, nullptr,
                                       OPEN_EXISTING, FILE_FLAG_SEQUENTIAL_SCAN | FILE_FLAG_OPEN_REPARSE_POINT,
                                       nullptr));
    if (!file || !vt::only_administrators_may_change(file.get()))
        return std::nullopt;
    std::optional<recorded_run> run = read_journal(file.get());
    if (!run || !names_only_its_installation(*run, folder))
        return std::nullopt;
    return cut_run{journal, std::move(*run)};
}

// What the next start makes of each entry: nothing is written over an item
// before its backup is complete, so while the item is still in place it is
// the original, and whatever lies at the backup's name is the start of a
// copy; a moved item whose record did not follow is whole at the backup.
undo_step step_of(recorded_entry& recorded, std::vector<std::wstring>& leftovers)
{
    journal_entry& entry = recorded.entry;
    if (entry.type == journal_type::folder && recorded.closed && !entry.done)
        entry.kept_in_place = true; // someone else made it
    if (!entry.backup.empty()) {
        const bool moved_away =
            !recorded.copy && !vt::path_exists(entry.path) && vt::path_exists(entry.backup);
        if (!vt::path_exists(entry.backup) || (!recorded.backup_made && !moved_away)) {
            if (vt::path_exists(entry.backup))
                leftovers.push_back(entry.backup);
            entry.backup.clear();
            entry.kept_in_place = true;
        } else {
            recorded.backup_made = true;
        }
    }
    return {entry, recorded.copy, recorded.stamp};
}

// Undoes (or keeps) one run; the entries whose undo failed, with their
// backups, stay in its journal for the next start.
void settle(cut_run& cut)
{
    std::vector<std::wstring> leftovers;
    std::vector<undo_step> steps;
    for (recorded_entry& recorded : cut.run.entries)
        steps.push_back(step_of(recorded, leftovers));

    recorded_run left{cut.run.run, {}, false};
    if (cut.run.kept) {
        // The extraction had completed: the installation stands, as after a
        // later step that failed, and it can be uninstalled.
        for (const undo_step& step : steps)
            if (!step.entry.backup.empty())
                leftovers.push_back(step.entry.backup);
        install_journal::write_log_of_cut_run(cut.run);
    } else {
        // As a rollback, but to the end: an entry that cannot be undone keeps
        // its backup, and the others are still undone.
        for (std::size_t i = steps.size(); i-- > 0;) {
            try {
                undo_change(steps[i], undo_mode::cut_run);
            } catch (const std::exception&) {
                left.entries.insert(left.entries.begin(), cut.run.entries[i]);
            }
        }
    }
    for (const std::wstring& leftover : leftovers)
        delete_file(leftover);
    if (!left.entries.empty()) {
        rewrite_journal(cut.journal, left);
        return;
    }
    std::error_code ignored;
    fs::remove_all(run_folder_of(cut.journal), ignored);
    ::DeleteFileW(cut.journal.c_str());
}

} // namespace

void install_journal::undo_cut_runs(const fs::path& folder) noexcept
{
    try {
        if (!vt::protected_folder::is_trusted(folder))
            return;
        std::vector<cut_run> runs;
        for (const fs::path& journal : journal_files(folder))
            if (std::optional<cut_run> run = trusted_cut_run(journal, folder))
                runs.push_back(std::move(*run));
        // Newest first: an older run's changes lie beneath a newer one's.
        std::stable_sort(runs.begin(), runs.end(),
                         [](const cut_run& a, const cut_run& b) { return a.run.run.started > b.run.run.started; });
        for (cut_run& run : runs) {
            try {
                settle(run);
            } catch (const std::exception&) {
                // Its journal stays as it was, for the next start.
            }
        }
    } catch (const std::exception&) {
        // Out of memory: the journals stay for the next start.
    }
}

// The log the run would have written after its last step: the earlier
// installation's entries (an update) and the run's.
void install_journal::write_log_of_cut_run(const recorded_run& run)
{
    fs::path folder = run.run.install_folder;
    for (const recorded_entry& recorded : run.entries)
        if (recorded.entry.type == journal_type::file &&
            recorded.entry.parameter == std::int32_t(entry_kind::uninstaller))
            folder = fs::path(recorded.entry.path).parent_path();
    const fs::path log = folder / uninstall_log_name;
    install_journal journal;
    journal.read_log(vt::path_exists(log.wstring()) ? log : fs::path());
    for (const recorded_entry& recorded : run.entries) {
        journal.current_entries_.push_back(recorded.entry);
        journal.current_entries_.back().backup.clear();
        journal.current_records_.push_back({recorded.copy, recorded.stamp});
    }
    journal.write_log(log, run.run.install_folder, run.run.shortcut_folder);
}
