#include "block_compressor.h"

#include <bzlib.h>

#include <algorithm>
#include <atomic>
#include <cstdint>
#include <stdexcept>
#include <thread>

namespace {

constexpr std::uint64_t block_magic = 0x314159265359ull;
constexpr std::uint64_t end_magic = 0x177245385090ull;
constexpr std::size_t stream_header_bytes = 4; // "BZh9"
constexpr std::size_t block_crc_offset = stream_header_bytes + 6;

// Bytes the first stage adds to a block for a run of length bytes of one
// value: up to three are copied, four or more become four and a count.
std::size_t run_bytes(unsigned length) noexcept
{
    return length < 4 ? length : 5;
}

// Writes bits most significant first, as bzip2 does.
class bit_writer {
public:
    void put(std::uint64_t value, unsigned bits)
    {
        while (bits > 0) {
            const unsigned take = std::min(bits, 8u);
            bits -= take;
            put_small(unsigned((value >> bits) & ((1u << take) - 1)), take);
        }
    }

    // Appends bits [first, first + count) of source.
    void put_range(const std::string& source, std::uint64_t first, std::uint64_t count)
    {
        const auto byte_at = [&](std::uint64_t index) { return unsigned(static_cast<unsigned char>(source[index])); };
        // Up to the next byte boundary of the source.
        while (count > 0 && first % 8 != 0) {
            put_small((byte_at(first / 8) >> (7 - first % 8)) & 1, 1);
            ++first;
            --count;
        }
        std::uint64_t index = first / 8;
        for (; count >= 8; ++index, count -= 8)
            put_small(byte_at(index), 8);
        if (count > 0)
            put_small(byte_at(index) >> (8 - count), unsigned(count));
    }

    // Pads the last byte with zero bits.
    std::string finish()
    {
        if (pending_bits_ > 0)
            out_.push_back(static_cast<char>(pending_ << (8 - pending_bits_)));
        pending_ = 0;
        pending_bits_ = 0;
        return std::move(out_);
    }

    void reserve(std::size_t bytes) { out_.reserve(bytes); }

private:
    void put_small(unsigned value, unsigned bits)
    {
        pending_ = (pending_ << bits) | value;
        pending_bits_ += bits;
        if (pending_bits_ >= 8) {
            pending_bits_ -= 8;
            out_.push_back(static_cast<char>((pending_ >> pending_bits_) & 0xFF));
            pending_ &= (1u << pending_bits_) - 1;
        }
    }

    std::string out_;
    unsigned pending_ = 0;
    unsigned pending_bits_ = 0;
};

std::uint64_t bits_at(const std::string& data, std::uint64_t first, unsigned count)
{
    std::uint64_t value = 0;
    for (unsigned i = 0; i < count; ++i) {
        const std::uint64_t bit = first + i;
        value = (value << 1) | ((static_cast<unsigned char>(data[bit / 8]) >> (7 - bit % 8)) & 1);
    }
    return value;
}

// One piece compressed as a stream of its own: its block's bits and CRC.
struct compressed_block {
    std::string stream;
    std::uint64_t first_bit = 0; // the block magic
    std::uint64_t bit_count = 0; // up to the end marker
    std::uint32_t crc = 0;
};

compressed_block compress_block(std::string_view piece, int block_size_100k)
{
    compressed_block block;
    unsigned capacity = unsigned(piece.size() + piece.size() / 100 + 600);
    block.stream.resize(capacity);
    const int rc = BZ2_bzBuffToBuffCompress(block.stream.data(), &capacity, const_cast<char*>(piece.data()),
                                            unsigned(piece.size()), block_size_100k, 0, 0);
    if (rc != BZ_OK)
        throw std::runtime_error("bzip2 compression failed (" + std::to_string(rc) + ")");
    block.stream.resize(capacity);

    const std::string& s = block.stream;
    if (s.size() < block_crc_offset + 4 + 10 || bits_at(s, stream_header_bytes * 8, 48) != block_magic)
        throw std::runtime_error("bzip2 block without its magic");
    block.crc = std::uint32_t(bits_at(s, block_crc_offset * 8, 32));
    block.first_bit = stream_header_bytes * 8;

    // A stream of one block ends with the end marker and that block's CRC as
    // the combined one, then zero bits up to the byte boundary.
    const std::uint64_t total_bits = std::uint64_t(s.size()) * 8;
    for (unsigned padding = 0; padding < 8; ++padding) {
        const std::uint64_t marker = total_bits - padding - 80;
        if (bits_at(s, marker, 48) == end_magic && bits_at(s, marker + 48, 32) == block.crc &&
            bits_at(s, total_bits - padding, padding) == 0) {
            block.bit_count = marker - block.first_bit;
            return block;
        }
    }
    throw std::runtime_error("a piece of the input did not compress to exactly one bzip2 block");
}

} // namespace

