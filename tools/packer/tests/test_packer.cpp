// Native tests of vt-pack: manifest reading, the archive it writes (byte for
// byte), listing and verification. Its command line is run on a vendor's
// manifest by tools/vendor-installer.sh in the full test run.

#include "inspect.h"
#include "pack.h"
#include "payload/bzip2_compressor.h"
#include "payload/bzip2_decompressor.h"
#include "tests/scratch_folder.h"

#include <boost/iostreams/compose.hpp>
#include <boost/iostreams/copy.hpp>
#include <boost/iostreams/device/back_inserter.hpp>

#include <gtest/gtest.h>

#include <fstream>
#include <sstream>

namespace fs = std::filesystem;
namespace io = boost::iostreams;

using portable_test::read_bytes;
using portable_test::scratch_folder;

// The manifest may have a byte-order mark, comments, blank lines, CR LF,
// kinds by number and a separator after a destination.
TEST(Pack, WritesHeaderThenDataAsOneBzip2StreamOfBlockSize9)
{
    scratch_folder folder;
    folder.write("in/one.bin", std::string("\x00\x01\x02", 3));
    folder.write("in/Caf\xC3\xA9.txt", "");
    folder.write("in/three.txt", "third file");
    const fs::path manifest = folder.write("m.txt", "\xEF\xBB\xBF# comment\r\n\r\n"
                                                    "temporary | <Temporary> | in/one.bin\r\n"
                                                    "   # indented comment\n"
                                                    "4|<SamplePath>\\|in/Caf\xC3\xA9.txt\n"
                                                    "shared_data | <CommonData>\\Vantrel Software | in/three.txt\n");
    const auto entries = read_manifest(manifest);
    ASSERT_EQ(entries.size(), 3u);
    EXPECT_EQ(entries[1].line, 5);
    EXPECT_EQ(entries[1].file, folder.path() / "in/Caf\xC3\xA9.txt");
    const fs::path output = folder.path() / "out.bz2";
    const pack_result result = pack_archive(entries, output, manifest.string());

    const std::vector<archive_record> records = {
        {u"in\\one.bin", u"<Temporary>", 5, 3, crc32_of("\x00\x01\x02", 3)},
        {u"in\\Caf\u00e9.txt", u"<SamplePath>", 4, 0, 0},
        {u"in\\three.txt", u"<CommonData>\\Vantrel Software", 3, 10, crc32_of("third file", 10)},
    };
    const std::string expected = encode_archive_header(records) + std::string("\x00\x01\x02", 3) + "third file";
    const std::string compressed = read_bytes(output);
    EXPECT_EQ(compressed.substr(0, 4), "BZh9");
    std::ifstream in(output, std::ios::binary);
    std::string archive;
    io::copy(io::compose(bzip2_decompressor(), in), io::back_inserter(archive));
    EXPECT_EQ(archive, expected);
    EXPECT_EQ(result.header_length, archive_header_length(records));
    EXPECT_EQ(result.archive_length, expected.size());
    EXPECT_EQ(result.compressed_length, compressed.size());
    EXPECT_EQ(std::distance(fs::directory_iterator(folder.path()), {}), 3) << "a partial file was left behind";
    const fs::path again = folder.path() / "again.bz2";
    pack_archive(entries, again, manifest.string());
    EXPECT_EQ(read_bytes(again), compressed) << "the same manifest gives the same bytes";

    const archive_overview overview = read_overview(output);
    EXPECT_EQ(overview.header_length, result.header_length);
    std::ostringstream listing;
    print_listing(overview, listing);
    EXPECT_NE(listing.str().find("shared_data               10  b0bf9ffe  "
                                 "<CommonData>\\Vantrel Software\\three.txt  (in\\three.txt)"),
              std::string::npos)
        << listing.str();
}

TEST(Verify, FindsEveryKindOfDamage)
{
    scratch_folder folder;
    const std::vector<archive_record> records = {
        {u"a.txt", u"<InstallPath>", 0, 5, crc32_of("hello", 5)},
        {u"b.txt", u"<InstallPath>\\Sub", 1, 3, crc32_of("abc", 3)},
    };
    const std::string good = encode_archive_header(records) + "hello" + "abc";
    auto problems = [&](const std::string& archive_bytes, const std::string& expected, bool damage = false) {
        std::string compressed = bzip2_compress(archive_bytes);
        if (damage)
            compressed[compressed.size() / 2] ^= 0x55;
        std::ostringstream report;
        const int found = verify_archive(folder.write("x.bz2", compressed), report);
        EXPECT_NE(report.str().find(expected), std::string::npos) << report.str();
        return found;
    };
    EXPECT_EQ(problems(good, "archive length 148"), 0);
    EXPECT_EQ(problems(good.substr(0, good.size() - 1), "entry 2: the archive ends after 2 of its 3 bytes"), 1);
    EXPECT_EQ(problems(good + "!", "1 bytes follow the last entry"), 1);
    EXPECT_EQ(problems(good.substr(0, good.size() - 1) + "x", "entry 2: CRC-32 of the data is"), 1);

    auto bad_records = records;
    bad_records[0].kind = 9;
    bad_records[1].destination = u"<Nowhere>";
    EXPECT_EQ(problems(encode_archive_header(bad_records) + "helloabc", "entry 2: unknown macro <Nowhere>"), 2);

    std::string padded = encode_archive_header(records);
    padded[0] = static_cast<char>(padded.size() + 2); // H = 142: two bytes more than the records
    EXPECT_EQ(problems(padded + "xx" + "helloabc", "header length 142, but its records end at 140"), 1);
    EXPECT_EQ(problems(good, "damaged or cut short", true), 1);
}
