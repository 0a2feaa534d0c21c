#pragma once
// The shell's special folders behind the destination macros of the payload
// ("<CommonData>", "<Desktop>", ...). The macros themselves are resolved by
// payload_writer::resolve_destination.

#include <filesystem>

// A special folder by its CSIDL value; when the shell returns none and
// use_fallback is set, the fallback CSIDL. Raises unexpected_error (compress
// category) when no folder is found.
std::filesystem::path known_folder_path(int csidl, int fallback_csidl = 0, bool use_fallback = false);
