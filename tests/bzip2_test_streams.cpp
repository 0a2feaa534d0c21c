#include "bzip2_test_streams.h"
#include "tools/demo-payload/prng.h"

#include "payload/bzip2_block_scanner.h"
#include "payload/bzip2_compressor.h"
#include "payload/bzip2_decompressor.h"

#include <boost/iostreams/compose.hpp>
#include <boost/iostreams/copy.hpp>
#include <boost/iostreams/device/array.hpp>
#include <boost/iostreams/device/back_inserter.hpp>

#include <bzlib.h>

#include <algorithm>
#include <stdexcept>

namespace io = boost::iostreams;

namespace bzip2_test {

namespace {

void append_bits(std::vector<bool>& bits, std::uint64_t value, unsigned count)
{
    for (unsigned i = count; i-- > 0;)
        bits.push_back((value >> i) & 1);
}

} // namespace

std::string random_bytes(std::size_t size, std::uint64_t seed)
{
    prng rng(seed);
    std::string out(size, '\0');
    for (char& c : out)
        c = static_cast<char>(rng.next() >> 56);
    return out;
}

std::string text_bytes(std::size_t size, std::uint64_t seed)
{
    prng rng(seed);
    static const char* const words[] = {"table", "chair", "leg", "oak", "walnut", "joint", "mortise", "tenon",
                                        "drawer", "shelf", "veneer", "glue", "screw", "dowel", "finish", "edge"};
    std::string out;
    out.reserve(size + 16);
    while (out.size() < size) {
        out += words[rng.below(16)];
        const unsigned p = rng.below(10);
        if (p == 0)
            out += std::to_string(rng.below(10000));
        out += p == 1 ? "\r\n" : " ";
    }
    out.resize(size);
    return out;
}

std::string compress(const std::string& data, int level) { return bzip2_compress(data, level); }

block_bits crafted_block(const unsigned char (&inside)[6], std::size_t symbol_count, std::uint64_t seed)
{
    if (symbol_count < 20)
        throw std::invalid_argument("crafted_block: too few symbols");
    // Byte values 0 to 253 are in use, so the alphabet has 256 symbols:
    // RUNA (0), RUNB (1), move-to-front positions 1 to 253 (2 to 254) and the
    // end of block (255). With every code 8 bits long, the canonical code of
    // each symbol is its own value, so symbols are written as plain bytes.
    prng rng(seed);
    std::vector<unsigned> symbols(symbol_count);
    for (unsigned& s : symbols)
        s = 2 + rng.below(253);
    const std::size_t at = symbol_count / 2;
    for (std::size_t i = 0; i < 6; ++i) {
        if (inside[i] < 2 || inside[i] > 254)
            throw std::invalid_argument("crafted_block: byte is no move-to-front symbol");
        symbols[at + i] = inside[i];
    }

    block_bits block;
    std::vector<bool>& bits = block.bits;
    append_bits(bits, bzip2_block_magic, 48);
    append_bits(bits, 0, 32); // the CRC, filled in below
    append_bits(bits, 0, 1);  // not randomised
    append_bits(bits, rng.below(static_cast<unsigned>(symbol_count)), 24); // the sorting transform's origin
    append_bits(bits, 0xFFFF, 16); // every group of 16 byte values has some in use
    for (int group = 0; group < 15; ++group)
        append_bits(bits, 0xFFFF, 16);
    append_bits(bits, 0xFFFC, 16); // 240 to 253
    append_bits(bits, 2, 3);       // two coding tables, the least allowed
    const std::size_t selectors = (symbols.size() + 1 + 49) / 50;
    append_bits(bits, selectors, 15);
    for (std::size_t i = 0; i < selectors; ++i)
        append_bits(bits, 0, 1); // always table 0
    for (int table = 0; table < 2; ++table) {
        append_bits(bits, 8, 5);
        for (int symbol = 0; symbol < 256; ++symbol)
            append_bits(bits, 0, 1); // length stays 8
    }
    for (unsigned s : symbols)
        append_bits(bits, s, 8);
    append_bits(bits, 255, 8);

    // libbz2 writes out all of a block before it compares the block's CRC,
    // so the wrong CRC above still yields what the block decodes to.
    std::string stream = make_stream({block}, 1);
    std::string data(symbol_count * 64, '\0'); // runs of five bytes become at most 259
    bz_stream z{};
    BZ2_bzDecompressInit(&z, 0, 0);
    z.next_in = stream.data();
    z.avail_in = static_cast<unsigned>(stream.size());
    z.next_out = data.data();
    z.avail_out = static_cast<unsigned>(data.size());
    if (BZ2_bzDecompress(&z) != BZ_DATA_ERROR)
        throw std::logic_error("crafted_block: libbz2 did not decode the block");
    data.resize(data.size() - z.avail_out);
    BZ2_bzDecompressEnd(&z);
    // The data compressed again is one block, whose CRC follows its magic
    // at a byte boundary.
    const std::string again = compress(data, 9);
    for (std::size_t i = 10; i < 14; ++i)
        block.crc = block.crc << 8 | static_cast<unsigned char>(again[i]);
    for (unsigned i = 0; i < 32; ++i)
        bits[48 + i] = (block.crc >> (31 - i)) & 1;
    return block;
}

std::string make_stream(const std::vector<block_bits>& blocks, int level)
{
    std::vector<bool> bits;
    append_bits(bits, 0x425A6830 + level, 32); // "BZh" and the block size digit
    std::uint32_t combined = 0;
    for (const block_bits& b : blocks) {
        bits.insert(bits.end(), b.bits.begin(), b.bits.end());
        combined = ((combined << 1) | (combined >> 31)) ^ b.crc;
    }
    append_bits(bits, bzip2_end_magic, 48);
    append_bits(bits, combined, 32);
    std::string bytes((bits.size() + 7) / 8, '\0');
    for (std::size_t i = 0; i < bits.size(); ++i)
        if (bits[i])
            bytes[i / 8] = static_cast<char>(bytes[i / 8] | (0x80 >> (i % 8)));
    return bytes;
}

decode_result reference_decode(const std::string& input)
{
    decode_result result;
    try {
        io::array_source source(input.data(), input.size());
        io::copy(io::compose(bzip2_decompressor(4096), source), io::back_inserter(result.data), 4096);
    } catch (const bzip2_error&) {
        result.failed = true;
        result.data.clear();
    }
    return result;
}

} // namespace bzip2_test
