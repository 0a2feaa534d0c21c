// Native tests of the payload archive format and the bzip2 filters: the
// parts of the installer that the packer shares.

#include "payload/archive_format.h"
#include "payload/bzip2_compressor.h"
#include "payload/bzip2_decompressor.h"
#include "payload/compress_error.h"
#include "payload/utf16.h"

#include <boost/iostreams/compose.hpp>
#include <boost/iostreams/copy.hpp>
#include <boost/iostreams/device/back_inserter.hpp>

#include <gtest/gtest.h>

#include <bzlib.h>

#include <random>
#include <sstream>

namespace io = boost::iostreams;

namespace {

std::vector<archive_record> sample_records()
{
    return {
        {u"C:\\build\\files\\DSETUP.dll", u"<Temporary>", 5, 94208, 0x11223344},
        {u"files\\Caf\u00e9 chair.twp", u"<SamplePath>", 4, 0, 0},
        {u"x\\\U0001F600.txt", u"<CommonData>\\Vantrel Software\\Tablewright 8", 3, 1ull << 33, 0xFFFFFFFF},
        {u"Tablewright.exe", u"<InstallPath>", 1, 5, 0xCBF43926},
    };
}

std::string le(std::uint64_t value, int bytes)
{
    std::string out;
    for (int i = 0; i < bytes; ++i)
        out.push_back(static_cast<char>((value >> (8 * i)) & 0xFF));
    return out;
}

void expect_unexpected_error(const std::function<void()>& action)
{
    try {
        action();
        ADD_FAILURE() << "no error raised";
    } catch (const std::system_error& e) {
        EXPECT_EQ(e.code(), make_error_code(compress_errc::unexpected_error)) << e.what();
    }
}

std::string decompress(const std::string& compressed)
{
    std::istringstream in(compressed, std::ios::binary);
    std::string out;
    io::copy(io::compose(bzip2_decompressor(4096), in), io::back_inserter(out), 4096);
    return out;
}

int decompress_error(const std::string& compressed)
{
    try {
        decompress(compressed);
    } catch (const bzip2_error& e) {
        EXPECT_EQ(e.code(), make_error_code(compress_errc::bzip2_error));
        return e.bz_code();
    }
    return 0;
}

std::string random_bytes(std::size_t n, unsigned seed)
{
    std::mt19937 rng(seed);
    std::string out(n, '\0');
    for (char& c : out)
        c = static_cast<char>(rng() % 7 == 0 ? rng() : 'a' + rng() % 4); // compressible, not trivially
    return out;
}

} // namespace

TEST(ArchiveHeader, ParsesWhatWasEncodedWhateverThePieces)
{
    const auto records = sample_records();
    const std::string header = encode_archive_header(records);
    const std::string data = "trailing file data that must not be taken";

    for (std::size_t piece : {std::size_t(1), std::size_t(3), std::size_t(7), std::size_t(64), header.size() + 100}) {
        SCOPED_TRACE(piece);
        archive_header_reader reader;
        const std::string input = header + data;
        std::size_t offset = 0;
        int calls = 0;
        while (!reader.complete()) {
            ASSERT_LT(offset, input.size());
            const std::size_t n = std::min(piece, input.size() - offset);
            const std::size_t taken = reader.feed(input.data() + offset, n);
            ASSERT_LE(taken, n);
            if (calls++ == 0) {
                EXPECT_EQ(taken, std::min<std::size_t>(n, 8)) << "the length field is taken on its own first";
            }
            offset += taken;
        }
        EXPECT_EQ(offset, header.size()) << "the reader takes the header and nothing more";
        EXPECT_EQ(reader.feed(data.data(), data.size()), 0u);
        EXPECT_EQ(reader.header_length(), header.size());
        const auto parsed = reader.take_records();
        ASSERT_EQ(parsed.size(), records.size());
        for (std::size_t i = 0; i < records.size(); ++i) {
            EXPECT_EQ(parsed[i].source, records[i].source);
            EXPECT_EQ(parsed[i].destination, records[i].destination);
            EXPECT_EQ(parsed[i].kind, records[i].kind);
            EXPECT_EQ(parsed[i].size, records[i].size);
            EXPECT_EQ(parsed[i].crc, records[i].crc);
        }
    }
}

