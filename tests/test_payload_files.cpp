// File helpers of the extraction on Wine's real file system: path
// comparison, the read-only attribute, the read-back CRC-32 with its retries,
// the memory stream over the payload, and the mapping of failures to codes.

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
#include <thread>

using namespace payload_test;
using std::chrono::steady_clock;

namespace {

constexpr std::size_t end_ = 3, progress_ = 4, failed_ = 5;

// Holds a file open without letting anybody read it, for a while.
class file_holder {
public:
    file_holder(const fs::path& path, std::chrono::milliseconds duration)
        : handle_(::CreateFileW(path.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr))
    {
        if (handle_)
            thread_ = std::thread([this, duration] {
                std::this_thread::sleep_for(duration);
                handle_.reset();
            });
    }
    ~file_holder()
    {
        if (thread_.joinable())
            thread_.join();
    }
    bool holding() const { return static_cast<bool>(handle_); }

private:
    vt::unique_file handle_;
    std::thread thread_;
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

TEST(SetReadOnly, ChangesOnlyTheReadOnlyBitOfRegularFiles)
{
    scratch_folder folder;
    const fs::path file = folder / L"file.txt";
    write_file(file, "x");
    ::SetFileAttributesW(file.c_str(), FILE_ATTRIBUTE_ARCHIVE);
    set_read_only(file, true);
    EXPECT_EQ(::GetFileAttributesW(file.c_str()), DWORD(FILE_ATTRIBUTE_ARCHIVE | FILE_ATTRIBUTE_READONLY));
    set_read_only(file, true);
    EXPECT_EQ(::GetFileAttributesW(file.c_str()), DWORD(FILE_ATTRIBUTE_ARCHIVE | FILE_ATTRIBUTE_READONLY));
    set_read_only(file, false);
    EXPECT_EQ(::GetFileAttributesW(file.c_str()), DWORD(FILE_ATTRIBUTE_ARCHIVE));

    set_read_only(folder.path(), true);
    EXPECT_EQ(::GetFileAttributesW(folder.path().c_str()) & FILE_ATTRIBUTE_READONLY, 0u) << "folders are left alone";
    set_read_only(folder / L"missing.txt", true); // nothing to do, nothing raised
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

// The extraction closes a file where it ends and again when an error
// unwinds past it: the second close must change nothing.
TEST(OutputFile, ClosesOnce)
{
    scratch_folder folder;
    output_file file(folder / L"f.bin");
    file.write("oak", 3);
    file.close();
    EXPECT_FALSE(file.is_open());
    EXPECT_NO_THROW(file.close());
    EXPECT_EQ(file_crc32(folder / L"f.bin"), crc32_of("oak", 3));
}

TEST(FileCrc32, ASharingViolationIsRetriedEverySecondThreeTimes)
{
    scratch_folder folder;
    const fs::path file = folder / L"held.bin";
    write_file(file, "content");

    {
        file_holder holder(file, std::chrono::milliseconds(1500));
        ASSERT_TRUE(holder.holding());
        const auto start = steady_clock::now();
        EXPECT_EQ(file_crc32(file), crc32_of("content", 7));
        const double waited = seconds_since(start);
        EXPECT_GE(waited, 1.9) << "two retries, one second apart";
        EXPECT_LT(waited, 3.5) << "not a fourth attempt";
    }
    {
        file_holder holder(file, std::chrono::milliseconds(4500));
        ASSERT_TRUE(holder.holding());
        const auto start = steady_clock::now();
        try {
            file_crc32(file);
            ADD_FAILURE() << "no error";
        } catch (const fs::filesystem_error& e) {
            EXPECT_EQ(e.code(), std::error_code(ERROR_SHARING_VIOLATION, std::system_category()));
            EXPECT_EQ(e.path1(), file);
        }
        const double waited = seconds_since(start);
        EXPECT_GE(waited, 2.95) << "three retries before giving up";
        EXPECT_LT(waited, 4.4);
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

TEST_F(ReadBack, AFileHeldByAnotherProgramIsReadOnceItIsFree)
{
    std::unique_ptr<file_holder> holder;
    recorder rec;
    const auto start = steady_clock::now();
    EXPECT_TRUE(run(rec, [&](const fs::path& file) {
        write_file(file, "the content written");
        holder = std::make_unique<file_holder>(file, std::chrono::milliseconds(1500));
        ASSERT_TRUE(holder->holding());
    }));
    EXPECT_GE(seconds_since(start), 1.9);
    EXPECT_EQ(rec.count(end_), 2u);
}

TEST_F(ReadBack, AFourthSharingViolationFailsWithSystemError32)
{
    std::unique_ptr<file_holder> holder;
    recorder rec;
    EXPECT_FALSE(run(rec, [&](const fs::path& file) {
        write_file(file, "the content written");
        holder = std::make_unique<file_holder>(file, std::chrono::milliseconds(4500));
        ASSERT_TRUE(holder->holding());
    }));
    ASSERT_NE(rec.last(failed_), nullptr);
    EXPECT_EQ(rec.last(failed_)->code, std::error_code(ERROR_SHARING_VIOLATION, std::system_category()));
    EXPECT_EQ(rec.last(failed_)->path, install / L"Watched\\watched.txt");
}

TEST(MemoryStream, ServesTheBytesInPlaceAndRewinds)
{
    const char data[] = "0123456789";
    vt::imemstream stream(data, 10);
    EXPECT_EQ(stream.rdbuf()->in_avail(), 10);
    char buffer[4] = {};
    stream.read(buffer, 4);
    EXPECT_EQ(std::string(buffer, 4), "0123");
    EXPECT_EQ(stream.tellg(), 4);
    stream.seekg(-2, std::ios::end);
    EXPECT_EQ(stream.get(), '8');
    EXPECT_TRUE(stream.unget());
    EXPECT_FALSE(stream.putback('x')) << "the memory is read-only";
    stream.clear();
    stream.seekg(0);
    std::string all(std::istreambuf_iterator<char>(stream), {});
    EXPECT_EQ(all, "0123456789");
    EXPECT_EQ(stream.rdbuf()->in_avail(), -1) << "nothing more will ever come";
    stream.clear();
    EXPECT_FALSE(stream.seekg(11).good()) << "no seeking beyond the end";

    vt::imemstream moved(std::move(stream));
    moved.clear();
    moved.seekg(5);
    EXPECT_EQ(moved.get(), '5');
    EXPECT_EQ(moved.data(), data);
    EXPECT_EQ(stream.size(), 0u);

    vt::imemstream empty;
    EXPECT_EQ(empty.get(), std::char_traits<char>::eof());
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

TEST(ErrorFromException, AFileSystemErrorOutsideAnEntryCarriesItsPath)
{
    // The callback fails with a file-system error while nothing is written.
    recorder rec;
    rec.answer = [](const notification& n) -> notification::result {
        if (n.index() == progress_)
            throw fs::filesystem_error("journal", L"C:\\journal\\file", std::error_code(5, std::system_category()));
        return notification::result::proceed;
    };
    scratch_folder install;
    EXPECT_FALSE(extract(compressed_archive({{u"a", u"<InstallPath>", "a", 0}}), install.path(), rec));
    ASSERT_NE(rec.last(failed_), nullptr);
    EXPECT_EQ(rec.last(failed_)->code, std::error_code(5, std::system_category()));
    EXPECT_EQ(rec.last(failed_)->path, fs::path(L"C:\\journal\\file"));
}
