#include "pack.h"

#include "payload/archive_format.h"
#include "payload/bzip2_compressor.h"

#include <boost/crc.hpp>

#include <fstream>
#include <memory>
#include <random>

namespace fs = std::filesystem;

namespace {

struct file_summary {
    std::uint64_t size = 0;
    std::uint32_t crc = 0;
};

// Reads a source file in blocks, handing each to consume.
template <typename Consume>
file_summary read_file(const manifest_entry& entry, const std::string& manifest_name, Consume consume)
{
    std::ifstream in(entry.file, std::ios::binary);
    if (!in)
        throw manifest_error(manifest_name, entry.line, "source file '" + entry.file.string() + "' cannot be read");
    boost::crc_32_type crc;
    file_summary summary;
    std::vector<char> block(1 << 16);
    while (in) {
        in.read(block.data(), static_cast<std::streamsize>(block.size()));
        const auto got = static_cast<std::size_t>(in.gcount());
        crc.process_bytes(block.data(), got);
        consume(block.data(), got);
        summary.size += got;
    }
    if (in.bad())
        throw manifest_error(manifest_name, entry.line, "reading '" + entry.file.string() + "' failed");
    summary.crc = crc.checksum();
    return summary;
}

// The archive being written; removed unless committed.
class partial_file {
public:
    explicit partial_file(const fs::path& output)
    {
        std::random_device random;
        path_ = output;
        path_ += ".partial-" + std::to_string(random());
    }
    partial_file(const partial_file&) = delete;
    partial_file& operator=(const partial_file&) = delete;
    ~partial_file()
    {
        if (!committed_) {
            std::error_code ec;
            fs::remove(path_, ec);
        }
    }
    const fs::path& path() const noexcept { return path_; }
    void commit(const fs::path& output)
    {
        fs::rename(path_, output);
        committed_ = true;
    }

private:
    fs::path path_;
    bool committed_ = false;
};

} // namespace

pack_result pack_archive(const std::vector<manifest_entry>& entries, const fs::path& output,
                         const std::string& manifest_name)
{
    std::vector<archive_record> records;
    records.reserve(entries.size());
    for (const manifest_entry& entry : entries) {
        const file_summary summary = read_file(entry, manifest_name, [](const char*, std::size_t) {});
        records.push_back({entry.source, entry.destination, entry.kind, summary.size, summary.crc});
    }

    pack_result result;
    result.header_length = archive_header_length(records);
    result.archive_length = archive_total_length(result.header_length, records);

    partial_file partial(output);
    {
        std::ofstream out(partial.path(), std::ios::binary | std::ios::trunc);
        if (!out)
            throw std::runtime_error("cannot create " + partial.path().string());
        bzip2_compressor compressor(out, 9);
        const std::string header = encode_archive_header(records);
        compressor.write(header.data(), header.size());
        for (std::size_t i = 0; i < entries.size(); ++i) {
            const file_summary again = read_file(entries[i], manifest_name, [&](const char* data, std::size_t n) {
                compressor.write(data, n);
            });
            // The header already promised the first reading's size and CRC.
            if (again.size != records[i].size || again.crc != records[i].crc)
                throw manifest_error(manifest_name, entries[i].line,
                                     "source file '" + entries[i].file.string() + "' changed while being packed");
        }
        compressor.finish();
        out.close();
        if (!out)
            throw std::runtime_error("writing " + partial.path().string() + " failed");
    }
    result.compressed_length = fs::file_size(partial.path());
    partial.commit(output);
    return result;
}
