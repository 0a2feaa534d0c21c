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

#include <cstdint>
#include <string_view>

namespace io = boost::iostreams;
using namespace bzip2_test;

namespace {

// A source that hands out at most `piece` bytes per read, so that blocks and
// magics straddle the decoder's input segments anywhere.
struct trickle_source {
    using char_type = char;
    using category = io::source_tag;
    std::string_view* rest;
    std::size_t piece;

    std::streamsize read(char* s, std::streamsize n)
    {
        if (rest->empty())
            return -1;
        const std::size_t count = std::min({static_cast<std::size_t>(n), piece, rest->size()});
        std::copy_n(rest->data(), count, s);
        rest->remove_prefix(count);
        return static_cast<std::streamsize>(count);
    }
};

struct parallel_result : decode_result {
    parallel_bzip2_statistics statistics;
};

parallel_result parallel_decode(const std::string& input, unsigned threads = 2, unsigned in_flight = 0,
                                std::size_t piece = SIZE_MAX)
{
    parallel_bzip2_settings settings;
    settings.threads = threads;
    settings.blocks_in_flight = in_flight;
    parallel_bzip2_decompressor filter(std::move(settings));
    parallel_result result;
    std::string_view rest = input;
    try {
        io::copy(io::compose(filter, trickle_source{&rest, piece}), io::back_inserter(result.data), 4096);
    } catch (const bzip2_error&) {
        result.failed = true;
        result.data.clear();
    }
    result.statistics = filter.statistics();
    return result;
}

// Returns whether the input was rejected.
bool expect_same_as_libbz2(const std::string& input, const std::string& what, unsigned threads = 2,
                           unsigned in_flight = 0, std::size_t piece = SIZE_MAX)
{
    const decode_result expected = reference_decode(input);
    const parallel_result got = parallel_decode(input, threads, in_flight, piece);
    EXPECT_EQ(got.failed, expected.failed) << what;
    EXPECT_TRUE(got.data == expected.data) << what << ": " << got.data.size() << " bytes instead of "
                                           << expected.data.size();
    return got.failed;
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
    for (const auto kind : {bzip2_boundary::block, bzip2_boundary::end}) {
        const std::uint64_t magic = kind == bzip2_boundary::block ? bzip2_block_magic : bzip2_end_magic;
        for (std::uint64_t shift = 0; shift <= 16; ++shift) {
            // Eight bytes, zero but for the magic from bit shift on.
            std::string data;
            for (int i = 7; i >= 0; --i)
                data += static_cast<char>((magic << (16 - shift)) >> (8 * i));
            for (std::size_t piece : {1, 3, 8})
                EXPECT_EQ(scan_in_pieces(data, piece), (std::vector<bzip2_boundary>{{shift, kind}}))
                    << "bit " << shift << ", pieces of " << piece;
            // Cut off by the end, it is not found.
            EXPECT_TRUE(scan_in_pieces(data.substr(0, (shift + 47) / 8), 8).empty()) << "bit " << shift;
        }
    }
}

TEST(ParallelBzip2, DecodesLikeLibbz2AtEverySizeWithAnyThreadsAndInputPieces)
{
    // Block size 1 (100 kB blocks) keeps this fast and still crosses block
    // boundaries at and around the sizes where the compressor splits. Each
    // size is given in other pieces to other numbers of threads.
    struct case_ {
        std::size_t size;
        unsigned threads, in_flight;
        std::size_t piece;
    };
    const case_ cases[] = {{0, 1, 1, SIZE_MAX},      {1, 2, 0, 1},          {1000, 8, 7, 5},
                           {99'981, 3, 1, 997},      {99'982, 2, 2, 65536}, {100'001, 8, 1, 997},
                           {199'963, 1, 1, 4096},    {750'001, 3, 7, 997}};
    for (const case_& c : cases) {
        SCOPED_TRACE(std::to_string(c.size) + " bytes, " + std::to_string(c.threads) + " threads, " +
                     std::to_string(c.in_flight) + " in flight, pieces of " + std::to_string(c.piece));
        for (const std::string& data : {random_bytes(c.size, c.size), text_bytes(c.size, c.size)})
            expect_same_as_libbz2(compress(data, 1), "random, then text", c.threads, c.in_flight, c.piece);
    }
    // Around the 900 kB boundary of block size 9.
    const std::string text = text_bytes(1'800'000, 11);
    for (std::size_t size : {899'981, 899'982, 1'799'964})
        expect_same_as_libbz2(compress(text.substr(0, size), 9), "text " + std::to_string(size));

    const std::string a = text_bytes(250'000, 1), b = random_bytes(120'000, 2), c = text_bytes(10, 3);
    expect_same_as_libbz2(compress(a, 1) + compress(b, 9) + compress("", 4) + compress(c, 2), "four streams");
    expect_same_as_libbz2(compress("", 9) + compress("", 9), "two empty streams");
}

TEST(ParallelBzip2, RejectsCutTrailingAndDamagedInputLikeLibbz2)
{
    // Five blocks of block size 1.
    const std::string good = compress(text_bytes(300'000, 9) + random_bytes(150'000, 9), 1);
    std::vector<std::pair<std::string, std::string>> cases = {
        {"", "empty input"},
        {"BZh9", "header only"},
        {"BZh0" + good.substr(4), "block size digit 0"},
        {"XZh1" + good.substr(4), "wrong signature"},
        {good.substr(0, good.size() - 1), "last byte missing"},
        {good.substr(0, good.size() - 5), "stream CRC missing"},
        {good.substr(0, good.size() / 2), "cut in the middle"},
        {good.substr(0, 20), "cut in the first block"},
        {good + "x", "one byte after the stream"},
        {good + "B", "the first byte of another header"},
        {good + "BZh9", "another header without a stream"},
        {good + good.substr(0, good.size() / 2), "another stream cut short"},
    };
    // A byte inverted in the header, in the first block's magic, CRC and
    // tables, all over the data, in the end magic and in the stream CRC.
    std::vector<std::size_t> positions = {2,  3,  4,  9,  10, 12, 20, good.size() - 10, good.size() - 5,
                                          good.size() - 1};
    for (std::size_t i = good.size() / 40; i < good.size(); i += good.size() / 40)
        positions.push_back(i);
    for (std::size_t p : positions) {
        cases.emplace_back(good, "byte " + std::to_string(p) + " inverted");
        cases.back().first[p] = static_cast<char>(~good[p]);
    }
    for (const auto& [input, what] : cases)
        EXPECT_TRUE(expect_same_as_libbz2(input, what)) << what << " accepted";
}

TEST(ParallelBzip2, JoinsBlocksCutAtAMagicThatOccursInsideTheData)
{
    static const unsigned char block_magic[6] = {0x31, 0x41, 0x59, 0x26, 0x53, 0x59};
    static const unsigned char end_magic[6] = {0x17, 0x72, 0x45, 0x38, 0x50, 0x90};
    static const unsigned char plain[6] = {'p', 'l', 'a', 'i', 'n', '.'};
    const block_bits normal = crafted_block(plain, 20000, 4);
    const block_bits with_block_magic = crafted_block(block_magic, 5000, 1);
    const block_bits with_end_magic = crafted_block(end_magic, 700, 2);
    const block_bits long_with_block_magic = crafted_block(block_magic, 30000, 3);
    const std::vector<block_bits> blocks = {normal,         with_block_magic,      normal,
                                            with_end_magic, long_with_block_magic, normal};
    const std::string stream = make_stream(blocks, 1);

    // The stream is valid, and the magics are there to be found.
    const decode_result reference = reference_decode(stream);
    ASSERT_FALSE(reference.failed);
    EXPECT_EQ(scan_in_pieces(stream, stream.size()).size(), blocks.size() + 1 + 3);

    for (unsigned threads : {1u, 2u, 4u}) {
        const parallel_result got = parallel_decode(stream, threads);
        ASSERT_FALSE(got.failed) << threads;
        EXPECT_TRUE(got.data == reference.data) << threads;
        EXPECT_EQ(got.statistics.blocks, blocks.size()) << threads;
        EXPECT_GE(got.statistics.retries, 3u) << threads;
    }
    // The last block of a stream carrying an end magic inside.
    expect_same_as_libbz2(make_stream({normal, with_end_magic}, 1), "end magic in the last block");
    // A damaged byte after the magic inside a block (which sits in its
    // middle, 2,500 bytes on) is still an error.
    std::string damaged = make_stream({with_block_magic, normal}, 1);
    damaged[4 + with_block_magic.bits.size() / 8 - 1000] ^= 0x10;
    EXPECT_TRUE(expect_same_as_libbz2(damaged, "damage behind a magic inside a block"));
}

TEST(ParallelBzip2, StartsMoreThreadsWhenWantedMidStreamAndStillDecodesLikeLibbz2)
{
    // One thread for the first blocks, three from the third on, then one
    // again: the threads once started stay, and the output does not change.
    const std::string input = compress(text_bytes(1'000'000, 5), 1);
    unsigned asked = 0;
    parallel_bzip2_settings settings;
    settings.threads = 1;
    settings.threads_wanted = [&asked] { return ++asked >= 3 && asked < 6 ? 3u : 1u; };
    parallel_bzip2_decompressor filter(std::move(settings));
    std::string output;
    io::copy(io::compose(filter, io::array_source(input.data(), input.size())), io::back_inserter(output), 4096);
    EXPECT_TRUE(output == reference_decode(input).data);
    EXPECT_GE(asked, 6u);
    EXPECT_EQ(filter.statistics().threads, 3u);
}
