#pragma once
// The payload archive: what the packer writes and the installer reads once the
// bzip2 layer is removed. Nothing here depends on Windows, so the packer (a
// native build tool) and the installer share one definition of the format.
//
// All integers are unsigned little-endian; strings are UTF-16LE code units
// preceded by their length in code units, without terminator.
//
//   offset 0   8 bytes   header length H, from offset 0 up to the first data byte
//   offset 8   4 bytes   entry count N
//   offset 12            N entry records, back to back
//   offset H             the data of entry 1, 2, ... N, concatenated in entry order
//
// Entry record, 24 + 2 S + 2 D bytes:
//   4 bytes S, 2 S bytes source path (only its file name is used),
//   4 bytes D, 2 D bytes destination folder (usually starting with a macro),
//   4 bytes kind, 8 bytes size, 4 bytes CRC-32 of the data.

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

// One entry record as stored.
struct archive_record {
    std::u16string source;
    std::u16string destination;
    std::uint32_t kind = 0;
    std::uint64_t size = 0;
    std::uint32_t crc = 0;
};

// Bytes before the first record: the header length and the entry count.
inline constexpr std::uint64_t archive_prefix_size = 12;
// Bytes of a record besides its two strings.
inline constexpr std::uint64_t archive_record_fixed_size = 24;

// Size of one record in the header.
std::uint64_t archive_record_size(const archive_record& record);

// H for these records: 12 plus the sum of the record sizes.
std::uint64_t archive_header_length(const std::vector<archive_record>& records);

// H followed by N and the records: everything that precedes the file data.
std::string encode_archive_header(const std::vector<archive_record>& records);

// H plus the sum of the sizes. Raises unexpected_error (compress category)
// when the sum does not fit in 64 bits.
std::uint64_t archive_total_length(std::uint64_t header_length, const std::vector<archive_record>& records);

// The standard reflected CRC-32 (IEEE 802.3, as zlib's crc32) of a buffer.
std::uint32_t crc32_of(const void* data, std::size_t size);

// A stored string as a path. Windows paths are UTF-16 already; elsewhere the
// text becomes UTF-8, with U+FFFD for a lone surrogate.
std::filesystem::path path_from_archive_string(const std::u16string& text);

// Collects the header from a stream of archive bytes that arrive in pieces of
// any size, and parses it once it is complete. Only the header is buffered,
// and only as fast as its bytes arrive, so a lying length field cannot make
// it allocate more than it has been given.
//
// A header that contradicts itself is rejected with unexpected_error
// (compress category): a length below 12, a count or string that runs past
// the header, or sizes whose sum overflows 64 bits. Bytes between the last
// record and H are ignored.
class archive_header_reader {
public:
    // Takes a prefix of the n bytes and returns how many it took: first just
    // the 8 bytes of the header length, then at most up to H. Takes nothing
    // once the header is complete.
    std::size_t feed(const char* bytes, std::size_t n);

    // The whole header has arrived and has been parsed.
    bool complete() const noexcept { return complete_; }

    // H, or 0 while its 8 bytes have not all arrived.
    std::uint64_t header_length() const noexcept { return header_length_; }

    // Header bytes received so far.
    std::uint64_t received() const noexcept { return received_; }

    // The parsed records; empty until complete.
    const std::vector<archive_record>& records() const noexcept { return records_; }

    // Hands the records over and frees the header buffer.
    std::vector<archive_record> take_records();

private:
    void parse();

    std::string buffer_;
    std::uint64_t header_length_ = 0;
    std::uint64_t received_ = 0;
    std::vector<archive_record> records_;
    bool complete_ = false;
};
