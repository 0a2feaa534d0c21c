#pragma once
// Writing a payload archive from a checked manifest.

#include "manifest.h"

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

struct pack_result {
    std::uint64_t header_length = 0;
    std::uint64_t archive_length = 0;    // header and data, before compression
    std::uint64_t compressed_length = 0; // the bzip2 file
};

// Computes every file's size and CRC-32, then writes the header and the data
// as one bzip2 stream of block size 9. The archive is written beside output
// under a temporary name and renamed when complete: after a failure no
// output file is left behind. Failures raise manifest_error (naming the line
// of the file concerned) or std::runtime_error.
pack_result pack_archive(const std::vector<manifest_entry>& entries, const std::filesystem::path& output,
                         const std::string& manifest_name);
