#pragma once
// The standard CRC-32 (IEEE 802.3, reflected, as zlib's crc32 and Boost's
// crc_32_type compute it) eight bytes at a time ("slicing by 8"). Boost's
// table-driven CRC takes one byte per step; the extraction reads back every
// file it writes on the interface thread, where a 17 MB program file would
// otherwise cost some 60 ms of unresponsive window.

#include <array>
#include <bit>
#include <cstddef>
#include <cstdint>
#include <cstring>

namespace crc32_detail {

using table_set = std::array<std::array<std::uint32_t, 256>, 8>;

constexpr table_set make_tables()
{
    table_set t{};
    for (std::uint32_t i = 0; i < 256; ++i) {
        std::uint32_t c = i;
        for (int k = 0; k < 8; ++k)
            c = c & 1 ? (c >> 1) ^ 0xEDB88320u : c >> 1;
        t[0][i] = c;
    }
    // Table k advances the CRC of a byte by k further zero bytes.
    for (std::size_t k = 1; k < 8; ++k)
        for (std::size_t i = 0; i < 256; ++i)
            t[k][i] = (t[k - 1][i] >> 8) ^ t[0][t[k - 1][i] & 0xFF];
    return t;
}

inline constexpr table_set tables = make_tables();

} // namespace crc32_detail

class crc32 {
public:
    void process_bytes(const void* data, std::size_t n) noexcept
    {
        const auto* p = static_cast<const unsigned char*>(data);
        std::uint32_t crc = state_;
        for (; n >= 8; p += 8, n -= 8) {
            std::uint32_t low, high;
            std::memcpy(&low, p, 4);
            std::memcpy(&high, p + 4, 4);
            low = from_little_endian(low) ^ crc;
            high = from_little_endian(high);
            crc = tables[7][low & 0xFF] ^ tables[6][(low >> 8) & 0xFF] ^ tables[5][(low >> 16) & 0xFF] ^
                  tables[4][low >> 24] ^ tables[3][high & 0xFF] ^ tables[2][(high >> 8) & 0xFF] ^
                  tables[1][(high >> 16) & 0xFF] ^ tables[0][high >> 24];
        }
        for (; n > 0; ++p, --n)
            crc = (crc >> 8) ^ tables[0][(crc ^ *p) & 0xFF];
        state_ = crc;
    }

    // The CRC of everything processed so far.
    std::uint32_t checksum() const noexcept { return ~state_; }

private:
    static constexpr std::uint32_t from_little_endian(std::uint32_t v) noexcept
    {
        if constexpr (std::endian::native == std::endian::big)
            return (v >> 24) | ((v >> 8) & 0xFF00) | ((v << 8) & 0xFF0000) | (v << 24);
        return v;
    }

    static constexpr const auto& tables = crc32_detail::tables;
    std::uint32_t state_ = 0xFFFFFFFFu;
};
