#pragma once
// One file of the payload archive as the installer sees it.

#include <cstdint>
#include <filesystem>

// How the installation treats an entry. The reader and writer treat all kinds
// alike; the values are stored in the archive and in the uninstall log.
enum class entry_kind : std::uint32_t {
    language_module = 0, // localised resource module, one per language
    program = 1,         // the product's main executable
    uninstaller = 2,     // the uninstaller executable
    shared_data = 3,     // shared with other versions and products of the maker
    sample = 4,          // example projects and their textures
    temporary = 5,       // needed only while installing
};

struct payload_entry {
    // The path of the file on the machine that built the archive; only its
    // file name is used.
    std::filesystem::path source;
    // The stored destination folder while the header is read, then the full
    // resolved path of the file to write.
    std::filesystem::path destination;
    // An entry_kind value; unknown values pass through untouched.
    std::uint32_t kind = 0;
    std::uint64_t size = 0;
    std::uint32_t crc = 0;
};
