#pragma once
// Finds where the blocks of a bzip2 stream begin without decoding them.
//
// A bzip2 stream is a 4-byte header ("BZh1" to "BZh9") followed by a
// bit-packed sequence of blocks, each introduced by the 48-bit magic
// 0x314159265359, and ends with the 48-bit magic 0x177245385090, the 32-bit
// CRC of the whole stream and padding to a byte. Blocks are not byte aligned,
// so the magics are searched at every bit offset. The same bit patterns may
// also occur by chance inside compressed data: every position found is a
// candidate that only a successful decode confirms.

#include <cstddef>
#include <cstdint>
#include <vector>

inline constexpr std::uint64_t bzip2_block_magic = 0x314159265359;
inline constexpr std::uint64_t bzip2_end_magic = 0x177245385090;

// A candidate position of a magic, in bits from the start of the input.
struct bzip2_boundary {
    enum kind_type : std::uint8_t { block, end };
    std::uint64_t bit = 0;
    kind_type kind = block;

    friend bool operator==(const bzip2_boundary&, const bzip2_boundary&) = default;
};

class bzip2_block_scanner {
public:
    // Scans bytes that continue the input and appends, in order of position,
    // every occurrence of either magic that ends within them.
    void scan(const unsigned char* data, std::size_t n, std::vector<bzip2_boundary>& found);

    // Bytes scanned so far; every magic that lies entirely below
    // 8 * bytes_scanned() bits has been reported.
    std::uint64_t bytes_scanned() const noexcept { return position_; }

private:
    std::uint64_t window_ = 0; // the last eight bytes, the newest in the low bits
    std::uint64_t position_ = 0;
};

// Reads count (at most 57) bits at bit offset from a byte buffer, most
// significant bit first, as bzip2 packs them. The caller makes sure that the
// bits lie inside the buffer.
std::uint64_t read_bits(const unsigned char* data, std::uint64_t bit, unsigned count) noexcept;

// Copies bit_count bits starting at bit offset first_bit of source to the
// byte-aligned start of destination. The last destination byte is filled
// with zero bits. destination holds at least (bit_count + 7) / 8 bytes.
void copy_bits(const unsigned char* source, unsigned first_bit, std::uint64_t bit_count,
               unsigned char* destination) noexcept;
