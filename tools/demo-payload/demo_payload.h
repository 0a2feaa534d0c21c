#pragma once
// Generates the demo payload: the staging folder with every file of the
// layout (built binaries copied, data generated from the seed), its packer
// manifest, and the compressed archive that the installer embeds.

#include <cstdint>
#include <filesystem>
#include <map>
#include <string>

struct demo_payload_options {
    // Receives manifest.txt and the files below it, by their source paths.
    // Everything else in it is removed.
    std::filesystem::path staging_folder;
    // The bzip2 archive.
    std::filesystem::path archive;
    // The built binaries by file name ("Tablewright.exe"): exactly those of
    // demo_payload_binaries().
    std::map<std::string, std::filesystem::path> binaries;
    std::uint64_t seed = 0;
    unsigned threads = 0; // 0: one per processor
};

struct demo_payload_summary {
    std::size_t entries = 0;
    std::uint64_t header_length = 0;
    std::uint64_t archive_length = 0;
    std::uint64_t compressed_length = 0;
};

// Raises std::runtime_error (or the packer's manifest_error) on any problem;
// the archive is then left as it was.
demo_payload_summary generate_demo_payload(const demo_payload_options& options);
