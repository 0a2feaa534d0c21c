#pragma once
// Uninstall.ulog as the uninstaller reads it: through the same text codec and
// line rules as the installer, but all or nothing. The installer keeps what it
// read before a bad line; the uninstaller must not act on half a log.

#include "engine/journal_entry.h"

#include <filesystem>
#include <string>
#include <vector>

struct uninstall_log {
    // The file could be opened.
    bool found = false;
    // Version 1, and every line up to the end of the file followed the rules.
    bool complete = false;
    // The header's texts, trimmed: "Tablewright 8.11n", the installation
    // folder and the Start-menu folder as the installation chose them.
    std::wstring product_text;
    std::wstring install_folder;
    std::wstring shortcut_folder;
    // In file order, which is the order of the changes.
    std::vector<journal_entry> entries;
};

uninstall_log read_uninstall_log(const std::filesystem::path& file);