std::vector<std::size_t> bzip2_block_lengths(std::string_view data, int block_size_100k)
{
    if (block_size_100k < 1 || block_size_100k > 9)
        throw std::invalid_argument("bzip2 block size must be 1 to 9");
    // libbz2 (bzlib.c): a block holds at most 100000 * level - 19 bytes after
    // the first stage, which turns every run of 4 to 255 equal bytes into
    // four bytes and a count. It takes input while the block is below that
    // limit. The run still open when the block is full is not closed into
    // it: it begins the next block, which is what a fresh start at that run
    // gives too.
    const std::size_t limit = std::size_t(100000) * unsigned(block_size_100k) - 19;
    std::vector<std::size_t> lengths;
    std::size_t block_start = 0;
    std::size_t filled = 0;
    unsigned run_value = 256; // none
    unsigned run_length = 0;
    for (std::size_t i = 0; i < data.size(); ++i) {
        if (filled >= limit) {
            const std::size_t run_start = i - (run_value < 256 ? run_length : 0);
            lengths.push_back(run_start - block_start);
            block_start = run_start;
            filled = 0;
        }
        const unsigned c = static_cast<unsigned char>(data[i]);
        if (c != run_value && run_length == 1) {
            filled += 1;
            run_value = c;
        } else if (c != run_value || run_length == 255) {
            if (run_value < 256)
                filled += run_bytes(run_length);
            run_value = c;
            run_length = 1;
        } else {
            ++run_length;
        }
    }
    if (block_start < data.size())
        lengths.push_back(data.size() - block_start);
    return lengths;
}

std::string compress_bzip2_parallel(std::string_view data, int block_size_100k, unsigned threads)
{
    const std::vector<std::size_t> lengths = bzip2_block_lengths(data, block_size_100k);
    std::vector<std::string_view> pieces;
    for (std::size_t offset = 0; std::size_t length : lengths) {
        pieces.push_back(data.substr(offset, length));
        offset += length;
    }

    std::vector<compressed_block> blocks(pieces.size());
    if (threads == 0)
        threads = std::max(1u, std::thread::hardware_concurrency());
    threads = unsigned(std::min<std::size_t>(threads, std::max<std::size_t>(1, pieces.size())));
    std::atomic<std::size_t> next{0};
    std::exception_ptr failure;
    std::atomic<bool> failed{false};
    auto work = [&] {
        for (std::size_t index; !failed && (index = next++) < pieces.size();) {
            try {
                blocks[index] = compress_block(pieces[index], block_size_100k);
            } catch (...) {
                if (!failed.exchange(true))
                    failure = std::current_exception();
            }
        }
    };
    std::vector<std::thread> workers;
    for (unsigned i = 1; i < threads; ++i)
        workers.emplace_back(work);
    work();
    for (std::thread& worker : workers)
        worker.join();
    if (failure)
        std::rethrow_exception(failure);

    bit_writer out;
    std::size_t estimate = 16;
    for (const compressed_block& block : blocks)
        estimate += block.stream.size();
    out.reserve(estimate);
    out.put('B', 8);
    out.put('Z', 8);
    out.put('h', 8);
    out.put('0' + unsigned(block_size_100k), 8);
    std::uint32_t combined = 0;
    for (const compressed_block& block : blocks) {
        out.put_range(block.stream, block.first_bit, block.bit_count);
        combined = ((combined << 1) | (combined >> 31)) ^ block.crc;
    }
    out.put(end_magic, 48);
    out.put(combined, 32);
    return out.finish();
}
