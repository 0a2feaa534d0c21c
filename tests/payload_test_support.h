#pragma once
// Helpers of the payload tests: archives built in memory, scratch folders on
// the real file system, and a callback that records every notification.

#include "engine/installation_sequence.h"
#include "payload/archive_format.h"
#include "payload/bzip2_compressor.h"
#include "payload/notification.h"
#include "payload/payload_reader.h"
#include "scratch_folder.h"

#include <windows.h>

#include <filesystem>
#include <functional>
#include <random>
#include <sstream>
#include <string>
#include <vector>

namespace payload_test {

namespace fs = std::filesystem;

struct file_spec {
    std::u16string source;      // as stored; its file name is used
    std::u16string destination; // stored destination folder
    std::string data;
    std::uint32_t kind = 0;
};

// The uncompressed archive; crc_override replaces the stored CRC-32 of
// entries (index -> value).
inline std::string archive_bytes(const std::vector<file_spec>& files,
                                 const std::vector<std::pair<std::size_t, std::uint32_t>>& crc_override = {})
{
    std::vector<archive_record> records;
    for (const file_spec& f : files)
        records.push_back({f.source, f.destination, f.kind, f.data.size(), crc32_of(f.data.data(), f.data.size())});
    for (const auto& [index, crc] : crc_override)
        records[index].crc = crc;
    std::string bytes = encode_archive_header(records);
    for (const file_spec& f : files)
        bytes += f.data;
    return bytes;
}

inline std::string compressed_archive(const std::vector<file_spec>& files) { return bzip2_compress(archive_bytes(files)); }

inline std::u16string u16(const std::wstring& text) { return std::u16string(text.begin(), text.end()); }

// Bytes that compress about as well as real program files do.
inline std::string realistic_bytes(std::size_t n, unsigned seed)
{
    std::mt19937 rng(seed);
    std::string out(n, '\0');
    for (std::size_t i = 0; i < n; ++i)
        out[i] = static_cast<char>(rng() % 3 == 0 ? rng() : "tablewright"[rng() % 11]);
    return out;
}

// A folder of a name of its own below base, removed at the end with
// everything in it (read-only files included).
class folder_below {
public:
    folder_below(const fs::path& base, const std::wstring& tag);
    ~folder_below();
    folder_below(const folder_below&) = delete;
    folder_below& operator=(const folder_below&) = delete;
    const fs::path& path() const noexcept { return path_; }
    fs::path operator/(const fs::path& relative) const { return path_ / relative; }
    // The name of the folder, for use after a macro.
    std::wstring name() const { return path_.filename().wstring(); }

private:
    fs::path path_;
};

// A folder of its own under the temporary folder, made at once.
class scratch_folder : public folder_below {
public:
    explicit scratch_folder(const std::wstring& tag = L"vt-payload");
};

// The target of a shell link file; empty when it cannot be read.
fs::path link_target(const fs::path& link);

using portable_test::remove_tree;
std::string read_file(const fs::path& path);
void write_file(const fs::path& path, const std::string& data);
// Every file and folder below root, relative, sorted.
std::vector<std::wstring> tree(const fs::path& root);

// The notifications by their index in the variant.
constexpr std::size_t started_ = 0, completed_ = 1, begin_ = 2, end_ = 3, progress_ = 4, failed_ = 5;

// One notification as the tests look at it.
struct event {
    std::size_t index = 0; // the notification's alternative
    std::uint64_t a = 0, b = 0; // progress done/total, completed copied/total
    fs::path path;              // entry destination, failure path
    std::error_code code;       // failure code
};

// A callback that records every notification and answers through answer
// (proceed when unset). The recorder outlives the extraction; the callback
// holds a reference to it.
class recorder {
public:
    std::function<notification::result(const notification&)> answer;
    std::vector<event> events;

    notification_callback callback();

    std::size_t count(std::size_t index) const;
    // The last event of that index; a default one (no code, no path) if none.
    event last(std::size_t index) const;
    // Only the started, begin, end and completed events, as text.
    std::vector<std::wstring> outline() const;
};

// The install page as a test sees it: the log, the status and every
// position of the progress bar.
class recording_view : public installation_view {
public:
    void append_log(const std::wstring& text) override { log += text; }
    void set_status(const std::wstring& text) override { status = text; }
    void show_progress() override { positions.push_back(0); }
    void set_progress(unsigned percent) override { positions.push_back(percent); }
    HWND owner() const override { return nullptr; }

    // The log split into its lines.
    std::vector<std::wstring> lines() const
    {
        std::vector<std::wstring> out;
        std::wistringstream in(log);
        for (std::wstring line; std::getline(in, line);) {
            if (!line.empty() && line.back() == L'\r')
                line.pop_back();
            out.push_back(line);
        }
        return out;
    }

    std::wstring log;
    std::wstring status;
    std::vector<unsigned> positions;
};

// The product's registration, read back as the list of programs reads it,
// for an installation into folder in English.
void expect_registration(const fs::path& folder);

// Runs the whole extraction over compressed bytes in memory.
bool extract(const std::string& compressed, const fs::path& install, recorder& rec);

} // namespace payload_test
