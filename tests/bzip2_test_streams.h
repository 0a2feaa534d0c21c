#pragma once
// bzip2 streams for the decoder tests: plain ones from libbz2, and streams
// put together block by block, among them blocks whose compressed bits
// contain a block or end-of-stream magic by design, which libbz2's own
// encoder would produce only by rare chance.

#include <cstdint>
#include <string>
#include <vector>

namespace bzip2_test {

// Deterministic content of a few kinds.
std::string random_bytes(std::size_t size, std::uint64_t seed);
// Words, numbers and line ends: compresses about 3:1.
std::string text_bytes(std::size_t size, std::uint64_t seed);

// One stream of data compressed by libbz2.
std::string compress(const std::string& data, int level = 9);

// The blocks of a stream as bit strings, for putting streams together.
struct block_bits {
    std::vector<bool> bits; // from its block magic to its last symbol
    std::uint32_t crc = 0;  // its stored CRC
};

// A valid block whose coded symbols carry the given six bytes verbatim,
// among symbol_count symbols in all (at least 20): every symbol is coded in
// 8 bits and the bytes go in at a byte boundary of the symbol data, so the
// stream holds them at whatever bit offset the block's header ends on.
block_bits crafted_block(const unsigned char (&inside)[6], std::size_t symbol_count, std::uint64_t seed);

// A stream of the given block size digit made of these blocks.
std::string make_stream(const std::vector<block_bits>& blocks, int level);

// What the classic single-threaded filter (bzip2_decompressor) makes of the
// input: the decoded bytes, or the error flag.
struct decode_result {
    bool failed = false;
    std::string data;
};
decode_result reference_decode(const std::string& input);

} // namespace bzip2_test
