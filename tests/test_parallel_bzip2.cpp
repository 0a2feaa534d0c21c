// The parallel bzip2 decoder against libbz2: the same output for streams of
// every shape, the same verdict for damaged and cut streams, and magics that
// occur by chance inside blocks.
// Portable: built natively by tools/ and for Windows (run under Wine).

#include "bzip2_test_streams.h"
#include "payload/bzip2_block_scanner.h"
#include "payload/parallel_bzip2.h"

#include <gtest/gtest.h>

#include <boost/iostreams/compose.hpp>
#include <boost/iostreams/copy.hpp>
#include <boost/iostreams/device/array.hpp>
#include <boost/iostreams/device/back_inserter.hpp>
#include <boost/iostreams/device/null.hpp>

#include <atomic>
#include <cstdlib>
#include <new>
#include <thread>


namespace io = boost::iostreams;
using namespace bzip2_test;

namespace {

// A source that hands out at most `piece` bytes per read, so that blocks and
// magics straddle the decoder's input segments anywhere, and counts in given
// what it handed out.
class trickle_source {
public:
    using char_type = char;
    using category = io::source_tag;
    trickle_source(const std::string& data, std::size_t piece, std::size_t& given)
        : data_(&data), piece_(piece), given_(&given)
    {
    }
    std::streamsize read(char* s, std::streamsize n)
    {
        if (*given_ == data_->size())
            return -1;
        const std::size_t count = std::min({static_cast<std::size_t>(n), piece_, data_->size() - *given_});
        std::copy_n(data_->data() + *given_, count, s);
        *given_ += count;
        return static_cast<std::streamsize>(count);
    }

private:
    const std::string* data_;
    std::size_t piece_;
    std::size_t* given_;
};

struct parallel_result {
    bool failed = false;
    std::string data;
    parallel_bzip2_statistics statistics;
};

parallel_result parallel_decode(const std::string& input, parallel_bzip2_settings settings = {},
                                std::size_t piece = 0)
{
    parallel_result result;
    parallel_bzip2_decompressor filter(std::move(settings));
    try {
        if (piece == 0) {
            io::array_source source(input.data(), input.size());
            io::copy(io::compose(filter, source), io::back_inserter(result.data), 4096);
        } else {
            std::size_t given = 0;
            trickle_source source(input, piece, given);
            io::copy(io::compose(filter, source), io::back_inserter(result.data), 4096);
        }
    } catch (const bzip2_error&) {
        result.failed = true;
        result.data.clear();
    }
    result.statistics = filter.statistics();
    return result;
}

parallel_bzip2_settings with_threads(unsigned threads, unsigned in_flight = 0)
{
    parallel_bzip2_settings s;
    s.threads = threads;
    s.blocks_in_flight = in_flight;
    return s;
}

void expect_same_as_libbz2(const std::string& input, const std::string& what,
                           parallel_bzip2_settings settings = with_threads(2), std::size_t piece = 0)
{
    const decode_result expected = reference_decode(input);
    const parallel_result got = parallel_decode(input, std::move(settings), piece);
    EXPECT_EQ(got.failed, expected.failed) << what;
    EXPECT_TRUE(got.data == expected.data) << what << ": " << got.data.size() << " bytes instead of "
                                           << expected.data.size();
}

std::vector<bzip2_boundary> scan_in_pieces(const std::string& data, std::size_t piece)
{
    bzip2_block_scanner scanner;
    std::vector<bzip2_boundary> found;
    for (std::size_t i = 0; i < data.size(); i += piece)
        scanner.scan(reinterpret_cast<const unsigned char*>(data.data()) + i, std::min(piece, data.size() - i),
                     found);
    return found;
}

} // namespace

TEST(Bzip2BlockScanner, FindsBothMagicsAtEveryBitOffsetAcrossPieces)
{
    // Random bytes with a magic written at each of sixteen bit positions.
    std::string data = random_bytes(4000, 7);
    auto* bytes = reinterpret_cast<unsigned char*>(data.data());
    std::vector<bzip2_boundary> placed;
    for (unsigned k = 0; k < 16; ++k) {
        const std::uint64_t bit = 1000 + k * 1500 + k % 8;
        const std::uint64_t magic = k % 2 ? bzip2_end_magic : bzip2_block_magic;
        for (unsigned i = 0; i < 48; ++i) {
            const std::uint64_t b = bit + i;
            const auto mask = static_cast<unsigned char>(0x80u >> (b % 8));
            if ((magic >> (47 - i)) & 1)
                bytes[b / 8] |= mask;
            else
                bytes[b / 8] &= static_cast<unsigned char>(~mask);
        }
        placed.push_back({bit, k % 2 ? bzip2_boundary::end : bzip2_boundary::block});
    }
    for (std::size_t piece : {data.size(), std::size_t(1), std::size_t(5), std::size_t(4096 / 3)})
        EXPECT_EQ(scan_in_pieces(data, piece), placed) << "pieces of " << piece;
    // A magic at bit 0 is found too, and one cut off by the end is not.
    std::string edge(6, '\0');
    for (int i = 0; i < 6; ++i)
        edge[std::size_t(i)] = static_cast<char>(bzip2_block_magic >> (40 - 8 * i));
    EXPECT_EQ(scan_in_pieces(edge, 1), (std::vector<bzip2_boundary>{{0, bzip2_boundary::block}}));
    EXPECT_TRUE(scan_in_pieces(edge.substr(0, 5), 5).empty());
}

