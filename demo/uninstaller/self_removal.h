#pragma once
// A program cannot delete its own file while it runs. Uninstall.exe therefore
// hands the work over to a copy of itself in the system's temporary folder:
// the copy waits until the installed uninstaller has ended, removes the
// installation including that file and its folder, and is itself deleted by
// the system when it ends, because the only handle that keeps it is opened
// for deletion on close and inherited by the copy alone.

#include <windows.h>

#include <filesystem>
#include <string>

// Starts the copy with the uninstaller's path and the given switches. True
// when the copy runs; the caller then ends at once. False when no copy
// could be made or started (nothing is left behind).
bool start_temporary_copy(const std::filesystem::path& uninstaller, const std::wstring& switches);

// The switches by which the copy knows its origin.
inline constexpr const wchar_t* origin_switch = L"/origin=";
inline constexpr const wchar_t* parent_switch = L"/parent=";

// In the copy: waits for the installed uninstaller's process to end (its
// handle, inherited, comes with the parent switch) and closes the handle.
void wait_for_origin(HANDLE parent);
