#pragma once
// Whether a log may be acted on. The uninstaller deletes what the log names,
// so a log that names anything outside the folders the installation used
// (installation_paths.h) is treated as damaged and nothing at all is removed.

#include "demo/uninstaller/uninstall_log_reader.h"
#include "engine/installation_paths.h"

#include <filesystem>
#include <string>

using removal_roots = installation_roots;

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
