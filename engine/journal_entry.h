#pragma once
// One entry of the installation journal and of the uninstall log. Kept free
// of Windows headers so that the log's line parser builds anywhere.

#include <cstdint>
#include <string>

// What a journal entry changed. The values are those of the uninstall log.
enum class journal_type : std::uint32_t {
    folder = 0,              // folder created by the installer
    file = 1,                // installed file; parameter = payload entry kind
    start_menu_shortcut = 2, // Start-menu link
    reserved = 3,            // accepted when read from a log, never written
    desktop_shortcut = 4,    // desktop link
    uninstall_key = 5,       // the product's key under ...\CurrentVersion\Uninstall
    registration = 6,        // the product's own registration run (file types)
    directx = 7,             // DirectX runtime update
};

// One change of an installation.
struct journal_entry {
    journal_type type = journal_type::folder;
    // Folder, file or link path; empty for the uninstall key, the
    // registration and the DirectX update.
    std::wstring path;
    // Where the replaced file, link or saved key lies until commit or
    // rollback; empty when nothing was replaced.
    std::wstring backup;
    // The change completed.
    bool done = false;
    // For files the payload entry kind (0 to 5), otherwise -1.
    std::int32_t parameter = -1;
    // The file was there before and could not be backed up (another program
    // holds it): a rollback leaves it where it is rather than delete what may
    // still be the earlier file. Not part of the log.
    bool kept_in_place = false;
};
