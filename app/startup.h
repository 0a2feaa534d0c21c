#pragma once
// What runs before the wizard: the processor check, process-wide settings and
// the application's own initialisation.

#include <optional>
#include <string>

// Runs the start-up checks. An exit code when the process must stop (1: the
// processor lacks SSE2, -11: initialisation failed), nothing to go on.
std::optional<int> start_process();

// The user's documents folder, resolved at start-up (the folder chooser opens there).
const std::wstring& documents_folder();

// Whether the loaded common-controls library is version 6.0 or later.
bool has_common_controls_6();
