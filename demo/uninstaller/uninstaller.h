#pragma once
// One uninstallation, from the log to the last message: the language of the
// installed product, the check of the log, the user's confirmation, the
// removal and what could not be removed.

#include <filesystem>

struct uninstaller_options {
    // The installed Uninstall.exe; its log lies beside it.
    std::filesystem::path uninstaller;
    // No question and no message: the exit code tells the outcome.
    bool silent = false;
};

// The exit codes of Uninstall.exe.
enum uninstall_result : int {
    uninstall_done = 0,
    uninstall_cancelled = 1,    // the user said no, or gave up while the product ran
    uninstall_no_log = 2,       // nothing removed
    uninstall_damaged_log = 3,  // nothing removed
    uninstall_incomplete = 4,   // something is still in use; the uninstaller, its log and key stay
    uninstall_product_running = 5, // silent: another program of the product runs; nothing removed
    uninstall_failed = 6,       // the system refused something unexpected; what is removed stays removed
};

uninstall_result run_uninstaller(const uninstaller_options& options);

// Sets the language the product was installed in ("VtLanguage" of its
// uninstall key) or, without one, the user's; English when the uninstaller
// has no texts of its own in that language.
void choose_uninstaller_language();
