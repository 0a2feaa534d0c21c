#pragma once
// The installer's own folder, "<common application data>\Vantrel Software
// Installer", which only SYSTEM and Administrators can change
// (protected_folder.h): the journals of running installations, the backups
// of what they replace, and each run's temporary folder, whose files (the
// DirectX setup's library) the installer loads and runs.

#include <filesystem>

// Raises the system error when the shell does not know the folder's parent.
std::filesystem::path installer_folder_path();
