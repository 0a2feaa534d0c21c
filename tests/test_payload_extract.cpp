// The payload reader end to end: archives built in memory, decompressed and
// written to real files under Wine, every notification recorded.

#include "payload/bzip2_error.h"
#include "payload/compress_error.h"
#include "payload/file_utils.h"
#include "payload/payload_reader.h"
#include "payload/payload_writer.h"
#include "payload_test_support.h"
#include "support/unique_any.h"

#include <gtest/gtest.h>

#include <boost/system/system_error.hpp>

#include <cerrno>
#include <chrono>
#include <thread>

using namespace payload_test;

namespace {

constexpr std::size_t started_ = 0, completed_ = 1, begin_ = 2, end_ = 3, progress_ = 4, failed_ = 5;

std::error_code compress(compress_errc e) { return make_error_code(e); }

// Three files of different sizes in two folders, one of them in a
// subfolder created on the way.
std::vector<file_spec> three_files()
{
    return {
        {u"C:\\build\\alpha.bin", u"<InstallPath>", realistic_bytes(10000, 1), 1},
        {u"beta.txt", u"<InstallPath>\\Lang", "beta", 0},
        {u"gamma.dat", u"<InstallPath>\\Lang\\More", realistic_bytes(5000, 3), 0},
    };
}

// The engine's handling of started: the payload is checked first and a
// failed check stops the run before anything is written.
notification::result check_on_started(const std::string& compressed, const notification& n)
{
    if (n.index() == started_) {
        vt::imemstream stream(compressed.data(), compressed.size());
        if (!check_payload(stream))
            throw std::system_error(compress(compress_errc::invalid_archive), "payload check");
    }
    return notification::result::proceed;
}

} // namespace

namespace {
} // namespace

TEST(Extract, WritesVerifiesAndReportsEveryEntryInOrder)
{
    scratch_folder install;
    const auto files = three_files();
    const std::string archive = archive_bytes(files);
    recorder rec;
    ASSERT_TRUE(extract(bzip2_compress(archive), install.path(), rec));

    EXPECT_EQ(read_file(install / L"alpha.bin"), files[0].data);
    EXPECT_EQ(read_file(install / L"Lang\\beta.txt"), files[1].data);
    EXPECT_EQ(read_file(install / L"Lang\\More\\gamma.dat"), files[2].data);
    const std::wstring total = std::to_wstring(archive.size());
    EXPECT_EQ(rec.outline(), (std::vector<std::wstring>{L"started", L"begin alpha.bin", L"end alpha.bin",
                                                        L"begin beta.txt", L"end beta.txt", L"begin gamma.dat",
                                                        L"end gamma.dat", L"completed " + total + L"/" + total}));
    EXPECT_EQ(rec.events[2].path, install / L"alpha.bin") << "entry_begin carries the resolved destination";

    // Progress: first the header alone, then chunks of at most 4,096 bytes
    // that never cross an entry boundary, rising to the total.
    const std::uint64_t h = archive_header_length({{u"C:\\build\\alpha.bin", u"<InstallPath>"},
                                                   {u"beta.txt", u"<InstallPath>\\Lang"},
                                                   {u"gamma.dat", u"<InstallPath>\\Lang\\More"}});
    std::vector<std::uint64_t> done;
    for (const event& e : rec.events)
        if (e.index == progress_) {
            EXPECT_EQ(e.b, archive.size());
            done.push_back(e.a);
        }
    ASSERT_FALSE(done.empty());
    EXPECT_EQ(done.front(), h);
    EXPECT_EQ(done.back(), archive.size());
    const std::uint64_t boundaries[] = {h + 10000, h + 10004, h + 15004};
    for (std::size_t i = 1; i < done.size(); ++i) {
        EXPECT_LE(done[i] - done[i - 1], 4096u);
        for (std::uint64_t boundary : boundaries)
            EXPECT_FALSE(done[i - 1] < boundary && done[i] > boundary) << "a chunk crosses an entry boundary";
    }
}

TEST(Extract, TheHeaderMayArriveOneByteAtATime)
{
    const auto files = three_files();
    const std::string archive = archive_bytes(files);

    auto run = [&](std::size_t piece, const fs::path& install) {
        recorder rec;
        payload_writer writer(install, {}, {}, rec.callback());
        for (std::size_t offset = 0; offset < archive.size();) {
            const std::size_t n = std::min(piece, archive.size() - offset);
            offset += static_cast<std::size_t>(writer.write(archive.data() + offset, static_cast<std::streamsize>(n)));
        }
        writer.finish();
        EXPECT_EQ(writer.done(), writer.total());
        EXPECT_EQ(writer.total(), archive.size());
        return rec.outline();
    };
    scratch_folder whole, bytewise;
    const auto in_one_piece = run(archive.size(), whole.path());
    const auto byte_by_byte = run(1, bytewise.path());
    EXPECT_EQ(in_one_piece, byte_by_byte);
    EXPECT_EQ(tree(whole.path()), tree(bytewise.path()));
    EXPECT_EQ(read_file(bytewise / L"Lang\\More\\gamma.dat"), files[2].data);
}

TEST(Extract, OneByteShortFailsWithTheLastEntrysPath)
{
    scratch_folder install;
    const std::string archive = archive_bytes(three_files());
    recorder rec;
    EXPECT_FALSE(extract(bzip2_compress(archive.substr(0, archive.size() - 1)), install.path(), rec));
    ASSERT_EQ(rec.count(failed_), 1u);
    EXPECT_EQ(rec.last(failed_)->code, compress(compress_errc::unexpected_error));
    EXPECT_EQ(rec.last(failed_)->path, install / L"Lang\\More\\gamma.dat");
    EXPECT_EQ(rec.count(completed_), 0u);
    EXPECT_EQ(rec.count(end_), 2u);
}

