#pragma once
// The installation journal as a file beside the run's temporary folder, so
// that an installation cut off (the process ended, a crash, a forced log-off)
// can be undone at the installer's next start. Each change is recorded before
// it is made: a file on disk never holds a change it does not know of.
//
// Records are lines of UTF-16 text ending with a line feed, fields separated
// by "|" (which no Windows path holds):
//   "vt-journal 1"                              the header
//   "E|type|parameter|kept|path|backup"         an entry begins; backup is
//                                               where the replaced item is
//                                               about to go (may be empty)
//   "S"                                         that backup is complete
//   "K"                                         the extraction is complete:
//                                               from here on the installation
//                                               stands, a cut keeps it
// Each record is one write to a handle kept open for the run; nothing is
// flushed to the disk, so a process that ends loses nothing, a machine that
// loses power may.

#include "engine/journal_entry.h"
#include "support/unique_any.h"

#include <filesystem>
#include <optional>
#include <string>
#include <vector>

// The journal file of a run whose temporary folder is run_folder.
std::filesystem::path journal_file_path(const std::wstring& run_folder);
// The run folder that a journal file belongs to.
std::filesystem::path run_folder_of(const std::filesystem::path& journal);
// The journal files in the system's temporary folder.
std::vector<std::filesystem::path> journal_files();

class journal_writer {
public:
    // Creates the file (replacing nothing) and writes the header; while it is
    // open no other process can read it, which tells the next installer that
    // this run is alive. Without a file the writer records nothing.
    void open(const std::filesystem::path& path);
    bool is_open() const noexcept { return bool(file_); }

    void begin(const journal_entry& entry) noexcept;
    void backup_made() noexcept;
    void keep() noexcept;

    // The run ended as it should (completed or rolled back): the file goes.
    void remove() noexcept;
    // The file stays as it is, for the next start.
    void close() noexcept { file_.reset(); }

private:
    void write(const std::wstring& line) noexcept;

    vt::unique_file file_;
    std::filesystem::path path_;
};

// One entry as recorded: whether its backup was completed before the run
// was cut off.
struct recorded_entry {
    journal_entry entry;
    bool backup_made = false;
};

struct recorded_run {
    std::vector<recorded_entry> entries;
    bool kept = false; // the extraction had completed
};

// The run that the open file recorded; nothing when the file is not a whole
// journal of this format (damaged, cut in the middle of a record, another
// version's).
std::optional<recorded_run> read_journal(HANDLE file);
