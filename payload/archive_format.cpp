#include "payload/archive_format.h"

#include "payload/compress_error.h"
#include "payload/utf16.h"

#include <boost/crc.hpp>

#include <algorithm>
#include <limits>

namespace {

[[noreturn]] void malformed(const char* what)
{
    throw_compress_error(compress_errc::unexpected_error, what);
}

void put_le(std::string& out, std::uint64_t value, int bytes)
{
    for (int i = 0; i < bytes; ++i)
        out.push_back(static_cast<char>((value >> (8 * i)) & 0xFF));
}

void put_string(std::string& out, const std::u16string& text)
{
    put_le(out, text.size(), 4);
    for (char16_t unit : text)
        put_le(out, unit, 2);
}

// Reads fields from the collected header; any read past its end rejects the
// archive rather than yielding invented values.
class header_cursor {
public:
    header_cursor(const std::string& bytes) : data_(bytes.data()), left_(bytes.size()) {}

    std::uint64_t left() const noexcept { return left_; }

    std::uint64_t number(int bytes, const char* field)
    {
        if (left_ < static_cast<std::uint64_t>(bytes))
            malformed(field);
        std::uint64_t value = 0;
        for (int i = 0; i < bytes; ++i)
            value |= std::uint64_t(static_cast<unsigned char>(data_[i])) << (8 * i);
        data_ += bytes;
        left_ -= bytes;
        return value;
    }

    std::u16string text(const char* field)
    {
        const std::uint64_t units = number(4, field);
        if (units > left_ / 2)
            malformed(field);
        std::u16string result(static_cast<std::size_t>(units), u'\0');
        for (char16_t& unit : result) {
            unit = static_cast<char16_t>(static_cast<unsigned char>(data_[0]) |
                                         (static_cast<unsigned char>(data_[1]) << 8));
            data_ += 2;
        }
        left_ -= 2 * units;
        return result;
    }

private:
    const char* data_;
    std::uint64_t left_;
};

} // namespace

std::uint64_t archive_record_size(const archive_record& record)
{
    return archive_record_fixed_size + 2 * std::uint64_t(record.source.size()) +
           2 * std::uint64_t(record.destination.size());
}

std::uint64_t archive_header_length(const std::vector<archive_record>& records)
{
    std::uint64_t length = archive_prefix_size;
    for (const archive_record& record : records)
        length += archive_record_size(record);
    return length;
}

std::string encode_archive_header(const std::vector<archive_record>& records)
{
    if (records.size() > std::numeric_limits<std::uint32_t>::max())
        malformed("archive: too many entries");
    std::string out;
    out.reserve(static_cast<std::size_t>(archive_header_length(records)));
    put_le(out, archive_header_length(records), 8);
    put_le(out, records.size(), 4);
    for (const archive_record& record : records) {
        if (record.source.size() > std::numeric_limits<std::uint32_t>::max() ||
            record.destination.size() > std::numeric_limits<std::uint32_t>::max())
            malformed("archive: path too long");
        put_string(out, record.source);
        put_string(out, record.destination);
        put_le(out, record.kind, 4);
        put_le(out, record.size, 8);
        put_le(out, record.crc, 4);
    }
    return out;
}

std::uint64_t archive_total_length(std::uint64_t header_length, const std::vector<archive_record>& records)
{
    std::uint64_t total = header_length;
    for (const archive_record& record : records) {
        if (record.size > std::numeric_limits<std::uint64_t>::max() - total)
            malformed("archive header: sizes overflow");
        total += record.size;
    }
    return total;
}

std::uint32_t crc32_of(const void* data, std::size_t size)
{
    boost::crc_32_type crc;
    crc.process_bytes(data, size);
    return crc.checksum();
}

std::filesystem::path path_from_archive_string(const std::u16string& text)
{
#ifdef _WIN32
    return std::filesystem::path(std::wstring(text.begin(), text.end()));
#else
    return std::filesystem::path(utf8_from_utf16(text));
#endif
}

std::size_t archive_header_reader::feed(const char* bytes, std::size_t n)
{
    if (complete_)
        return 0;
    std::size_t take = 0;
    if (received_ < 8) {
        take = static_cast<std::size_t>(std::min<std::uint64_t>(8 - received_, n));
        buffer_.append(bytes, take);
        received_ += take;
        if (received_ == 8) {
            header_cursor cursor(buffer_);
            header_length_ = cursor.number(8, "archive header: length");
            if (header_length_ < archive_prefix_size)
                malformed("archive header: length below 12");
        }
        return take;
    }
    take = static_cast<std::size_t>(std::min<std::uint64_t>(header_length_ - received_, n));
    buffer_.append(bytes, take);
    received_ += take;
    if (received_ == header_length_)
        parse();
    return take;
}

void archive_header_reader::parse()
{
    header_cursor cursor(buffer_);
    cursor.number(8, "archive header: length");
    const std::uint64_t count = cursor.number(4, "archive header: entry count");
    // Every record takes at least 24 bytes: a count beyond that cannot be
    // true, and checking first keeps a lying count from allocating.
    if (count > cursor.left() / archive_record_fixed_size)
        malformed("archive header: entry count beyond the header");
    std::vector<archive_record> records(static_cast<std::size_t>(count));
    for (archive_record& record : records) {
        record.source = cursor.text("archive header: source path");
        record.destination = cursor.text("archive header: destination folder");
        record.kind = static_cast<std::uint32_t>(cursor.number(4, "archive header: kind"));
        record.size = cursor.number(8, "archive header: size");
        record.crc = static_cast<std::uint32_t>(cursor.number(4, "archive header: crc"));
    }
    archive_total_length(header_length_, records);
    records_ = std::move(records);
    complete_ = true;
    std::string().swap(buffer_);
}

std::vector<archive_record> archive_header_reader::take_records()
{
    std::string().swap(buffer_);
    return std::move(records_);
}
