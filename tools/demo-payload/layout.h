#pragma once
// What the demo payload holds: Tablewright's program, uninstaller and
// language modules, the shared libraries and settings of Vantrel Software's
// products, the sample projects and their textures, and the DirectX setup
// files that the installer only needs while it runs.

#include "content.h"

#include <cstdint>
#include <string>
#include <vector>

struct payload_item {
    // Stored source path, '\' separated: the file's place in the staging
    // folder. Entries are ordered by it without regard to case.
    std::string source;
    // Destination folder, beginning with a path macro.
    std::string destination;
    // entry_kind: 0 language module, 1 program, 2 uninstaller, 3 shared data,
    // 4 sample, 5 temporary.
    std::uint32_t kind = 0;
    // A built program or library given to the generator, by its file name
    // ("Tablewright.exe"); empty for generated content.
    std::string binary;
    content_spec content{};
};

// The 80 entries in archive order.
std::vector<payload_item> demo_payload_layout();

// The file names of the built binaries the layout needs.
std::vector<std::string> demo_payload_binaries();

// a before b in the archive: source paths compared without regard to case
// (ASCII letters folded to lower case), then as stored.
bool archive_order(const std::string& a, const std::string& b);