TEST(ArchiveHeader, RejectsContradictionsWithoutReadingPastTheHeader)
{
    auto feed_all = [](const std::string& bytes) {
        archive_header_reader reader;
        for (std::size_t offset = 0; offset < bytes.size() && !reader.complete();)
            offset += reader.feed(bytes.data() + offset, bytes.size() - offset);
        return reader.complete();
    };
    // A length shorter than its own fields.
    for (std::uint64_t h : {0ull, 8ull, 11ull})
        expect_unexpected_error([&] { feed_all(le(h, 8) + le(0, 4)); });
    // A count that cannot fit: 2 records need at least 48 bytes, 30 given.
    expect_unexpected_error([&] { feed_all(le(42, 8) + le(2, 4) + std::string(30, '\0')); });
    // A huge count must not allocate: rejected by the same test.
    expect_unexpected_error([&] { feed_all(le(40, 8) + le(0xFFFFFFFF, 4) + std::string(28, '\0')); });
    // A string that runs past the header.
    {
        std::string body = le(1, 4) + le(100, 4) + std::string(30, 'x');
        expect_unexpected_error([&] { feed_all(le(8 + body.size(), 8) + body); });
    }
    // The fixed fields after the strings run past the header.
    {
        std::string header = encode_archive_header({{u"a", u"<InstallPath>", 0, 1, 2}});
        header.resize(header.size() - 3);
        header.replace(0, 8, le(header.size(), 8));
        expect_unexpected_error([&] { feed_all(header); });
    }
    // Sizes whose sum overflows 64 bits, also together with H.
    {
        std::vector<archive_record> records = {{u"a", u"<InstallPath>", 0, ~0ull - 10, 0}, {u"b", u"<InstallPath>", 0, 5, 0}};
        expect_unexpected_error([&] { feed_all(encode_archive_header(records)); });
        records = {{u"a", u"<InstallPath>", 0, ~0ull - 20, 0}};
        expect_unexpected_error([&] { feed_all(encode_archive_header(records)); });
        records = {{u"a", u"<InstallPath>", 0, ~0ull - 500, 0}};
        EXPECT_TRUE(feed_all(encode_archive_header(records))) << "a large but representable total is fine";
    }
}

TEST(ArchiveHeader, RandomBytesNeverCrashTheReader)
{
    std::mt19937 rng(7);
    for (int round = 0; round < 2000; ++round) {
        std::string bytes(rng() % 200, '\0');
        for (char& c : bytes)
            c = static_cast<char>(rng());
        if (bytes.size() >= 8 && round % 2 == 0)
            bytes.replace(0, 8, le(bytes.size() - rng() % 8, 8)); // plausible lengths too
        archive_header_reader reader;
        try {
            for (std::size_t offset = 0; offset < bytes.size() && !reader.complete();) {
                const std::size_t taken = reader.feed(bytes.data() + offset, 1 + rng() % 16);
                ASSERT_GT(taken, 0u);
                offset += taken;
            }
        } catch (const std::system_error& e) {
            EXPECT_EQ(e.code(), make_error_code(compress_errc::unexpected_error));
        }
    }
}

TEST(Bzip2, DamagedOrTruncatedDataIsAnError)
{
    const std::string data = random_bytes(300000, 3);
    const std::string compressed = bzip2_compress(data);
    EXPECT_EQ(decompress_error(""), BZ_UNEXPECTED_EOF) << "no data at all";
    EXPECT_EQ(decompress_error(compressed.substr(0, compressed.size() - 1)), BZ_UNEXPECTED_EOF);
    EXPECT_EQ(decompress_error(compressed.substr(0, compressed.size() / 2)), BZ_UNEXPECTED_EOF);
    EXPECT_NE(decompress_error(compressed + "garbage!"), 0) << "bytes after the stream that are no stream";
    EXPECT_EQ(decompress_error("not bzip2 data"), BZ_DATA_ERROR_MAGIC);

    // A flipped bit anywhere, the last block and the stream trailer included.
    for (std::size_t position : {std::size_t(20), compressed.size() / 2, compressed.size() - 12, compressed.size() - 3}) {
        SCOPED_TRACE(position);
        std::string damaged = compressed;
        damaged[position] = static_cast<char>(damaged[position] ^ 0x10);
        EXPECT_NE(decompress_error(damaged), 0);
    }
}