TEST(Bzip2BlockScanner, ReadsAndMovesBitsAtAnyOffset)
{
    const std::string data = random_bytes(64, 3);
    const auto* bytes = reinterpret_cast<const unsigned char*>(data.data());
    for (unsigned offset = 0; offset < 8; ++offset) {
        for (std::uint64_t count : {0u, 1u, 7u, 8u, 9u, 57u, 200u, 495u}) {
            std::vector<unsigned char> moved((count + 7) / 8 + 1, 0xAA);
            copy_bits(bytes, offset, count, moved.data());
            for (std::uint64_t i = 0; i < count; ++i)
                ASSERT_EQ(read_bits(moved.data(), i, 1), read_bits(bytes, offset + i, 1))
                    << "offset " << offset << " count " << count << " bit " << i;
            if (count % 8) {
                EXPECT_EQ(moved[count / 8] & (0xFF >> (count % 8)), 0) << "padding is zero";
            }
            EXPECT_EQ(moved[(count + 7) / 8], 0xAA) << "nothing written past the end";
        }
    }
    EXPECT_EQ(read_bits(bytes, 4, 12), ((std::uint64_t(bytes[0]) << 8 | bytes[1]) & 0x0FFF));
}

TEST(ParallelBzip2, DecodesLikeLibbz2AtEverySizeAroundTheBlockSize)
{
    // Block size 1 (100 kB blocks) keeps this fast and still crosses block
    // boundaries at and around the sizes where the compressor splits.
    for (std::size_t size : {std::size_t(0), std::size_t(1), std::size_t(2), std::size_t(1000),
                             std::size_t(99980), std::size_t(99981), std::size_t(99982), std::size_t(100000),
                             std::size_t(100001), std::size_t(199962), std::size_t(199963), std::size_t(750001)}) {
        expect_same_as_libbz2(compress(random_bytes(size, size), 1), "random " + std::to_string(size));
        expect_same_as_libbz2(compress(text_bytes(size, size), 1), "text " + std::to_string(size));
    }
}

