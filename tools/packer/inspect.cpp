#include "inspect.h"

#include "manifest.h"
#include "payload/bzip2_decompressor.h"
#include "payload/utf16.h"

#include <boost/crc.hpp>
#include <boost/iostreams/compose.hpp>
#include <boost/iostreams/read.hpp>

#include <algorithm>
#include <cinttypes>
#include <cstdio>
#include <fstream>

namespace fs = std::filesystem;
namespace io = boost::iostreams;

namespace {

// The decompressed bytes of an archive file.
class decoded_archive {
public:
    explicit decoded_archive(const fs::path& path) : file_(path, std::ios::binary), source_(io::compose(bzip2_decompressor(), file_))
    {
        if (!file_)
            throw std::runtime_error("cannot read " + path.string());
        char magic[4] = {};
        file_.read(magic, 4);
        if (file_.gcount() == 4 && magic[0] == 'B' && magic[1] == 'Z' && magic[2] == 'h' && magic[3] >= '1' &&
            magic[3] <= '9')
            block_size_ = magic[3] - '0';
        file_.clear();
        file_.seekg(0);
        compressed_length_ = fs::file_size(path);
    }

    // Up to n bytes; 0 at the end.
    std::size_t read(char* out, std::size_t n)
    {
        const std::streamsize got = io::read(source_, out, static_cast<std::streamsize>(n));
        return got < 0 ? 0 : static_cast<std::size_t>(got);
    }

    int block_size() const noexcept { return block_size_; }
    std::uint64_t compressed_length() const noexcept { return compressed_length_; }

private:
    std::ifstream file_;
    io::composite<bzip2_decompressor, std::istream> source_;
    int block_size_ = 0;
    std::uint64_t compressed_length_ = 0;
};

archive_overview read_header(decoded_archive& archive)
{
    if (archive.block_size() == 0)
        throw std::runtime_error("not a bzip2 file");
    archive_header_reader reader;
    char byte;
    // One byte at a time: the reader never takes more than the header.
    while (!reader.complete()) {
        if (archive.read(&byte, 1) == 0)
            throw std::runtime_error("the archive ends inside its header (" + std::to_string(reader.received()) +
                                     " bytes)");
        reader.feed(&byte, 1);
    }
    archive_overview overview;
    overview.block_size = archive.block_size();
    overview.compressed_length = archive.compressed_length();
    overview.header_length = reader.header_length();
    overview.records = reader.take_records();
    return overview;
}

std::string hex32(std::uint32_t value)
{
    char text[9];
    std::snprintf(text, sizeof text, "%08" PRIx32, value);
    return text;
}

std::string target_of(const archive_record& record)
{
    std::u16string_view source = record.source;
    const auto slash = source.find_last_of(u"\\/");
    const std::u16string_view name = slash == std::u16string_view::npos ? source : source.substr(slash + 1);
    return utf8_from_utf16(record.destination) + "\\" + utf8_from_utf16(name);
}

std::string entry_line(const archive_record& record)
{
    char size[24];
    std::snprintf(size, sizeof size, "%12" PRIu64, record.size);
    std::string kind = kind_name(record.kind);
    kind.resize(std::max<std::size_t>(kind.size(), 15), ' ');
    return kind + " " + size + "  " + hex32(record.crc) + "  " + target_of(record) + "  (" +
           utf8_from_utf16(record.source) + ")";
}

} // namespace

archive_overview read_overview(const fs::path& path)
{
    decoded_archive archive(path);
    return read_header(archive);
}

void print_listing(const archive_overview& overview, std::ostream& out)
{
    out << "bzip2 block size " << overview.block_size << ", " << overview.compressed_length << " compressed bytes\n"
        << "header length " << overview.header_length << ", " << overview.records.size() << " entries, archive length "
        << archive_total_length(overview.header_length, overview.records) << "\n";
    for (const archive_record& record : overview.records)
        out << entry_line(record) << "\n";
}

int verify_archive(const fs::path& path, std::ostream& out)
{
    int problems = 0;
    auto problem = [&](const std::string& text) {
        ++problems;
        out << "PROBLEM " << text << "\n";
    };
    try {
        decoded_archive archive(path);
        const archive_overview overview = read_header(archive);
        out << "bzip2 block size " << overview.block_size << ", " << overview.compressed_length
            << " compressed bytes\n";
        if (overview.block_size != 9)
            out << "note: the installer's payload is normally written with block size 9\n";

        const std::uint64_t records_end = archive_header_length(overview.records);
        out << "header length " << overview.header_length << ", " << overview.records.size() << " entries\n";
        if (records_end != overview.header_length)
            problem("header length " + std::to_string(overview.header_length) + ", but its records end at " +
                    std::to_string(records_end));

        std::vector<char> block(1 << 16);
        std::size_t number = 0;
        for (const archive_record& record : overview.records) {
            ++number;
            const std::string where = "entry " + std::to_string(number) + ": ";
            if (record.kind > 5)
                problem(where + "unknown kind " + std::to_string(record.kind));
            if (const std::string p = destination_problem(record.destination); !p.empty())
                problem(where + p);
            const auto slash = record.source.find_last_of(u"\\/");
            const std::u16string_view name = slash == std::u16string::npos
                                                 ? std::u16string_view(record.source)
                                                 : std::u16string_view(record.source).substr(slash + 1);
            if (const std::string p = file_name_problem(name); !p.empty())
                problem(where + "source: " + p);

            boost::crc_32_type crc;
            std::uint64_t left = record.size;
            while (left > 0) {
                const std::size_t got = archive.read(block.data(), std::min<std::uint64_t>(left, block.size()));
                if (got == 0)
                    break;
                crc.process_bytes(block.data(), got);
                left -= got;
            }
            if (left > 0) {
                problem(where + "the archive ends after " + std::to_string(record.size - left) + " of its " +
                        std::to_string(record.size) + " bytes");
                return problems;
            }
            const bool crc_ok = crc.checksum() == record.crc;
            out << (crc_ok ? "OK      " : "BAD     ") << entry_line(record) << "\n";
            if (!crc_ok)
                problem(where + "CRC-32 of the data is " + hex32(crc.checksum()) + ", the header says " +
                        hex32(record.crc));
        }
        std::uint64_t extra = 0;
        for (std::size_t got; (got = archive.read(block.data(), block.size())) > 0;)
            extra += got;
        if (extra > 0)
            problem(std::to_string(extra) + " bytes follow the last entry");
        else
            out << "archive length " << archive_total_length(overview.header_length, overview.records) << "\n";
    } catch (const bzip2_error& e) {
        problem("the compressed data is damaged or cut short (libbz2 code " + std::to_string(e.bz_code()) + ")");
    } catch (const std::exception& e) {
        problem(e.what());
    }
    return problems;
}
