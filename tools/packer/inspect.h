#pragma once
// Listing and verifying a payload archive, like tar -tv and tar -d.

#include "payload/archive_format.h"

#include <cstdint>
#include <filesystem>
#include <ostream>
#include <vector>

struct archive_overview {
    int block_size = 0; // of the bzip2 stream, 1 to 9
    std::uint64_t compressed_length = 0;
    std::uint64_t header_length = 0;
    std::vector<archive_record> records;
};

// Decodes the archive only as far as its header. Raises std::runtime_error
// (or bzip2_error, or the archive format's unexpected_error) when that fails.
archive_overview read_overview(const std::filesystem::path& archive);

// Header fields, then one line per entry: kind, size, CRC-32, destination
// file, source.
void print_listing(const archive_overview& overview, std::ostream& out);

// Decodes the whole archive and checks every header field (length, count,
// kinds, destinations, file names) and every entry's size and CRC-32, and
// that nothing follows the last entry. Prints one line per entry and one per
// problem; returns the number of problems.
int verify_archive(const std::filesystem::path& archive, std::ostream& out);
