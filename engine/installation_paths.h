#pragma once
// Where an installation of this product may have written. Whatever acts on a
// record of an installation (the uninstaller on its log, the next start on a
// cut run's journal) removes or replaces what the record names, so a record
// naming anything outside these folders is treated as damaged and not acted
// on: the installation folder and Start-menu folder the record declares, and
// the shell's folders for shared data, documents and desktops that the
// payload's macros point into. The system, Windows and program-files folders
// are not among them: the product never puts a file of its own directly there.

#include "engine/journal_entry.h"

#include <filesystem>
#include <string>
#include <vector>

struct installation_roots {
    std::filesystem::path install_folder;
    std::filesystem::path shortcut_folder;
    // Shared and per-user data, documents and desktops.
    std::vector<std::filesystem::path> data_folders;
    // Where a desktop link may lie: the public and the user's desktop.
    std::vector<std::filesystem::path> desktop_folders;
};

// The folders of a record on this machine: its own two, and the shell's.
installation_roots installation_roots_of(const std::wstring& install_folder, const std::wstring& shortcut_folder);

// Why the entry's path is not one that an installation with these roots
// writes; empty when it is. Entries without a path (the uninstall key, the
// registration, the DirectX update) pass.
std::wstring misplaced_entry(const journal_entry& entry, const installation_roots& roots);

// Whether folder can be an installation folder at all: a plain absolute path
// that is no drive's root and neither holds nor lies in one of the system's
// own folders (Windows, program files, shared data, the users' profiles).
bool may_hold_an_installation(const std::wstring& folder);

// An absolute path with a drive or server, no "." or ".." element, no
// character that Windows refuses and no device or stream syntax: the only
// kind of path the installer records.
bool is_plain_absolute_path(const std::wstring& text);

// path lies strictly below folder, element by element without regard to case.
bool lies_below(const std::filesystem::path& path, const std::filesystem::path& folder);
// The same, or path is folder itself.
bool lies_at_or_below(const std::filesystem::path& path, const std::filesystem::path& folder);
