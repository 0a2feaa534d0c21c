#include "payload/bzip2_block_scanner.h"

#include <array>
#include <cstring>

namespace {

constexpr std::uint64_t magic_mask = (std::uint64_t{1} << 48) - 1;

// A magic that ends in the newest byte of the window, r bits above its lowest
// bit, fills window bits r to r + 47. The byte before the newest then lies
// wholly inside the magic, so its value tells which of the sixteen
// (magic, r) pairs can match at all. The table maps that byte to a mask of
// those pairs: bit r for the block magic, bit 8 + r for the end magic.
// Most bytes of compressed data map to 0 and cost one look-up.
constexpr std::array<std::uint16_t, 256> make_filter()
{
    std::array<std::uint16_t, 256> table{};
    for (unsigned r = 0; r < 8; ++r) {
        table[(bzip2_block_magic >> (8 - r)) & 0xFF] |= std::uint16_t(1u << r);
        table[(bzip2_end_magic >> (8 - r)) & 0xFF] |= std::uint16_t(1u << (8 + r));
    }
    return table;
}

constexpr std::array<std::uint16_t, 256> filter = make_filter();

} // namespace

void bzip2_block_scanner::scan(const unsigned char* data, std::size_t n, std::vector<bzip2_boundary>& found)
{
    std::uint64_t window = window_;
    for (std::size_t i = 0; i < n; ++i) {
        window = (window << 8) | data[i];
        const std::uint16_t possible = filter[(window >> 8) & 0xFF];
        if (possible == 0) [[likely]]
            continue;
        // Bits scanned up to and including this byte.
        const std::uint64_t end_bit = (position_ + i + 1) * 8;
        // Lower start positions first: a larger r starts earlier.
        for (int r = 7; r >= 0; --r) {
            const std::uint64_t start = end_bit - 48 - unsigned(r);
            if (end_bit < 48 + unsigned(r))
                continue; // the window does not hold that many bits yet
            const std::uint64_t bits = (window >> r) & magic_mask;
            if ((possible >> r) & 1 && bits == bzip2_block_magic)
                found.push_back({start, bzip2_boundary::block});
            else if ((possible >> (8 + r)) & 1 && bits == bzip2_end_magic)
                found.push_back({start, bzip2_boundary::end});
        }
    }
    window_ = window;
    position_ += n;
}

std::uint64_t read_bits(const unsigned char* data, std::uint64_t bit, unsigned count) noexcept
{
    const unsigned char* p = data + bit / 8;
    const unsigned skip = unsigned(bit % 8);
    const unsigned bytes = (skip + count + 7) / 8;
    std::uint64_t value = 0;
    for (unsigned i = 0; i < bytes; ++i)
        value = (value << 8) | p[i];
    value >>= bytes * 8 - skip - count;
    return count == 64 ? value : value & ((std::uint64_t{1} << count) - 1);
}

void copy_bits(const unsigned char* source, unsigned first_bit, std::uint64_t bit_count,
               unsigned char* destination) noexcept
{
    const std::size_t full = std::size_t(bit_count / 8);
    const unsigned rest = unsigned(bit_count % 8);
    const unsigned shift = first_bit % 8;
    source += first_bit / 8;
    if (shift == 0) {
        std::memcpy(destination, source, full);
    } else {
        // Byte i of the result takes the low bits of source byte i and the
        // high bits of the next one; that next byte exists because the copy
        // starts shift bits into the first.
        for (std::size_t i = 0; i < full; ++i)
            destination[i] = static_cast<unsigned char>((source[i] << shift) | (source[i + 1] >> (8 - shift)));
    }
    if (rest != 0) {
        unsigned value = unsigned(source[full]) << shift;
        if (shift + rest > 8)
            value |= source[full + 1] >> (8 - shift);
        destination[full] = static_cast<unsigned char>(value & (0xFFu << (8 - rest)));
    }
}
