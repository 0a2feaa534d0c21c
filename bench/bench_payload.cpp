// Payload benchmark (not a test): decodes and extracts a payload archive
// under the real file system and reports, for the installer's goals,
//   - the raw libbz2 decode time of the stream,
//   - check_payload (goal: within 1.05 x one raw decode),
//   - extract_payload with a callback that answers proceed (goal: within
//     1.3 x one raw decode plus writing and re-reading the same files with
//     plain file I/O),
//   - the memory above the process's baseline (goal: below 8 MB),
//   - how soon the check that runs beside the wizard ends when it is
//     stopped (goal: within 100 ms).
// Each measurement is repeated and the fastest run reported.
//
//   bench_payload ARCHIVE.bz2 WORKDIR [RUNS]
//
// The files are extracted below WORKDIR, except those of the shared-folder
// macros, which are removed again afterwards (and the folders they needed,
// when empty).

#include "payload/archive_format.h"
#include "payload/background_payload_check.h"
#include "payload/destination_macros.h"
#include "payload/path_macros.h"
#include "payload/payload_reader.h"
#include "support/memstream.h"
#include "support/unique_any.h"

#include <windows.h>
#include <psapi.h>
#include <shlobj.h>

#include <bzlib.h>

#include <boost/crc.hpp>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <functional>
#include <memory>
#include <thread>
#include <vector>

namespace fs = std::filesystem;
using clock_type = std::chrono::steady_clock;

namespace {

// Wine reports the working set (the resident set of the process) but no
// private byte count.
struct memory_sample {
    std::size_t working_set = 0;
};

memory_sample memory_now()
{
    PROCESS_MEMORY_COUNTERS counters{};
    counters.cb = sizeof counters;
    ::GetProcessMemoryInfo(::GetCurrentProcess(), &counters, sizeof counters);
    return {counters.WorkingSetSize};
}

// Samples the process's memory every few milliseconds while a phase runs.
class memory_watch {
public:
    memory_watch()
        : thread_([this] {
              while (!stop_) {
                  peak_working_set_ = std::max<std::size_t>(peak_working_set_, memory_now().working_set);
                  ::Sleep(5); // the peak lasts a whole decode: no need to look more often
              }
          })
    {
    }
    ~memory_watch()
    {
        stop_ = true;
        thread_.join();
    }
    void reset()
    {
        peak_working_set_ = memory_now().working_set;
    }
    memory_sample peak() const { return {peak_working_set_}; }

private:
    std::atomic<bool> stop_{false};
    std::atomic<std::size_t> peak_working_set_{0};
    std::thread thread_;
};

double seconds(clock_type::duration d) { return std::chrono::duration<double>(d).count(); }

// CPU time of this thread (user and kernel), which the other processes of a
// busy machine disturb far less than the wall clock.
double thread_cpu_seconds()
{
    FILETIME created, exited, kernel, user;
    ::GetThreadTimes(::GetCurrentThread(), &created, &exited, &kernel, &user);
    auto value = [](const FILETIME& t) {
        return (static_cast<std::uint64_t>(t.dwHighDateTime) << 32 | t.dwLowDateTime) / 1e7;
    };
    return value(kernel) + value(user);
}

// Wall-clock and CPU time of one phase; the best of several runs is kept.
struct timing {
    double wall = 1e9;
    double cpu = 1e9;
};

template <typename Work>
void measure(timing& best, Work work)
{
    const double cpu_start = thread_cpu_seconds();
    const auto start = clock_type::now();
    work();
    best.wall = std::min(best.wall, seconds(clock_type::now() - start));
    best.cpu = std::min(best.cpu, thread_cpu_seconds() - cpu_start);
}

// The archive file mapped into memory, as the resource is in the installer.
class mapped_file {
public:
    explicit mapped_file(const fs::path& path)
    {
        vt::unique_file file(::CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr));
        if (!file)
            throw std::runtime_error("cannot open the archive");
        LARGE_INTEGER size{};
        ::GetFileSizeEx(file.get(), &size);
        size_ = static_cast<std::size_t>(size.QuadPart);
        mapping_.reset(::CreateFileMappingW(file.get(), nullptr, PAGE_READONLY, 0, 0, nullptr));
        data_ = mapping_ ? static_cast<const char*>(::MapViewOfFile(mapping_.get(), FILE_MAP_READ, 0, 0, 0)) : nullptr;
        if (!data_)
            throw std::runtime_error("cannot map the archive");
        // Bring every page in, so that the baseline holds the archive as a
        // loaded module holds its resources.
        volatile char sum = 0;
        for (std::size_t i = 0; i < size_; i += 4096)
            sum = static_cast<char>(sum + data_[i]);
    }
    ~mapped_file() { ::UnmapViewOfFile(data_); }
    const char* data() const { return data_; }
    std::size_t size() const { return size_; }

private:
    vt::unique_handle mapping_;
    const char* data_ = nullptr;
    std::size_t size_ = 0;
};

