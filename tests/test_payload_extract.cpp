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

TEST(PayloadResource, TheEmbeddedPayloadChecksAndExtracts)
{
    vt::imemstream stream = open_payload_resource(nullptr, payload_resource_type, payload_resource_id);
    ASSERT_GT(stream.size(), 14u);
    EXPECT_EQ(std::string(stream.data(), 4), "BZh9");

    EXPECT_TRUE(check_payload(stream));
    stream.seekg(0);
    ASSERT_TRUE(stream.good());

    // Only the entries below <InstallPath> and <Temporary> are written; the
    // others would land in folders shared with the rest of this prefix.
    scratch_folder install, temporary;
    recorder rec;
    rec.answer = [&](const notification& n) {
        if (auto* b = std::get_if<notification::entry_begin>(&n)) {
            const auto text = b->entry.destination.wstring();
            if (text.rfind(install.path().wstring(), 0) != 0 && text.rfind(temporary.path().wstring(), 0) != 0)
                return notification::result::skip;
        }
        return notification::result::proceed;
    };
    ASSERT_TRUE(extract_payload(stream, install.path(), L"Examples", temporary.path(), rec.callback()));
    const event* completed = rec.last(completed_);
    ASSERT_NE(completed, nullptr);
    EXPECT_EQ(completed->a, completed->b) << "every decompressed byte belongs to the archive";
    EXPECT_EQ(rec.last(progress_)->a, completed->b);
    EXPECT_GT(rec.count(end_), 0u);
    EXPECT_EQ(rec.count(failed_), 0u);
    for (const event& e : rec.events) {
        if (e.index == end_) {
            EXPECT_TRUE(fs::is_regular_file(e.path)) << e.path;
        }
    }
}

namespace {
BOOL CALLBACK collect_language(HMODULE, LPCWSTR, LPCWSTR, WORD language, LONG_PTR found)
{
    reinterpret_cast<std::vector<WORD>*>(found)->push_back(language);
    return TRUE;
}
} // namespace

// The payload is one language-neutral resource, found whatever the user's
// language (the test programs link the installer's own resource object).
TEST(PayloadResource, IsStoredLanguageNeutral)
{
    std::vector<WORD> languages;
    ::EnumResourceLanguagesW(::GetModuleHandleW(nullptr), MAKEINTRESOURCEW(payload_resource_type),
                             MAKEINTRESOURCEW(payload_resource_id), collect_language,
                             reinterpret_cast<LONG_PTR>(&languages));
    EXPECT_EQ(languages, std::vector<WORD>{MAKELANGID(LANG_NEUTRAL, SUBLANG_NEUTRAL)});
    EXPECT_NE(::FindResourceExW(nullptr, MAKEINTRESOURCEW(payload_resource_type), MAKEINTRESOURCEW(payload_resource_id),
                                MAKELANGID(LANG_NEUTRAL, SUBLANG_NEUTRAL)),
              nullptr);
}

TEST(PayloadResource, AMissingResourceGivesAnEmptyStreamThatFailsAsBzip2Error)
{
    vt::imemstream stream = open_payload_resource(nullptr, payload_resource_type, 999);
    EXPECT_EQ(stream.size(), 0u);
    EXPECT_FALSE(check_payload(stream));

    scratch_folder install;
    recorder rec;
    vt::imemstream empty = open_payload_resource(nullptr, payload_resource_type, 999);
    EXPECT_FALSE(extract_payload(empty, install.path(), {}, {}, rec.callback()));
    EXPECT_EQ(rec.outline(), (std::vector<std::wstring>{L"started", L"failed compress:6 "}));
    EXPECT_TRUE(tree(install.path()).empty());
}

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

