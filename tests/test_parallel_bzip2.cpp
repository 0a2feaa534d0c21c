// The parallel bzip2 decoder against libbz2: the same output for streams of
// every shape, the same verdict for damaged and cut streams, magics that
// occur by chance inside blocks, bounded memory, and the waiting callback.
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

#ifdef _WIN32
#include <malloc.h>
#endif

namespace io = boost::iostreams;
using namespace bzip2_test;

// Memory exhaustion on demand: while set on a thread, every allocation of
// 64 kB or more through operator new fails there (the decoder's output
// chunks are 256 kB; libbz2's own state comes from malloc and is unaffected).
static thread_local bool fail_large_allocations = false;

// Through a pointer the compiler cannot see into, so that it does not pair
// this malloc with the runtime's operator delete (which frees with free).
static void* (*volatile heap_allocate)(std::size_t) = std::malloc;

void* operator new(std::size_t size)
{
    if (fail_large_allocations && size >= 64 * 1024)
        throw std::bad_alloc();
    if (void* p = heap_allocate(size ? size : 1))
        return p;
    throw std::bad_alloc();
}

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

TEST(ParallelBzip2, KeepsMemoryBoundedWhateverTheStreamLength)
{
    // Blocks in flight bound what is held: the same for 4 and for 16 MB, and
    // for a stream of long runs whose blocks expand a hundredfold.
    const std::string text = text_bytes(12'000'000, 21);
    const parallel_result small = parallel_decode(compress(text.substr(0, 4'000'000), 9), with_threads(2));
    const parallel_result large = parallel_decode(compress(text, 9), with_threads(2));
    ASSERT_FALSE(small.failed);
    ASSERT_FALSE(large.failed);
    EXPECT_LE(large.statistics.peak_buffered, 12u << 20);
    EXPECT_LE(large.statistics.peak_buffered, small.statistics.peak_buffered + (2u << 20));

    const std::string zeros(120'000'000, '\0');
    const std::string compressed = compress(zeros, 9);
    EXPECT_LT(compressed.size(), 100'000u);
    parallel_bzip2_decompressor filter(with_threads(2));
    io::array_source source(compressed.data(), compressed.size());
    std::streamsize total = io::copy(io::compose(filter, source), io::null_sink(), 4096);
    EXPECT_EQ(total, static_cast<std::streamsize>(zeros.size()));
    EXPECT_LE(filter.statistics().peak_buffered, 24u << 20);
}

TEST(ParallelBzip2, CallsTheWaitingCallbackOnTheReadingThreadAndTheStartCallbackOnEachWorker)
{
    const std::string input = compress(text_bytes(8'000'000, 8), 9);
    std::atomic<int> calls{0};
    std::atomic<bool> other_thread{false};
    const auto reader = std::this_thread::get_id();
    parallel_bzip2_settings settings = with_threads(2);
    settings.wait_slice = std::chrono::milliseconds(1);
    std::atomic<int> workers{0};
    std::atomic<bool> worker_on_reader{false};
    settings.worker_started = [&] {
        ++workers;
        if (std::this_thread::get_id() == reader)
            worker_on_reader = true;
    };
    settings.while_waiting = [&] {
        ++calls;
        if (std::this_thread::get_id() != reader)
            other_thread = true;
    };
    const parallel_result got = parallel_decode(input, std::move(settings));
    ASSERT_FALSE(got.failed);
    EXPECT_GT(calls.load(), 0);
    EXPECT_FALSE(other_thread.load());
    EXPECT_GT(got.statistics.waits, 0u);
    EXPECT_EQ(workers.load(), 2) << "each decoding thread announces itself once";
    EXPECT_FALSE(worker_on_reader.load());
}

TEST(ParallelBzip2, DecodesAgainAfterCloseAndStopsCleanlyHalfWay)
{
    const std::string first = text_bytes(1'000'000, 1), second = random_bytes(200'000, 2);
    const std::string a = compress(first, 1), b = compress(second, 1);
    parallel_bzip2_decompressor filter(with_threads(2));
    std::string out;
    io::array_source source_a(a.data(), a.size());
    io::copy(io::compose(filter, source_a), io::back_inserter(out));
    EXPECT_TRUE(out == first);
    out.clear();
    io::array_source source_b(b.data(), b.size());
    io::copy(io::compose(filter, source_b), io::back_inserter(out));
    EXPECT_TRUE(out == second);

    // Read a little, then drop the decoder with blocks still in flight.
    for (int i = 0; i < 5; ++i) {
        parallel_bzip2_decoder decoder(with_threads(2));
        std::size_t offset = 0;
        char buffer[100];
        for (int reads = 0; reads < 3;) {
            switch (decoder.next()) {
            case parallel_bzip2_decoder::step::output:
                decoder.take(buffer, sizeof buffer);
                ++reads;
                break;
            case parallel_bzip2_decoder::step::input: {
                const std::size_t n = std::min(decoder.input_capacity(), a.size() - offset);
                std::copy_n(a.data() + offset, n, decoder.input_space());
                offset += n;
                n ? decoder.input_arrived(n) : decoder.input_ended();
                break;
            }
            case parallel_bzip2_decoder::step::finished:
                FAIL();
            }
        }
    }
}

namespace {

// Bytes in use in the C runtime's heap (where libbz2's state comes from).
std::size_t heap_in_use()
{
#ifdef _WIN32
    std::size_t used = 0;
    _HEAPINFO entry{};
    while (_heapwalk(&entry) == _HEAPOK)
        if (entry._useflag == _USEDENTRY)
            used += entry._size;
    return used;
#else
    return 0;
#endif
}

} // namespace

// A worker that runs out of memory is no magic found by chance: the decoder
// does not join and decode again, it raises the exhaustion itself (which the
// extraction reports as an unexpected error, 7, not as a bzip2 error, 6), and
// libbz2's state of the failed block is given back.
TEST(ParallelBzip2, MemoryExhaustionInAWorkerIsReportedAsSuchAndLeaksNothing)
{
    const std::string input = compress(text_bytes(600'000, 5), 1);
    auto failing = [] {
        parallel_bzip2_settings settings = with_threads(1);
        settings.worker_started = [] { fail_large_allocations = true; };
        return settings;
    };
    {
        parallel_bzip2_decompressor filter(failing());
        io::array_source source(input.data(), input.size());
        std::string out;
        EXPECT_THROW(io::copy(io::compose(filter, source), io::back_inserter(out), 4096), std::bad_alloc);
        EXPECT_EQ(filter.statistics().retries, 0u) << "taken for a magic by chance";
    }

    // Many failed decodes leave the heap as it was (libbz2's state of a
    // block is about 64 kB).
    auto fail_once = [&] {
        parallel_bzip2_decompressor filter(failing());
        io::array_source source(input.data(), input.size());
        std::string out;
        try {
            io::copy(io::compose(filter, source), io::back_inserter(out), 4096);
        } catch (const std::exception&) {
        }
    };
    fail_once();
    const std::size_t before = heap_in_use();
    for (int i = 0; i < 40; ++i)
        fail_once();
    const std::size_t after = heap_in_use();
    EXPECT_LT(after, before + (512u << 10)) << "grew by " << (after - before) << " bytes over 40 failed decodes";
}

// The search for a block's end gives up only once no magic can start at or
// before the longest block's end: a magic exactly there is found only 48
// bits later, when it has been read whole. Here a piece of zeros (no block,
// but no magic either) reaches exactly that far, fed one byte at a time.
TEST(ParallelBzip2, AMagicRightAtTheLongestBlocksEndIsStillLookedAt)
{
    constexpr std::uint64_t longest_bits = 1ull * 100000 * 20 + 64 * 1024 * 8; // block size 1
    const std::uint64_t start_bit = 32;
    const std::uint64_t magic_bit = start_bit + longest_bits;
    ASSERT_EQ(magic_bit % 8, 0u);
    std::string stream = "BZh1";
    const unsigned char block_magic[] = {0x31, 0x41, 0x59, 0x26, 0x53, 0x59};
    const unsigned char end_magic[] = {0x17, 0x72, 0x45, 0x38, 0x50, 0x90};
    stream.append(reinterpret_cast<const char*>(block_magic), 6);
    stream.append(std::size_t(magic_bit / 8) - stream.size(), '\0');
    stream.append(reinterpret_cast<const char*>(end_magic), 6);
    stream.append(4, '\0'); // the stream's CRC

    std::size_t given = 0;
    parallel_bzip2_decompressor filter(with_threads(1));
    trickle_source source(stream, 1, given);
    std::string out;
    EXPECT_THROW(io::copy(io::compose(filter, source), io::back_inserter(out), 4096), bzip2_error);
    EXPECT_GE(given, std::size_t((magic_bit + 48) / 8)) << "gave up before the magic could be read";
    EXPECT_EQ(filter.statistics().retries, 1u) << "the piece up to the magic was tried";
}