TEST(ParallelBzip2, DecodesLargeStreamsOfBlockSizeNine)
{
    // Around the 900 kB block boundary, and many blocks of each kind of data.
    const std::string text = text_bytes(6'000'000, 11);
    for (std::size_t size : {std::size_t(899'981), std::size_t(899'982), std::size_t(900'000),
                             std::size_t(1'799'964), std::size_t(6'000'000)})
        expect_same_as_libbz2(compress(text.substr(0, size), 9), "text " + std::to_string(size));
    expect_same_as_libbz2(compress(random_bytes(3'000'000, 5), 9), "random 3 MB");
    expect_same_as_libbz2(compress(run_bytes(3'000'000, 5), 9), "runs 3 MB");
}

TEST(ParallelBzip2, GivesTheSameResultWithAnyThreadsInputPiecesAndBlocksInFlight)
{
    const std::string input = compress(text_bytes(1'500'000, 2) + random_bytes(300'000, 2), 1);
    const decode_result expected = reference_decode(input);
    ASSERT_FALSE(expected.failed);
    for (unsigned threads : {1u, 2u, 3u, 8u})
        for (unsigned in_flight : {1u, 2u, 7u})
            for (std::size_t piece : {std::size_t(0), std::size_t(997), std::size_t(65536)}) {
                const parallel_result got = parallel_decode(input, with_threads(threads, in_flight), piece);
                ASSERT_FALSE(got.failed) << threads << " threads, " << in_flight << " in flight, " << piece;
                ASSERT_TRUE(got.data == expected.data) << threads << " threads, " << in_flight << " in flight";
                EXPECT_EQ(got.statistics.threads, threads);
            }
}

TEST(ParallelBzip2, DecodesConcatenatedStreamsOfDifferentBlockSizes)
{
    const std::string a = text_bytes(250'000, 1), b = random_bytes(120'000, 2), c = text_bytes(10, 3);
    expect_same_as_libbz2(compress(a, 1) + compress(b, 9) + compress("", 4) + compress(c, 2), "four streams");
    expect_same_as_libbz2(compress("", 9) + compress("", 9), "two empty streams");
    const parallel_result got = parallel_decode(compress(a, 1) + compress(b, 9));
    EXPECT_TRUE(got.data == a + b);
}

TEST(ParallelBzip2, RejectsEmptyCutAndTrailingInputLikeLibbz2)
{
    const std::string good = compress(text_bytes(450'000, 4), 1);
    expect_same_as_libbz2("", "empty input");
    expect_same_as_libbz2("B", "one byte");
    expect_same_as_libbz2("BZh9", "header only");
    expect_same_as_libbz2("BZh0" + good.substr(4), "block size digit 0");
    expect_same_as_libbz2("XZh1" + good.substr(4), "wrong signature");
    expect_same_as_libbz2(good.substr(0, good.size() - 1), "last byte missing");
    expect_same_as_libbz2(good.substr(0, good.size() - 5), "stream CRC missing");
    expect_same_as_libbz2(good.substr(0, good.size() / 2), "cut in the middle");
    expect_same_as_libbz2(good.substr(0, 20), "cut in the first block");
    expect_same_as_libbz2(good + "x", "one byte after the stream");
    expect_same_as_libbz2(good + "B", "the first byte of another header");
    expect_same_as_libbz2(good + "BZh9", "another header without a stream");
    expect_same_as_libbz2(good + std::string(good.data(), good.size() / 2), "another stream cut short");
    for (const std::string& bad : {std::string(""), good.substr(0, good.size() - 1), good + "x"})
        EXPECT_TRUE(parallel_decode(bad).failed);
}

TEST(ParallelBzip2, RejectsADamagedByteWhereverItIs)
{
    // Five blocks of block size 1; a byte is inverted at positions in the
    // header, in each block's magic, CRC and data, at the block joints, in
    // the end magic and in the stream CRC.
    const std::string good = compress(text_bytes(300'000, 9) + random_bytes(150'000, 9), 1);
    const auto blocks = split_blocks(good);
    ASSERT_EQ(blocks.size(), 5u);
    std::vector<std::size_t> positions = {0, 2, 3, 4, 9, 10, 12, good.size() - 10, good.size() - 8,
                                          good.size() - 5, good.size() - 2, good.size() - 1};
    std::uint64_t bit = 32;
    for (const block_bits& b : blocks) {
        for (std::uint64_t offset : {0u, 3u, 6u, 8u, 11u, 14u, 20u, 40u})
            positions.push_back(std::size_t((bit + offset * 8) / 8));
        positions.push_back(std::size_t((bit + b.bits.size() / 2) / 8));
        positions.push_back(std::size_t((bit + b.bits.size()) / 8 - 1));
        bit += b.bits.size();
    }
    for (std::size_t i = 0; i < good.size(); i += good.size() / 40)
        positions.push_back(i);
    for (std::size_t p : positions) {
        std::string damaged = good;
        damaged[p] = static_cast<char>(~damaged[p]);
        expect_same_as_libbz2(damaged, "byte " + std::to_string(p) + " of " + std::to_string(good.size()),
                              with_threads(3));
    }
}

TEST(ParallelBzip2, JoinsBlocksCutAtAMagicThatOccursInsideTheData)
{
    static const unsigned char block_magic[6] = {0x31, 0x41, 0x59, 0x26, 0x53, 0x59};
    static const unsigned char end_magic[6] = {0x17, 0x72, 0x45, 0x38, 0x50, 0x90};
    const auto normal = split_blocks(compress(text_bytes(250'000, 6), 1));
    ASSERT_EQ(normal.size(), 3u);

    const block_bits with_block_magic = crafted_block(block_magic, 5000, 1);
    const block_bits with_end_magic = crafted_block(end_magic, 700, 2);
    const block_bits long_with_block_magic = crafted_block(block_magic, 30000, 3);
    const std::vector<block_bits> blocks = {normal[0], with_block_magic, normal[1], with_end_magic,
                                            long_with_block_magic, normal[2]};
    const std::string stream = make_stream(blocks, 1);

    // The stream is valid, and the magics are there to be found.
    const decode_result reference = reference_decode(stream);
    ASSERT_FALSE(reference.failed);
    EXPECT_TRUE(reference.data.find(with_block_magic.data) != std::string::npos);
    std::vector<bzip2_boundary> found;
    bzip2_block_scanner().scan(reinterpret_cast<const unsigned char*>(stream.data()), stream.size(), found);
    EXPECT_EQ(found.size(), blocks.size() + 1 + 3);

    for (unsigned threads : {1u, 2u, 4u}) {
        const parallel_result got = parallel_decode(stream, with_threads(threads));
        ASSERT_FALSE(got.failed) << threads;
        EXPECT_TRUE(got.data == reference.data) << threads;
        EXPECT_EQ(got.statistics.blocks, blocks.size()) << threads;
        EXPECT_GE(got.statistics.retries, 3u) << threads;
    }
    // The last block of a stream carrying an end magic inside.
    expect_same_as_libbz2(make_stream({normal[0], with_end_magic}, 1), "end magic in the last block");
    // A damaged byte after the magic inside a block is still an error.
    std::string damaged = make_stream({with_block_magic, normal[1]}, 1);
    damaged[damaged.size() / 2 + 400] ^= 0x10;
    expect_same_as_libbz2(damaged, "damage behind a magic inside a block");
}
