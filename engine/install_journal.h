#pragma once
// The installation journal: the ordered record of every change one
// installation makes (folders, files, shortcuts, the uninstall key, the
// product's registration, the DirectX update), with a backup of whatever a
// change replaced. A failed extraction rolls the journal back; a finished
// installation writes it as Uninstall.ulog. The same object carries what was
// read from the previous installation's Uninstall.ulog, so that an update can
// keep the earlier folders and list the earlier files again.

#include "engine/journal_entry.h"
#include "engine/journal_file.h"
#include "support/file_stamp.h"

#include <windows.h>

#include <cstdint>
#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <unordered_set>
#include <vector>

class install_journal {
public:
    install_journal() = default;
    install_journal(const install_journal&) = delete;
    install_journal& operator=(const install_journal&) = delete;

    // --- Recording the changes of this run ------------------------------
    // Each begin_ operation appends one entry with done = false and leaves it
    // pending until close_entry. A backup that cannot be made leaves the entry
    // without one; the change itself still goes ahead.

    // A payload file about to be written to path. The parent folder chain is
    // created first (one folder entry per created level, outermost first). An
    // existing file is copied to a backup when copy is true (it stays in place,
    // as shared data must while it is re-used) or moved away when false.
    // kind is the payload entry kind.
    void begin_file(const std::filesystem::path& path, std::int32_t kind, bool copy);

    // A Start-menu (desktop false) or desktop (true) link about to be created
    // in folder. The folder chain is created first. If the previous log names
    // a link of the same kind that still exists, it is moved to a backup (only
    // a .lnk file: whatever else a log may name is left alone). The entry's
    // path stays empty until close_entry gives the link's path.
    void begin_shortcut(bool desktop, const std::filesystem::path& folder);

    // The product's uninstall key is about to be written. existing_key is the
    // key as it was before (its content is saved to a backup file), or nullptr
    // when the key has just been created.
    void begin_uninstall_key(HKEY existing_key);

    // The installed product is about to run its own registration.
    void begin_registration();

    // The DirectX runtime update is about to run.
    void begin_directx();

    // Closes the pending entry: sets its done flag and, when path is not
    // empty, replaces its path; a file or link made is stamped in the
    // journal, so that no later undo takes away what someone wrote over it.
    // Does nothing when no entry is pending. Raises when the journal cannot
    // record a change that was made (done); a failure is recorded as well as
    // it can be, never raised.
    void close_entry(bool done, const std::wstring& path = {});

    // Undoes this run's changes, last first: created folders and written
    // files and links are removed and their backups put back (a copy's
    // content written back into the file it saved, which keeps that file's
    // access list), the uninstall key is restored from its backup or
    // deleted. Registry errors are ignored. keep_alive runs between entries:
    // the rollback of a large update takes a while, and the window must stay
    // alive. Throws std::filesystem::filesystem_error ("remove") when a
    // folder or file cannot be removed; the walk stops at that entry, and
    // the journal on disk keeps what is left, for the next start. The current
    // entries are emptied; the previous log's entries are kept.
    void roll_back(const std::function<void()>& keep_alive = {});

    // Deletes every backup file of the current entries and forgets them: the
    // installation can no longer be rolled back. write_log calls it.
    void commit() noexcept;

    // --- The journal on disk ----------------------------------------------

    // From here on every change is recorded in file before it is made, so
    // that a run cut off (ended from outside, crashed) can be undone by the
    // next start; backups are made beside it, in the same protected folder.
    // A new run: what an earlier run on this object recorded is forgotten.
    // Raises when the file cannot be created.
    void record_to(const std::filesystem::path& file, const journal_run& run);
    // The extraction is complete: a run cut off from here on is kept as it
    // stands, as after a later step that failed. Raises when that cannot be
    // recorded (the caller then rolls back).
    void keep_changes();
    // The run is over. A run rolled back or committed removes its file; one
    // that stopped halfway leaves it for the next start.
    void end_record() noexcept;

