#pragma once
// Whether a log may be acted on. The uninstaller deletes what the log names,
// so a log that names anything outside the folders the installation used is
// treated as damaged and nothing at all is removed: the installation folder
// and Start-menu folder the log itself declares, and the shell's folders for
// shared data, documents and desktops that the payload's macros point into.
// The system, Windows and program-files folders are not among them: the
// product never puts a file of its own directly there.

#include "demo/uninstaller/uninstall_log_reader.h"

#include <filesystem>
#include <string>
#include <vector>

struct removal_roots {
    std::filesystem::path install_folder;
    std::filesystem::path shortcut_folder;
    // Shared and per-user data, documents and desktops.
    std::vector<std::filesystem::path> data_folders;
    // Where a desktop link may lie: the public and the user's desktop.
    std::vector<std::filesystem::path> desktop_folders;
};

// The folders of a log on this machine: its own two, and the shell's.
removal_roots removal_roots_of(const uninstall_log& log);

struct log_verdict {
    bool sound = false;
    // Why not, for the report of a test or a support case.
    std::wstring reason;
    // The path that broke a rule, when one did.
    std::wstring path;
};

// Checks the whole log before anything is removed. uninstaller is the
// installed Uninstall.exe beside the log: the log must declare its folder as
// the installation folder.
log_verdict check_log(const uninstall_log& log, const std::filesystem::path& uninstaller,
                      const removal_roots& roots);

// A Start-menu or desktop link that the installation could not make: the
// installer's log writer leaves it not done and without a path.
bool is_unmade_link(const journal_entry& entry);

// An absolute path with a drive or server, no "." or ".." element, no
// character that Windows refuses and no device or stream syntax: the only
// kind of path the installer writes into a log.
bool is_plain_absolute_path(const std::wstring& text);

// path lies strictly below folder, element by element without regard to case.
bool lies_below(const std::filesystem::path& path, const std::filesystem::path& folder);
