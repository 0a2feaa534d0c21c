#pragma once
// The installation journal as a file in the installer's own folder, which
// only administrators can change (installer_folder.h), so that an
// installation cut off (the process ended, a crash, a forced log-off) can be
// undone at the installer's next start. Each change is recorded before it is
// made: a file on disk never holds a change it does not know of.
//
// Records are lines of UTF-16 text ending with a line feed, fields separated
// by "|" (which no Windows path holds):
//   "vt-journal 2"                              the header
//   "R|started|install folder|Start-menu folder"
//                                               the run: when it started (a
//                                               FILETIME, 16 hex digits) and
//                                               the folders it installs to
//   "E|type|parameter|kept|copy|path|backup"    an entry begins; backup is
//                                               where the replaced item is
//                                               about to go (may be empty),
//                                               copy that it stays in place
//   "S"                                         that backup is complete
//   "D|done|path|stamp"                         the entry is closed: its
//                                               outcome, its final path and
//                                               the stamp of the file made
//                                               (file_stamp.h; may be empty)
//   "K"                                         the extraction is complete:
//                                               from here on the installation
//                                               stands, a cut keeps it
// Each record is one write to a handle kept open for the run; nothing is
// flushed to the disk, so a process that ends loses nothing, a machine that
// loses power may. A record that cannot be written raises: an installation
// does not go on unrecorded.

#include "engine/journal_entry.h"
#include "support/file_stamp.h"
#include "support/unique_any.h"

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

// The journal files in folder, "vantrel_{...}.journal".
std::vector<std::filesystem::path> journal_files(const std::filesystem::path& folder);
// The journal file of a run whose temporary folder is run_folder.
std::filesystem::path journal_file_path(const std::wstring& run_folder);
// The run folder that a journal file belongs to.
std::filesystem::path run_folder_of(const std::filesystem::path& journal);

// What the "R" record says.
struct journal_run {
    std::uint64_t started = 0;
    std::wstring install_folder;
    std::wstring shortcut_folder;
};

// One entry as recorded.
struct recorded_entry {
    journal_entry entry;
    bool copy = false;        // the backup is a copy; the original stayed in place
    bool backup_made = false; // "S" followed
    bool closed = false;      // "D" followed
    std::optional<vt::file_stamp> stamp;
};

struct recorded_run {
    journal_run run;
    std::vector<recorded_entry> entries;
    bool kept = false; // the extraction had completed
};

class journal_writer {
public:
    // Creates the file (replacing nothing) and writes the header and the run;
    // while it is open no other process can read it, which tells the next
    // installer that this run is alive.
    void open(const std::filesystem::path& path, const journal_run& run);
    bool is_open() const noexcept { return bool(file_); }

    // The records; each raises the write's system error. Without an open
    // file they record nothing.
    void begin(const journal_entry& entry, bool copy);
    void backup_made();
    void closed(const journal_entry& entry, const std::optional<vt::file_stamp>& stamp);
    void keep();

    // The run ended as it should (completed or rolled back): the file goes.
    void remove() noexcept;
    // The file stays as it is, for the next start.
    void close() noexcept { file_.reset(); }

private:
    void write(const std::wstring& line);

    vt::unique_file file_;
    std::filesystem::path path_;
};

// Replaces the journal at path with one that records run, written beside it
// first so that a cut leaves the old file or the new one. Raises the system
// error that stopped it.
void rewrite_journal(const std::filesystem::path& path, const recorded_run& run);

// The run that the open file recorded; nothing when the file is not a whole
// journal of this format (damaged, another version's). A last record without
// its line end was cut while being written and is left out.
std::optional<recorded_run> read_journal(HANDLE file);