TEST(Extract, OneByteBeyondTheLastEntryFails)
{
    scratch_folder install;
    recorder rec;
    EXPECT_FALSE(extract(bzip2_compress(archive_bytes(three_files()) + "!"), install.path(), rec));
    ASSERT_EQ(rec.count(failed_), 1u);
    EXPECT_EQ(rec.last(failed_)->code, compress(compress_errc::unexpected_error));
    EXPECT_EQ(rec.count(end_), 3u) << "every real entry was written before the stray byte";
    EXPECT_EQ(rec.count(completed_), 0u);
}

TEST(Extract, MalformedHeadersAreRejectedBeforeAnythingIsWritten)
{
    scratch_folder install;
    const std::string valid = archive_bytes(three_files());
    std::vector<std::string> bad;
    bad.push_back(std::string("\x0b\0\0\0\0\0\0\0\0\0\0\0", 12)); // H = 11
    std::string huge_count = valid;
    huge_count.replace(8, 4, "\xff\xff\xff\x7f");
    bad.push_back(huge_count);
    std::string long_string = valid;
    long_string.replace(12, 4, "\x00\x00\x01\x00"); // a source path of 65,536 units
    bad.push_back(long_string);
    for (const std::string& archive : bad) {
        recorder rec;
        EXPECT_FALSE(extract(bzip2_compress(archive), install.path(), rec));
        EXPECT_EQ(rec.outline(), (std::vector<std::wstring>{L"started", L"failed compress:7 "}));
    }
    EXPECT_TRUE(tree(install.path()).empty());
}

TEST(Extract, DamagedCompressedDataFailsTheCheckAndNothingIsWritten)
{
    const auto files = three_files();
    const std::string good = compressed_archive(files);
    // The archive is one bzip2 block: damage its data, and damage the
    // stream's combined CRC after the last block.
    for (std::size_t position : {good.size() / 2, good.size() - 3}) {
        SCOPED_TRACE(position);
        std::string damaged = good;
        damaged[position] ^= 0x01;
        scratch_folder install;
        recorder checked;
        checked.answer = [&](const notification& n) { return check_on_started(damaged, n); };
        EXPECT_FALSE(extract(damaged, install.path(), checked));
        EXPECT_EQ(checked.outline(), (std::vector<std::wstring>{L"started", L"failed compress:4 "}));
        EXPECT_TRUE(tree(install.path()).empty());
    }

    // Without the check, damage that the decoder meets only after the last
    // block (the stream CRC) is reported once every byte is through.
    std::string damaged = good;
    damaged[good.size() - 3] ^= 0x01;
    scratch_folder install;
    recorder unchecked;
    EXPECT_FALSE(extract(damaged, install.path(), unchecked));
    ASSERT_NE(unchecked.last(failed_), nullptr);
    EXPECT_EQ(unchecked.last(failed_)->code, compress(compress_errc::bzip2_error));
    EXPECT_EQ(unchecked.count(completed_), 0u);
}

TEST(Extract, AbortAnswersStopAtEachStep)
{
    for (std::size_t step : {begin_, end_}) {
        scratch_folder install;
        recorder rec;
        rec.answer = [&](const notification& n) {
            return n.index() == step ? notification::result::abort : notification::result::proceed;
        };
        EXPECT_FALSE(extract(compressed_archive(three_files()), install.path(), rec));
        const event* failed = rec.last(failed_);
        ASSERT_NE(failed, nullptr);
        EXPECT_EQ(failed->code, compress(compress_errc::interrupted));
        // Until entry_begin has been answered no entry is in progress.
        EXPECT_EQ(failed->path, step == end_ ? install / L"alpha.bin" : fs::path());
        EXPECT_EQ(fs::exists(install / L"alpha.bin"), step == end_);
    }
}

TEST(Extract, TemporaryEntriesCreateTheTemporaryFolder)
{
    scratch_folder install, base;
    const fs::path temporary = base / L"vantrel_{run}";
    const std::vector<file_spec> files = {{u"DSETUP.dll", u"<Temporary>", "setup", 5}};
    recorder rec;
    ASSERT_TRUE(extract(compressed_archive(files), install.path(), rec, {}, temporary));
    EXPECT_EQ(read_file(temporary / L"DSETUP.dll"), "setup");

    // Without a temporary folder, "<Temporary>" is the installation folder.
    recorder again;
    ASSERT_TRUE(extract(compressed_archive(files), install.path(), again));
    EXPECT_EQ(read_file(install / L"DSETUP.dll"), "setup");
}

TEST(Extract, AWrongStoredChecksumFailsAfterTheFileIsWritten)
{
    scratch_folder install;
    const auto files = three_files();
    recorder rec;
    EXPECT_FALSE(extract(bzip2_compress(archive_bytes(files, {{1, 0x12345678}})), install.path(), rec));
    ASSERT_NE(rec.last(failed_), nullptr);
    EXPECT_EQ(rec.last(failed_)->code, compress(compress_errc::invalid_checksum));
    EXPECT_EQ(rec.last(failed_)->path, install / L"Lang\\beta.txt");
    EXPECT_EQ(rec.count(end_), 1u) << "entry_end only after verification";
    EXPECT_EQ(read_file(install / L"Lang\\beta.txt"), "beta") << "the file stays as written";
}
