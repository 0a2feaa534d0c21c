// File helpers of the extraction on Wine's real file system: path
// comparison, the read-back CRC-32 with its retries, and the mapping of
// failures to codes.

#include "payload/compress_error.h"
#include "payload/file_utils.h"
#include "payload/payload_reader.h"
#include "payload_test_support.h"
#include "support/unique_any.h"

#include <gtest/gtest.h>

#include <boost/system/system_error.hpp>

#include <cerrno>
#include <chrono>
#include <thread>

using namespace payload_test;

TEST(SamePath, ComparesAsPathsThenByIdentityThenWithoutCase)
{
    scratch_folder folder;
    fs::create_directories(folder / L"Sub\\Inner");
    const fs::path sub = folder / L"Sub";
    EXPECT_TRUE(same_path(sub, folder.path().wstring() + L"\\SUB")) << "the same folder on disk";
    EXPECT_TRUE(same_path(sub, folder / L"Sub\\Inner\\.."));
    EXPECT_TRUE(same_path(L"C:\\Does\\Not\\Exist\\..\\Exist", L"c:\\does\\NOT\\exist"));
    EXPECT_FALSE(same_path(sub, folder / L"Sub\\Inner"));
}

// Between the last chunk of an entry and its read-back, the file's folder
// is moved away and a different file put in its place: the read-back sees
// what is on disk, not what was written. (Wine lets a folder be moved while
// a file in it is open, as POSIX does; Windows would refuse, and there the
// same situation arises from another program opening or changing the file
// in the instant between close and read-back.) A file held by another
// program is tried again a second apart, three times: held throughout, the
// run fails with the sharing violation no sooner than three seconds on;
// freed meanwhile, it is read and the run succeeds.
TEST(ReadBack, SeesWhatIsOnDiskAndTriesAHeldFileThreeTimesMore)
{
    scratch_folder install;
    const fs::path watched = install / L"Watched\\watched.txt";
    // Extracts afresh; replace is called on the last progress report of
    // watched.txt, while the writer still has the file open.
    auto run = [&](const std::function<void()>& replace) {
        remove_tree(install.path());
        fs::create_directories(install.path());
        recorder rec;
        bool replaced = false;
        rec.answer = [&](const notification& n) {
            if (auto* p = std::get_if<notification::progress>(&n); p && p->done == p->total && !replaced) {
                replaced = true;
                if (!::MoveFileW(watched.parent_path().c_str(), (install / L"Moved").c_str()))
                    ADD_FAILURE() << "cannot move the folder away: " << ::GetLastError();
                fs::create_directories(watched.parent_path());
                replace();
            }
            return notification::result::proceed;
        };
        extract(compressed_archive({{u"first.txt", u"<InstallPath>", "first", 0},
                                    {u"watched.txt", u"<InstallPath>\\Watched", "the content written", 0}}),
                install.path(), rec);
        return rec;
    };
    const recorder changed = run([&] { write_file(watched, "something else"); });
    EXPECT_EQ(changed.last(failed_).code, make_error_code(compress_errc::invalid_checksum));
    EXPECT_EQ(changed.last(failed_).path, watched);
    EXPECT_EQ(changed.count(end_), 1u);

    vt::unique_file holder;
    const auto hold = [&] {
        write_file(watched, "the content written");
        holder.reset(::CreateFileW(watched.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr));
        ASSERT_TRUE(holder);
    };
    const auto start = std::chrono::steady_clock::now();
    const recorder held = run(hold);
    EXPECT_GE(std::chrono::steady_clock::now() - start, std::chrono::seconds(3))
        << "Sleep never ends early: three waits of a second";
    EXPECT_EQ(held.last(failed_).code, std::error_code(ERROR_SHARING_VIOLATION, std::system_category()));
    EXPECT_EQ(held.last(failed_).path, watched);
    holder.reset();

    std::jthread freeing;
    const recorder freed = run([&] {
        hold();
        // Freed well inside the three seconds of retries, whatever the load.
        freeing = std::jthread([&] {
            std::this_thread::sleep_for(std::chrono::milliseconds(1000));
            holder.reset();
        });
    });
    EXPECT_EQ(freed.count(end_), 2u);
    EXPECT_EQ(freed.count(failed_), 0u);
}

// A read-only file left at its destination is made writable and written
// over; held open as well, it fails the run and stays as it was.
TEST(Extract, OverAReadOnlyFileLeftInPlace)
{
    scratch_folder install;
    const fs::path target = install / L"Tablewright.exe";
    const std::string archive = compressed_archive({{u"Tablewright.exe", u"<InstallPath>", "the new program", 1}});
    const auto read_only = [&] { return (::GetFileAttributesW(target.c_str()) & FILE_ATTRIBUTE_READONLY) != 0; };
    write_file(target, "the old program");
    ASSERT_TRUE(::SetFileAttributesW(target.c_str(), FILE_ATTRIBUTE_READONLY));
    {
        vt::unique_file holder(
            ::CreateFileW(target.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr));
        ASSERT_TRUE(holder);
        recorder rec;
        EXPECT_FALSE(extract(archive, install.path(), rec));
        EXPECT_EQ(rec.last(failed_).code, std::error_code(ERROR_SHARING_VIOLATION, std::system_category()));
    }
    EXPECT_TRUE(read_only()) << "the attribute lifted for the file goes back on when it cannot be written";
    EXPECT_EQ(read_file(target), "the old program");

    recorder rec;
    ASSERT_TRUE(extract(archive, install.path(), rec));
    EXPECT_EQ(read_file(target), "the new program");
    EXPECT_FALSE(read_only());
}

// (A disk that fills up and damaged compressed data are reported through
// this mapping in the extraction and installation tests.)
TEST(ErrorFromException, MapsEveryFamilyToItsCode)
{
    // A failed stream operation: the runtime's error number when it recorded
    // no system error, else the failure's own code.
    const std::ios_base::failure write_failed("write");
    _doserrno = 0;
    errno = ENOSPC;
    EXPECT_EQ(error_from_exception(write_failed), std::error_code(ENOSPC, std::generic_category()));
    errno = 0;
    EXPECT_EQ(error_from_exception(write_failed), std::make_error_code(std::io_errc::stream));

    EXPECT_EQ(error_from_exception(boost::system::system_error(
                  boost::system::error_code(32, boost::system::system_category()))),
              std::error_code(32, std::system_category()));
    EXPECT_EQ(error_from_exception(std::runtime_error("x")), make_error_code(compress_errc::unexpected_error));
}
