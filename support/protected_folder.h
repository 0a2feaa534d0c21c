#pragma once
// Folders that only administrators can change. The installer runs elevated:
// whatever it later loads, runs or obeys (its journal, the backups it puts
// back, the DirectX setup's library) must lie where a program of the user,
// running without those rights, cannot plant or swap a file.

#include "support/unique_any.h"

#include <windows.h>

#include <filesystem>
#include <string>

namespace vt {

// The security descriptor "O:BAD:P(A;OICI;FA;;;SY)(A;OICI;FA;;;BA)": owned
// by Administrators, full control for SYSTEM and Administrators, inherited
// by everything inside, nothing inherited from the parent, nothing for
// anyone else.
unique_local administrators_only_descriptor();

// Whether no one but SYSTEM, Administrators or the owner of the system's
// own folder owns the object or may write, delete or re-permission it. A
// missing access list (which lets everyone in) fails; so does a deny-only
// one that some later allow might widen: only what is granted counts.
bool descriptor_lets_only_administrators_change(PSECURITY_DESCRIPTOR descriptor);

// The same for an open file or folder, which must not be a reparse point
// either (a link would lead the check to one place and the use to another).
bool only_administrators_may_change(HANDLE object);

// Opens an existing file or folder for that check, without following a
// reparse point; invalid when it cannot be opened.
unique_file open_for_check(const std::filesystem::path& path, bool folder);

// A folder of the installer's own, made with the descriptor above. An
// existing folder is used when it passes the check; one that fails it (made
// by someone else) is renamed aside, "<name>.untrusted-<8 hex digits>", and
// a new one made. The folder is held open while this object lives, so that
// it cannot be renamed or replaced meanwhile. Raises the system error that
// stopped it.
class protected_folder {
public:
    protected_folder() = default;
    explicit protected_folder(std::filesystem::path path);

    // Only the check, no creation: false when the folder is missing or fails.
    static bool is_trusted(const std::filesystem::path& path);

    const std::filesystem::path& path() const noexcept { return path_; }
    explicit operator bool() const noexcept { return bool(handle_); }

private:
    std::filesystem::path path_;
    unique_file handle_;
};

} // namespace vt
