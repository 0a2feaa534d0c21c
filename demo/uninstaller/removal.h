#pragma once
// The removal steps of the uninstallation, each over a log that check_log
// found sound. Nothing here touches a path the log does not name, except the
// uninstaller itself, its log, and the two registry entries the installer
// made for the product.

#include "demo/uninstaller/uninstall_log_reader.h"

#include <filesystem>
#include <string>
#include <vector>

// What could not be removed and is still there, in the order met.
using left_items = std::vector<std::wstring>;

// The installed files and the links, last first. Shared data (kind 3) stays:
// other products of the maker use it. The uninstaller's own file stays for
// remove_uninstaller. Read-only files are removed too.
void remove_files_and_links(const uninstall_log& log, const std::filesystem::path& uninstaller, left_items& left);

// The folders the installation created, last first, each only when it is
// empty by now: a folder that still holds shared data or a file of the user
// stays.
void remove_created_folders(const uninstall_log& log, left_items& left);

// The product's uninstall key, when the log lists it and it still names this
// uninstaller, and the product's path value under the maker's key in both
// registry views, when it still names the program of the log. The maker's
// key goes too once it holds nothing else.
void remove_registration(const uninstall_log& log, const std::filesystem::path& uninstaller);

// The uninstaller's file, then its log. uninstaller must not be running; when
// its file cannot go, the log stays too.
void remove_uninstaller(const std::filesystem::path& uninstaller, left_items& left);

// The product's program as the log lists it (kind 1), or empty.
std::filesystem::path logged_program(const uninstall_log& log);