TEST(Extract, AnEmptyArchiveCompletesWithTwelveBytes)
{
    scratch_folder install;
    recorder rec;
    ASSERT_TRUE(extract(compressed_archive({}), install.path(), rec));
    ASSERT_EQ(rec.events.size(), 3u);
    EXPECT_EQ(rec.events[1].index, progress_);
    EXPECT_EQ(rec.events[1].a, 12u);
    EXPECT_EQ(rec.events[1].b, 12u);
    EXPECT_EQ(rec.events[2].index, completed_);
    EXPECT_EQ(rec.events[2].a, 12u);
    EXPECT_EQ(rec.events[2].b, 12u);
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

TEST(Extract, ShorterThanTheLengthFieldFails)
{
    scratch_folder install;
    recorder rec;
    EXPECT_FALSE(extract(bzip2_compress(std::string("\x0c\x00\x00", 3)), install.path(), rec));
    EXPECT_EQ(rec.outline(), (std::vector<std::wstring>{L"started", L"failed compress:7 "}));
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

TEST(Extract, UnknownMacroIsRefusedBeforeAnythingIsWritten)
{
    scratch_folder install;
    for (const char16_t* folder : {u"<NoSuchFolder>\\x", u"<installpath>"}) {
        recorder rec;
        auto files = three_files();
        files[2].destination = folder;
        EXPECT_FALSE(extract(compressed_archive(files), install.path(), rec));
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

TEST(Extract, AbortOnTheFirstProgressWritesNothing)
{
    scratch_folder install;
    recorder rec;
    rec.answer = [](const notification& n) {
        return n.index() == progress_ ? notification::result::abort : notification::result::proceed;
    };
    EXPECT_FALSE(extract(compressed_archive(three_files()), install.path(), rec));
    EXPECT_EQ(rec.outline(), (std::vector<std::wstring>{L"started", L"failed compress:5 "}));
    EXPECT_TRUE(tree(install.path()).empty());
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

TEST(Extract, SkipConsumesExactlyTheEntrysBytes)
{
    scratch_folder install;
    auto files = three_files();
    files[1] = {u"skipped.bin", u"<InstallPath>\\Skipped", realistic_bytes(9000, 9), 0};
    recorder rec;
    rec.answer = [](const notification& n) {
        if (auto* b = std::get_if<notification::entry_begin>(&n))
            if (b->entry.destination.filename() == L"skipped.bin")
                return notification::result::skip;
        return notification::result::proceed;
    };
    const std::string archive = archive_bytes(files);
    ASSERT_TRUE(extract(bzip2_compress(archive), install.path(), rec));
    EXPECT_EQ(read_file(install / L"alpha.bin"), files[0].data);
    EXPECT_EQ(read_file(install / L"Lang\\More\\gamma.dat"), files[2].data);
    EXPECT_FALSE(fs::exists(install / L"Skipped")) << "no folder for a skipped entry";
    const std::wstring total = std::to_wstring(archive.size());
    EXPECT_EQ(rec.outline(), (std::vector<std::wstring>{L"started", L"begin alpha.bin", L"end alpha.bin",
                                                        L"begin skipped.bin", L"begin gamma.dat", L"end gamma.dat",
                                                        L"completed " + total + L"/" + total}));
    // The skipped bytes are reported as progress too.
    std::size_t progress_while_skipping = 0;
    bool skipping = false;
    for (const event& e : rec.events) {
        if (e.index == begin_)
            skipping = e.path.filename() == L"skipped.bin";
        else if (e.index == progress_ && skipping)
            ++progress_while_skipping;
    }
    EXPECT_EQ(progress_while_skipping, 3u) << "9,000 bytes in chunks of at most 4,096";
}

TEST(Extract, EmptyEntriesAreWrittenWhereverTheyStand)
{
    scratch_folder install;
    const std::vector<file_spec> files = {
        {u"first-empty", u"<InstallPath>", "", 0},
        {u"middle", u"<InstallPath>", "x", 0},
        {u"middle-empty", u"<InstallPath>\\Sub", "", 0},
        {u"last-empty", u"<InstallPath>\\Deep\\Er", "", 0},
    };
    recorder rec;
    ASSERT_TRUE(extract(compressed_archive(files), install.path(), rec));
    EXPECT_EQ(rec.count(end_), 4u);
    EXPECT_EQ(tree(install.path()), (std::vector<std::wstring>{L"Deep", L"Deep\\Er", L"Deep\\Er\\last-empty",
                                                               L"Sub", L"Sub\\middle-empty", L"first-empty",
                                                               L"middle"}));
    EXPECT_EQ(fs::file_size(install / L"Deep\\Er\\last-empty"), 0u);
}

TEST(Extract, AnExistingReadOnlyFileIsOverwritten)
{
    scratch_folder install;
    const fs::path target = install / L"alpha.bin";
    write_file(target, "old content");
    ASSERT_TRUE(::SetFileAttributesW(target.c_str(), FILE_ATTRIBUTE_READONLY));
    recorder rec;
    const auto files = three_files();
    ASSERT_TRUE(extract(compressed_archive(files), install.path(), rec));
    EXPECT_EQ(read_file(target), files[0].data);
}

TEST(Extract, AMissingFolderChainIsCreated)
{
    scratch_folder install;
    const std::vector<file_spec> files = {{u"deep.txt", u"<InstallPath>\\a\\b\\c\\d\\e\\f", "deep", 0}};
    recorder rec;
    ASSERT_TRUE(extract(compressed_archive(files), install.path() / L"not\\yet", rec));
    EXPECT_EQ(read_file(install / L"not\\yet\\a\\b\\c\\d\\e\\f\\deep.txt"), "deep");
}

// A folder that cannot be created fails the extraction with the system's
// own error for it (the failure message shows "1:..."), not the runtime
// library's error number ("2:..."): a file in the way of the folder chain,
// and Linux's sysfs (Wine's Z:\sys), which refuses every new folder with
// access denied.
TEST(Extract, AFolderThatCannotBeCreatedFailsWithTheSystemsError)
{
    scratch_folder install;
    write_file(install / L"Lang", "a file where the folder should be");
    struct refusal {
        fs::path install;    // the installation folder
        fs::path first;      // the first folder of the chain that cannot be made
        DWORD expected;      // the system's error for it, when known
    };
    std::vector<refusal> cases = {{install.path(), install / L"Lang\\Deep", 0}};
    const DWORD sysfs = ::GetFileAttributesW(L"Z:\\sys\\kernel");
    if (sysfs != INVALID_FILE_ATTRIBUTES && (sysfs & FILE_ATTRIBUTE_DIRECTORY))
        cases.push_back({L"Z:\\sys\\Tablewright 8", L"Z:\\sys\\Tablewright 8", ERROR_ACCESS_DENIED});
    for (const refusal& c : cases) {
        SCOPED_TRACE(c.first.string());
        ASSERT_FALSE(::CreateDirectoryW(c.first.c_str(), nullptr)) << "the folder can be made";
        const DWORD system_error = ::GetLastError();
        if (c.expected) {
            EXPECT_EQ(system_error, c.expected);
        }
        recorder rec;
        const std::vector<file_spec> files = {{u"deep.txt", u"<InstallPath>\\Lang\\Deep", "deep", 0}};
        EXPECT_FALSE(extract(compressed_archive(files), c.install, rec));
        ASSERT_NE(rec.last(failed_), nullptr);
        EXPECT_EQ(rec.last(failed_)->code, std::error_code(int(system_error), std::system_category()))
            << rec.last(failed_)->code.category().name() << " " << rec.last(failed_)->code.value();
        EXPECT_EQ(rec.last(failed_)->path, c.install / L"Lang\\Deep\\deep.txt");
    }
    EXPECT_EQ(read_file(install / L"Lang"), "a file where the folder should be");
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

TEST(Extract, TheFileIsHeldWithoutSharingWhileItIsWritten)
{
    scratch_folder install;
    const auto files = three_files();
    const fs::path target = install / L"alpha.bin";
    DWORD open_error = 0;
    recorder rec;
    rec.answer = [&](const notification& n) {
        if (n.index() == progress_ && open_error == 0 && fs::exists(target)) {
            vt::unique_file other(::CreateFileW(target.c_str(), GENERIC_READ,
                                                FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                                OPEN_EXISTING, 0, nullptr));
            open_error = other ? ERROR_SUCCESS + 1 : ::GetLastError();
        }
        return notification::result::proceed;
    };
    ASSERT_TRUE(extract(compressed_archive(files), install.path(), rec));
    EXPECT_EQ(open_error, static_cast<DWORD>(ERROR_SHARING_VIOLATION));
}

TEST(Extract, ADestinationInUseFailsWithTheSystemError)
{
    scratch_folder install;
    const fs::path target = install / L"Lang\\beta.txt";
    write_file(target, "held");
    vt::unique_file holder(::CreateFileW(target.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr));
    ASSERT_TRUE(holder);
    recorder rec;
    EXPECT_FALSE(extract(compressed_archive(three_files()), install.path(), rec));
    ASSERT_NE(rec.last(failed_), nullptr);
    EXPECT_EQ(rec.last(failed_)->code, std::error_code(ERROR_SHARING_VIOLATION, std::system_category()));
    EXPECT_EQ(rec.last(failed_)->path, target);
    EXPECT_EQ(rec.count(end_), 1u);
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

TEST(Extract, RandomArchivesRoundTripByteForByte)
{
    std::mt19937 rng(20240611);
    const std::u16string names[] = {u"plain.txt", u"Caf\u00e9 cr\u00e8me.twp", u"\u4e2d\u6587.dat",
                                    u"\u041f\u0440\u0438\u0432\u0435\u0442.bin", u"emoji \U0001F600.txt",
                                    u"\u05e2\u05d1\u05e8\u05d9\u05ea.ini"};
    for (int round = 0; round < 3; ++round) {
        SCOPED_TRACE(round);
        scratch_folder install;
        std::vector<file_spec> files;
        const int count = 1 + static_cast<int>(rng() % 12);
        for (int i = 0; i < count; ++i) {
            std::size_t size = 0;
            switch (rng() % 4) {
            case 0: size = 0; break;
            case 1: size = rng() % 5000; break;
            case 2: size = 4096 * (1 + rng() % 3) + rng() % 2; break;
            default: size = rng() % (3 << 20); break;
            }
            std::u16string folder = u"<InstallPath>";
            for (unsigned depth = rng() % 3; depth > 0; --depth)
                folder += u"\\" + names[rng() % 6].substr(0, 4) + std::u16string(1, static_cast<char16_t>(u'a' + rng() % 3));
            const std::u16string name = std::u16string(1, static_cast<char16_t>(u'A' + i)) + names[rng() % 6];
            std::string data = realistic_bytes(size, rng());
            files.push_back({u"src\\" + name, folder, std::move(data), static_cast<std::uint32_t>(rng() % 6)});
        }
        recorder rec;
        ASSERT_TRUE(extract(compressed_archive(files), install.path(), rec));
        for (const file_spec& f : files) {
            std::wstring folder(f.destination.begin() + 13, f.destination.end());
            const fs::path written = install.path() / (folder.empty() ? L"" : folder.substr(1)) /
                                     std::wstring(f.source.begin() + 4, f.source.end());
            EXPECT_EQ(read_file(written), f.data) << written;
        }
        EXPECT_EQ(rec.count(end_), files.size());
    }
}