    // Undoes the runs that were cut off, from their journals in folder (the
    // installer's protected folder), newest first. A journal is obeyed only
    // when its file and folder are changeable by administrators alone, no
    // reparse point is on the way, every path it names lies in the folders
    // of its own installation and every backup is a file of that folder;
    // any other is left alone, as a damaged one is. Each change is undone as
    // the run's rollback would have done, except that a file changed since
    // the run is left as it is; cut after the extraction, the run is kept
    // and its Uninstall.ulog written. A journal whose undo failed keeps what
    // is left, for the next start; the others go with their backups and
    // their run's temporary folder. Never throws.
    static void undo_cut_runs(const std::filesystem::path& folder) noexcept;
    // Writes the Uninstall.ulog that a run cut after its extraction would
    // have written: the earlier installation's entries (an update) and the
    // run's. Raises what write_log raises.
    static void write_log_of_cut_run(const recorded_run& run);

    // --- The uninstall log ----------------------------------------------

    // Merges the previous log's entries that this run did not repeat into the
    // current entries, then writes Uninstall.ulog (UTF-16 with byte-order mark,
    // CR LF) at file and makes it read-only. Commits in every case. True when
    // the file was written completely.
    bool write_log(const std::filesystem::path& file, const std::wstring& install_folder,
                   const std::wstring& shortcut_folder);

    // Fills the previous-installation part from an earlier Uninstall.ulog.
    // An empty path only clears the previous folders and sets the desktop
    // default. Never throws: a missing or damaged file yields what could be
    // read before the first bad line.
    void read_log(const std::filesystem::path& file);

    // --- What the previous log said ------------------------------------

    // Install folder of the previous log; empty unless it names an existing folder.
    const std::wstring& previous_install_folder() const noexcept { return previous_install_folder_; }
    // Start-menu folder of the previous log; empty unless it names an existing folder.
    const std::wstring& previous_shortcut_folder() const noexcept { return previous_shortcut_folder_; }
    // Product text of the previous log's "Install" line ("Tablewright 8.11m").
    const std::wstring& previous_product_text() const noexcept { return previous_product_text_; }
    // Whether the desktop shortcut should be offered by default: true before
    // any log was read; after reading one, whether it lists a desktop link.
    bool desktop_shortcut_default() const noexcept { return desktop_shortcut_default_; }
    // The previous log's entries in file order (backups empty; no paths for
    // the uninstall key and the registration).
    const std::vector<journal_entry>& previous_entries() const noexcept { return previous_entries_; }

    // The previous log lists a file entry marked done whose path is path
    // (compared as Windows compares file names, ignoring case).
    bool previous_file_done(const std::filesystem::path& path) const;
    // The previous log lists an entry of this type marked done.
    bool previous_done(journal_type type) const;

    // --- This run ---------------------------------------------------------

    // Where the random part of backup names comes from (the low 20 bits of
    // each number are used); tests make names collide with it.
    void name_backups_with(std::function<std::uint32_t()> source) { backup_names_ = std::move(source); }

    const std::vector<journal_entry>& current_entries() const noexcept { return current_entries_; }
    // An entry has begun and is not closed yet.
    bool pending() const noexcept { return pending_; }

private:
    void append(journal_type type, std::wstring path, std::int32_t parameter, const std::wstring& backup = {},
                bool kept_in_place = false, bool copy = false);
    void forget_created_folders() noexcept;
    void backup_made(const std::wstring& backup);
    bool ensure_folder(const std::filesystem::path& folder);
    bool file_exists(const std::filesystem::path& path);
    std::wstring new_backup_path() const;
    void merge_previous();
    void index_previous();

    std::wstring previous_install_folder_;
    std::wstring previous_shortcut_folder_;
    bool desktop_shortcut_default_ = true;
    std::vector<journal_entry> previous_entries_;
    // The done file entries of previous_entries_, by folded name: asked for
    // every file of an update, so a lookup must not grow with the log.
    std::unordered_set<std::wstring> previous_done_files_;
    std::vector<journal_entry> current_entries_;
    // Beside each current entry: whether its backup is a copy, and the stamp
    // of what it made; what the journal on disk is rewritten from.
    struct entry_record {
        bool copy = false;
        std::optional<vt::file_stamp> stamp;
    };
    std::vector<entry_record> current_records_;
    journal_run run_;
    std::filesystem::path journal_path_;
    // Folders this run created and the files begun in them, by folded name.
    std::unordered_set<std::wstring> created_folders_;
    std::unordered_set<std::wstring> files_in_created_folders_;
    bool pending_ = false;
    std::wstring previous_product_text_;
    std::function<std::uint32_t()> backup_names_;
    journal_writer record_;
    bool settled_ = false; // rolled back or committed
};