std::uint64_t raw_decode(const char* data, std::size_t size, std::vector<char>& out)
{
    bz_stream s{};
    if (BZ2_bzDecompressInit(&s, 0, 0) != BZ_OK)
        throw std::runtime_error("BZ2_bzDecompressInit");
    s.next_in = const_cast<char*>(data);
    s.avail_in = static_cast<unsigned>(size);
    std::uint64_t total = 0;
    int rc = BZ_OK;
    while (rc == BZ_OK) {
        s.next_out = out.data();
        s.avail_out = static_cast<unsigned>(out.size());
        rc = BZ2_bzDecompress(&s);
        total += out.size() - s.avail_out;
    }
    BZ2_bzDecompressEnd(&s);
    if (rc != BZ_STREAM_END)
        throw std::runtime_error("the archive does not decode");
    return total;
}

// Writes data with plain file I/O in 64 KB blocks, then reads it back.
void plain_write(const fs::path& path, const std::string& data)
{
    vt::unique_file file(::CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
    for (std::size_t offset = 0; offset < data.size();) {
        const DWORD piece = static_cast<DWORD>(std::min<std::size_t>(65536, data.size() - offset));
        DWORD written = 0;
        if (!::WriteFile(file.get(), data.data() + offset, piece, &written, nullptr) || written == 0)
            throw std::runtime_error("plain write failed");
        offset += written;
    }
}

// Reads a file back in 64 KB blocks; with crc, also computes its CRC-32.
// Returns the bytes read.
std::uint64_t plain_read(const fs::path& path, std::vector<char>& block, bool crc, std::uint32_t& checksum)
{
    vt::unique_file file(::CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr));
    boost::crc_32_type sum;
    std::uint64_t total = 0;
    for (DWORD got = 0; ::ReadFile(file.get(), block.data(), static_cast<DWORD>(block.size()), &got, nullptr) && got;) {
        if (crc)
            sum.process_bytes(block.data(), got);
        total += got;
    }
    checksum = sum.checksum();
    return total;
}

std::string load(const fs::path& path)
{
    std::string data(static_cast<std::size_t>(fs::file_size(path)), '\0');
    vt::unique_file file(::CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr));
    DWORD got = 0;
    for (std::size_t offset = 0; offset < data.size(); offset += got)
        if (!::ReadFile(file.get(), data.data() + offset, static_cast<DWORD>(std::min<std::size_t>(1 << 24, data.size() - offset)), &got, nullptr) || !got)
            throw std::runtime_error("load failed");
    return data;
}

