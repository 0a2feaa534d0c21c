#pragma once
// Undoing one change of the journal, shared by the rollback of a failed run
// and by the next start's undo of a run that was cut off.

#include "engine/journal_entry.h"
#include "support/file_stamp.h"

#include <optional>
#include <string>

enum class undo_mode {
    // The run's own rollback: what it made is still as it made it.
    rollback,
    // A cut run, undone at a later start: whatever was changed since (by
    // another installation, by the user) is left as it is.
    cut_run,
};

struct undo_step {
    journal_entry entry;
    bool copy = false; // the backup is a copy of a file left in place
    // What the change made, when it was recorded; only a cut run compares it.
    std::optional<vt::file_stamp> stamp;
};

// Undoes one change: a created folder, a written file or link is removed
// and what it replaced put back; the uninstall key is restored or deleted.
// Raises std::filesystem::filesystem_error when a folder or file cannot be
// removed or put back (its backup then stays).
void undo_change(const undo_step& step, undo_mode mode);

// Deletes a file, read-only or not; nothing when it is not there.
void delete_file(const std::wstring& path) noexcept;

// Moves a file, to another volume too, keeping a read-only attribute. False
// when the file is still at from, with the move's error as the last error.
bool move_file(const std::wstring& from, const std::wstring& to) noexcept;
