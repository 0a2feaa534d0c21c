// File helpers of the extraction on Wine's real file system: path
// comparison, the read-back CRC-32 with its retries, and the mapping of
// failures to codes.

#include "payload/bzip2_error.h"
#include "payload/compress_error.h"
#include "payload/file_utils.h"
#include "payload/output_file.h"
#include "payload/payload_reader.h"
#include "payload/payload_writer.h"
#include "payload_test_support.h"
#include "support/memstream.h"
#include "support/unique_any.h"

#include <gtest/gtest.h>

#include <boost/system/system_error.hpp>

#include <bzlib.h>

#include <cerrno>
#include <chrono>
#include <optional>
#include <thread>

using namespace payload_test;
using std::chrono::steady_clock;

namespace {

constexpr std::size_t end_ = 3, progress_ = 4, failed_ = 5;

// Holds a file open without letting anybody read it, until released.
class file_holder {
public:
    explicit file_holder(const fs::path& path)
        : handle_(::CreateFileW(path.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr))
    {
    }
    bool holding() const { return static_cast<bool>(handle_); }
    void release() { handle_.reset(); }

private:
    vt::unique_file handle_;
};

double seconds_since(steady_clock::time_point start)
{
    return std::chrono::duration<double>(steady_clock::now() - start).count();
}

} // namespace

TEST(SamePath, ComparesAsPathsThenByIdentityThenWithoutCase)
{
    scratch_folder folder;
    fs::create_directories(folder / L"Sub\\Inner");
    const fs::path sub = folder / L"Sub";
    EXPECT_TRUE(same_path(L"C:\\x\\y", L"C:/x/y"));
    EXPECT_TRUE(same_path(sub, sub));
    EXPECT_TRUE(same_path(sub, folder.path().wstring() + L"\\SUB")) << "the same folder on disk";
    EXPECT_TRUE(same_path(sub, folder / L"Sub\\Inner\\.."));
    EXPECT_TRUE(same_path(L"C:\\Does\\Not\\Exist", L"c:\\does\\NOT\\exist"));
    EXPECT_TRUE(same_path(L"C:\\Does\\Not\\Exist\\..\\Exist", L"c:\\does\\not\\exist"));
    EXPECT_FALSE(same_path(sub, folder / L"Sub\\Inner"));
    EXPECT_FALSE(same_path(L"C:\\Does\\Not\\Exist", L"C:\\Does\\Not\\Exis"));
    EXPECT_FALSE(same_path(L"C:\\a", L"D:\\a"));
}

TEST(FileCrc32, ReadsTheFileBackFromDisk)
{
    scratch_folder folder;
    const std::string data = realistic_bytes(100000, 5);
    write_file(folder / L"f.bin", data);
    EXPECT_EQ(file_crc32(folder / L"f.bin"), crc32_of(data.data(), data.size()));
    write_file(folder / L"empty", "");
    EXPECT_EQ(file_crc32(folder / L"empty"), 0u);
    try {
        file_crc32(folder / L"missing");
        ADD_FAILURE() << "no error";
    } catch (const fs::filesystem_error& e) {
        EXPECT_EQ(e.code(), std::error_code(ERROR_FILE_NOT_FOUND, std::system_category()));
        EXPECT_EQ(e.path1(), folder / L"missing");
    }
}

// Between the last chunk of an entry and its read-back, the file's folder
// is moved away and a different file put in its place: the read-back sees
// what is on disk, not what was written. (Wine lets a folder be moved while
// a file in it is open, as POSIX does; Windows would refuse, and there the
// same situation arises from another program opening or changing the file
// in the instant between close and read-back.)
class ReadBack : public ::testing::Test {
protected:
    scratch_folder install;
    const std::vector<file_spec> files = {
        {u"first.txt", u"<InstallPath>", "first", 0},
        {u"watched.txt", u"<InstallPath>\\Watched", "the content written", 0},
    };

