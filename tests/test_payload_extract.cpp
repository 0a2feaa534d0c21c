// The payload reader end to end: archives built in memory, decompressed and
// written to real files under Wine, every notification recorded.

#include "payload/background_payload_check.h"
#include "payload/compress_error.h"
#include "payload/payload_reader.h"
#include "payload_test_support.h"
#include "support/memstream.h"

#include <gtest/gtest.h>

using namespace payload_test;

namespace {

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
    const std::uint64_t h = archive.size() - 15004; // all but the files' data
    std::vector<std::uint64_t> done;
    for (const event& e : rec.events)
        if (e.index == progress_) {
            EXPECT_EQ(e.b, archive.size());
            done.push_back(e.a);
        }
    ASSERT_FALSE(done.empty());
    EXPECT_EQ(done.front(), h);
    EXPECT_EQ(done.back(), archive.size());
    for (std::size_t i = 1; i < done.size(); ++i) {
        EXPECT_LE(done[i] - done[i - 1], 4096u);
        for (std::uint64_t boundary : {h + 10000, h + 10004})
            EXPECT_FALSE(done[i - 1] < boundary && done[i] > boundary) << "a chunk crosses an entry boundary";
    }
}

TEST(Extract, AFailureNamesTheEntryAndNothingCompletes)
{
    const std::string archive = archive_bytes(three_files());
    struct case_ {
        const char* what;
        std::string archive;
        compress_errc code;
        const wchar_t* path; // below the installation folder, or none
        std::size_t ended;
    };
    const case_ cases[] = {
        {"one byte short", archive.substr(0, archive.size() - 1), compress_errc::unexpected_error,
         L"Lang\\More\\gamma.dat", 2},
        {"one byte beyond", archive + "!", compress_errc::unexpected_error, nullptr, 3},
        // The file is written, then read back: entry_end only after that.
        {"wrong stored checksum", archive_bytes(three_files(), {{1, 0x12345678}}),
         compress_errc::invalid_checksum, L"Lang\\beta.txt", 1},
    };
    for (const case_& c : cases) {
        SCOPED_TRACE(c.what);
        scratch_folder install;
        recorder rec;
        EXPECT_FALSE(extract(bzip2_compress(c.archive), install.path(), rec));
        ASSERT_EQ(rec.count(failed_), 1u);
        EXPECT_EQ(rec.last(failed_).code, compress(c.code));
        EXPECT_EQ(rec.last(failed_).path, c.path ? install / c.path : fs::path());
        EXPECT_EQ(rec.count(end_), c.ended);
        EXPECT_EQ(rec.count(completed_), 0u);
    }
}

// Without the engine's check before extraction (the fault scenarios cover
// it, as they cover stop requests), damage to the stream's combined CRC,
// which the decoder meets only after the last block, is a decoder error.
TEST(Extract, DamageToTheStreamCrcIsADecoderError)
{
    std::string damaged = compressed_archive(three_files());
    damaged[damaged.size() - 3] ^= 0x01;
    scratch_folder install;
    recorder rec;
    EXPECT_FALSE(extract(damaged, install.path(), rec));
    EXPECT_EQ(rec.last(failed_).code, compress(compress_errc::bzip2_error));
    EXPECT_EQ(rec.count(completed_), 0u);
}

// The check that runs while the wizard is shown gives check_payload's
// verdict on the same bytes, shows its progress while it is waited for, and
// ends early when it is stopped.
TEST(BackgroundCheck, GivesTheVerdictOfCheckPayloadAndStopsWhenAsked)
{
    const std::string good = compressed_archive({{u"big.bin", u"<InstallPath>", realistic_bytes(6'000'000, 7), 1}});
    std::string flipped = good;
    flipped[flipped.size() / 2] ^= 0x01;
    const struct {
        const char* name;
        std::string bytes;
        bool verified;
    } cases[] = {
        {"intact", good, true},
        {"a flipped bit", flipped, false},
        {"one byte short", good.substr(0, good.size() - 1), false},
        {"one byte long", good + '\0', false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        vt::imemstream stream(c.bytes.data(), c.bytes.size());
        EXPECT_EQ(check_payload(stream), c.verified);
        background_payload_check check(c.bytes.data(), c.bytes.size());
        EXPECT_TRUE(check.covers(c.bytes.data(), c.bytes.size()));
        EXPECT_FALSE(check.covers(c.bytes.data(), c.bytes.size() - 1));
        std::uint64_t last = 0;
        bool in_order = true;
        EXPECT_EQ(check.wait([&](std::uint64_t done, std::uint64_t total) {
            in_order = in_order && done >= last && done <= total && total == c.bytes.size();
            last = done;
        }),
                  c.verified);
        EXPECT_TRUE(in_order);
    }
    background_payload_check stopped(good.data(), good.size());
    stopped.stop();
    EXPECT_FALSE(stopped.wait());
}