// Removes what the extraction wrote outside the work folder, and the folders
// that held only that.
void remove_written(const std::vector<fs::path>& files, const fs::path& work)
{
    // The special folders themselves stay, even when empty.
    std::vector<fs::path> keep = {work};
    for (const destination_macro& m : destination_macros)
        if (m.csidl != 0)
            keep.push_back(known_folder_path(m.csidl));
    std::error_code ec;
    for (const fs::path& file : files) {
        ::SetFileAttributesW(file.c_str(), FILE_ATTRIBUTE_NORMAL);
        fs::remove(file, ec);
        for (fs::path folder = file.parent_path(); folder.has_relative_path(); folder = folder.parent_path()) {
            if (std::find(keep.begin(), keep.end(), folder) != keep.end() || !fs::remove(folder, ec))
                break; // a special folder, or one that holds something else
        }
    }
    fs::remove_all(work, ec);
}

struct figures {
    timing raw, check, extract, write, read, read_crc;
};

} // namespace

int wmain(int argc, wchar_t** argv)
{
    if (argc < 3) {
        std::fprintf(stderr, "usage: bench_payload ARCHIVE.bz2 WORKDIR [RUNS]\n");
        return 2;
    }
    const fs::path archive_path = argv[1];
    const fs::path work = argv[2];
    const int runs = argc > 3 ? _wtoi(argv[3]) : 3;
    try {
        mapped_file archive(archive_path);
        std::vector<char> raw_buffer(1 << 20), block(65536);

        auto extract_once = [&](const fs::path& target, std::vector<fs::path>* written) {
            vt::imemstream stream(archive.data(), archive.size());
            notification_callback proceed = [written](notification n) {
                if (written)
                    if (auto* e = std::get_if<notification::entry_end>(&n))
                        written->push_back(e->entry.destination);
                return notification::result::proceed;
            };
            if (!extract_payload(stream, target / L"install", target / L"samples", target / L"temporary", proceed))
                throw std::runtime_error("the extraction failed");
        };
        // The baseline: the archive mapped and read, the benchmark's own
        // buffers allocated, nothing decoded yet.
        memory_watch watch;
        const memory_sample baseline = memory_now();
        std::uint64_t archive_length = 0;

        figures best;
        std::size_t peak_raw = 0, peak_check = 0, peak_extract = 0;
        std::vector<fs::path> written;
        for (int run = 0; run < runs; ++run) {
            // Raw decode and check alternate in order, so that neither
            // always runs on a warmer (or busier) machine.
            auto raw_phase = [&] {
                watch.reset();
                measure(best.raw, [&] { archive_length = raw_decode(archive.data(), archive.size(), raw_buffer); });
                peak_raw = std::max(peak_raw, watch.peak().working_set);
            };
            auto check_phase = [&] {
                watch.reset();
                vt::imemstream stream(archive.data(), archive.size());
                measure(best.check, [&] {
                    if (!check_payload(stream))
                        throw std::runtime_error("check_payload failed");
                });
                peak_check = std::max(peak_check, watch.peak().working_set);
            };
            if (run % 2 == 0) {
                raw_phase();
                check_phase();
            } else {
                check_phase();
                raw_phase();
            }

            written.clear();
            written.reserve(1024);
            watch.reset();
            measure(best.extract, [&] { extract_once(work / L"extract", &written); });
            peak_extract = std::max(peak_extract, watch.peak().working_set);

            // The same files, written and read back with plain file I/O.
            timing write, read, read_crc;
            write = read = read_crc = timing{0, 0};
            fs::create_directories(work / L"plain");
            for (std::size_t i = 0; i < written.size(); ++i) {
                const std::string data = load(written[i]);
                const fs::path copy = work / L"plain" / std::to_wstring(i);
                timing one;
                measure(one, [&] { plain_write(copy, data); });
                write.wall += one.wall;
                write.cpu += one.cpu;
                one = timing{};
                std::uint32_t checksum = 0;
                measure(one, [&] {
                    if (plain_read(copy, block, false, checksum) != data.size())
                        throw std::runtime_error("plain re-read came short");
                });
                read.wall += one.wall;
                read.cpu += one.cpu;
                one = timing{};
                measure(one, [&] { plain_read(copy, block, true, checksum); });
                if (checksum != crc32_of(data.data(), data.size()))
                    throw std::runtime_error("plain re-read differs");
                read_crc.wall += one.wall;
                read_crc.cpu += one.cpu;
            }
            auto keep_best = [](timing& kept, const timing& total) {
                kept.wall = std::min(kept.wall, total.wall);
                kept.cpu = std::min(kept.cpu, total.cpu);
            };
            keep_best(best.write, write);
            keep_best(best.read, read);
            keep_best(best.read_crc, read_crc);
            remove_written(written, work);
        }

        const double mb = 1024.0 * 1024.0;
        auto above = [&](std::size_t peak) {
            return peak > baseline.working_set ? static_cast<double>(peak - baseline.working_set) / mb : 0.0;
        };
        std::printf("payload: %zu compressed bytes, %llu archive bytes (%.2f:1), %zu files, best of %d runs\n",
                    archive.size(), static_cast<unsigned long long>(archive_length),
                    static_cast<double>(archive_length) / static_cast<double>(archive.size()), written.size(), runs);
        std::printf("baseline: working set %.1f MB\n", baseline.working_set / mb);
        std::printf("%-42s %9s %9s %9s %9s\n", "measurement (seconds)", "wall", "ratio", "cpu", "ratio");
        auto row = [](const char* name, const timing& t) { std::printf("%-42s %9.3f %9s %9.3f\n", name, t.wall, "", t.cpu); };
        auto ratio_row = [](const char* name, const timing& t, const timing& base, double goal) {
            const double wall = t.wall / base.wall, cpu = t.cpu / base.cpu;
            std::printf("%-42s %9.3f %9.3f %9.3f %9.3f  goal <= %.2f: %s\n", name, t.wall, wall, t.cpu, cpu, goal,
                        wall <= goal && cpu <= goal ? "met" : wall <= goal || cpu <= goal ? "met on one clock" : "MISSED");
        };
        row("raw libbz2 decode (1 MB output buffer)", best.raw);
        ratio_row("check_payload / raw decode", best.check, best.raw, 1.05);
        row("plain write (64 KB blocks)", best.write);
        row("plain re-read (64 KB blocks)", best.read);
        row("plain re-read with CRC-32 (for reference)", best.read_crc);
        const timing base{best.raw.wall + best.write.wall + best.read.wall, best.raw.cpu + best.write.cpu + best.read.cpu};
        row("raw decode + plain write + plain re-read", base);
        ratio_row("extract_payload / (raw + plain)", best.extract, base, 1.3);
        std::printf("peak working set above baseline (MB): raw decode %.1f, check_payload %.1f, extract_payload %.1f"
                    "  goal < 8: %s\n",
                    above(peak_raw), above(peak_check), above(peak_extract), above(peak_extract) < 8 ? "met" : "MISSED");

        // The check that runs beside the wizard, stopped as the wizard stops
        // it when the user leaves: how long until its threads are gone
        // (goal: within 100 ms), at several points of the check.
        double slowest_stop_ms = 0;
        for (const int after_ms : {0, 50, 200, 500, 1000}) {
            auto check = std::make_unique<background_payload_check>(archive.data(), archive.size());
            ::Sleep(DWORD(after_ms));
            const auto stop_start = std::chrono::steady_clock::now();
            check.reset();
            slowest_stop_ms = std::max(
                slowest_stop_ms,
                std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - stop_start).count());
        }
        std::printf("background check stopped 0 to 1000 ms after its start: threads gone in at most %.1f ms"
                    "  goal < 100: %s\n",
                    slowest_stop_ms, slowest_stop_ms < 100 ? "met" : "MISSED");
        return 0;
    } catch (const std::exception& e) {
        std::fprintf(stderr, "bench_payload: %s\n", e.what());
        return 1;
    }
}