    // Runs the extraction; replace is called on the last progress report of
    // watched.txt, while the writer still has the file open.
    bool run(recorder& rec, std::function<void(const fs::path&)> replace)
    {
        bool replaced = false;
        rec.answer = [&](const notification& n) {
            if (auto* p = std::get_if<notification::progress>(&n); p && p->done == p->total && !replaced) {
                replaced = true;
                const fs::path folder = install / L"Watched";
                if (!::MoveFileW(folder.c_str(), (install / L"Watched-moved").c_str()))
                    ADD_FAILURE() << "cannot move the folder away: " << ::GetLastError();
                fs::create_directories(folder);
                replace(folder / L"watched.txt");
            }
            return notification::result::proceed;
        };
        return extract(compressed_archive(files), install.path(), rec);
    }
};

TEST_F(ReadBack, AFileChangedOnDiskFailsWithInvalidChecksum)
{
    recorder rec;
    EXPECT_FALSE(run(rec, [](const fs::path& file) { write_file(file, "something else"); }));
    ASSERT_NE(rec.last(failed_), nullptr);
    EXPECT_EQ(rec.last(failed_)->code, make_error_code(compress_errc::invalid_checksum));
    EXPECT_EQ(rec.last(failed_)->path, install / L"Watched\\watched.txt");
    EXPECT_EQ(rec.count(end_), 1u);
}

// A file held by another program is tried again a second apart, three
// times: held throughout, the run fails with the sharing violation no sooner
// than three seconds on; freed meanwhile, it is read and the run succeeds.
TEST_F(ReadBack, AHeldFileIsTriedThreeTimesMoreASecondApart)
{
    std::optional<file_holder> holder;
    const auto hold = [&](const fs::path& file) {
        write_file(file, "the content written");
        holder.emplace(file);
        ASSERT_TRUE(holder->holding());
    };
    recorder held;
    const auto start = steady_clock::now();
    EXPECT_FALSE(run(held, hold));
    EXPECT_GE(seconds_since(start), 3.0) << "Sleep never ends early: three waits of a second";
    ASSERT_NE(held.last(failed_), nullptr);
    EXPECT_EQ(held.last(failed_)->code, std::error_code(ERROR_SHARING_VIOLATION, std::system_category()));
    EXPECT_EQ(held.last(failed_)->path, install / L"Watched\\watched.txt");

    holder.reset();
    fs::remove_all(install.path());
    fs::create_directories(install.path());
    std::jthread freeing;
    recorder freed;
    EXPECT_TRUE(run(freed, [&](const fs::path& file) {
        hold(file);
        // Freed well inside the three seconds of retries, whatever the load.
        freeing = std::jthread([&] {
            std::this_thread::sleep_for(std::chrono::milliseconds(1000));
            holder->release();
        });
    }));
    EXPECT_EQ(freed.count(end_), 2u);
}

TEST(ErrorFromException, MapsEveryFamilyToItsCode)
{
    _doserrno = ERROR_DISK_FULL;
    EXPECT_EQ(error_from_exception(std::ios_base::failure("write")),
              std::error_code(ERROR_DISK_FULL, std::system_category()));
    _doserrno = 0;
    errno = ENOSPC;
    EXPECT_EQ(error_from_exception(std::ios_base::failure("write")), std::error_code(ENOSPC, std::generic_category()));
    errno = 0;
    EXPECT_EQ(error_from_exception(std::ios_base::failure("write")), std::make_error_code(std::io_errc::stream))
        << "without a recorded error the failure's own code";

    EXPECT_EQ(error_from_exception(bzip2_error(BZ_DATA_ERROR)), make_error_code(compress_errc::bzip2_error));
    EXPECT_EQ(error_from_exception(fs::filesystem_error("x", L"C:\\p", std::error_code(5, std::system_category()))),
              std::error_code(5, std::system_category()));
    EXPECT_EQ(error_from_exception(std::system_error(make_error_code(compress_errc::interrupted))),
              make_error_code(compress_errc::interrupted));
    EXPECT_EQ(error_from_exception(boost::system::system_error(
                  boost::system::error_code(ENOENT, boost::system::generic_category()))),
              std::error_code(ENOENT, std::generic_category()));
    EXPECT_EQ(error_from_exception(boost::system::system_error(
                  boost::system::error_code(32, boost::system::system_category()))),
              std::error_code(32, std::system_category()));
    EXPECT_EQ(error_from_exception(std::runtime_error("x")), make_error_code(compress_errc::unexpected_error));
    EXPECT_EQ(error_from_exception(std::bad_alloc()), make_error_code(compress_errc::unexpected_error));
}
