// Hostile payload headers. The input is the archive as the decompressor
// yields it (header, then file data). archive_header_reader gets it in pieces
// of random size, offered again from where it stopped taking, as the stream
// copy of the payload reader does; each piece lies in a heap block of exactly
// its size, so a read past it is caught by AddressSanitizer.
//
// Properties:
// - the reader takes at most what it is offered, and only header bytes;
// - a rejection is always unexpected_error of the compress category, and
//   comes exactly when an independent reading of the format finds the header
//   contradicting itself (length below 12, a record past H, sizes whose sum
//   overflows);
// - a complete header holds records that lie within H and re-encode to the
//   very bytes they were read from;
// - the outcome does not depend on how the bytes were cut;
// - the stored strings convert to paths and back without loss.

#include "fuzz_support.h"

#include "payload/archive_format.h"
#include "payload/compress_error.h"
#include "payload/utf16.h"

#include <algorithm>
#include <cstring>
#include <limits>
#include <memory>
#include <optional>
#include <string>
#include <system_error>
#include <vector>

namespace {

enum class verdict { incomplete, rejected, complete };

struct outcome {
    verdict result = verdict::incomplete;
    std::uint64_t header_length = 0;
    std::uint64_t taken = 0;
    std::vector<archive_record> records;
};

bool same_records(const std::vector<archive_record>& a, const std::vector<archive_record>& b)
{
    if (a.size() != b.size())
        return false;
    for (std::size_t i = 0; i < a.size(); ++i) {
        if (a[i].source != b[i].source || a[i].destination != b[i].destination || a[i].kind != b[i].kind ||
            a[i].size != b[i].size || a[i].crc != b[i].crc)
            return false;
    }
    return true;
}

// The format read the plain way, over the whole input at once.
class reference_reader {
public:
    reference_reader(const std::uint8_t* data, std::size_t size) : data_(data), size_(size) {}

    outcome read()
    {
        outcome o;
        if (size_ < 8)
            return o;
        o.header_length = number(0, 8);
        if (o.header_length < archive_prefix_size)
            return rejected(o);
        if (size_ < o.header_length)
            return o;
        end_ = o.header_length;
        std::uint64_t count = 0;
        if (!field(4, count))
            return rejected(o);
        std::uint64_t total = o.header_length;
        for (std::uint64_t i = 0; i < count; ++i) {
            archive_record record;
            std::uint64_t kind = 0, crc = 0;
            if (!text(record.source) || !text(record.destination) || !field(4, kind) || !field(8, record.size) ||
                !field(4, crc))
                return rejected(o);
            record.kind = static_cast<std::uint32_t>(kind);
            record.crc = static_cast<std::uint32_t>(crc);
            if (record.size > std::numeric_limits<std::uint64_t>::max() - total)
                return rejected(o);
            total += record.size;
            o.records.push_back(std::move(record));
        }
        o.result = verdict::complete;
        o.taken = o.header_length;
        return o;
    }

private:
    static outcome rejected(outcome o)
    {
        o.result = verdict::rejected;
        o.records.clear();
        return o;
    }

    std::uint64_t number(std::uint64_t at, int bytes) const
    {
        std::uint64_t value = 0;
        for (int i = 0; i < bytes; ++i)
            value |= std::uint64_t(data_[at + i]) << (8 * i);
        return value;
    }

    bool field(int bytes, std::uint64_t& value)
    {
        if (end_ - position_ < std::uint64_t(bytes))
            return false;
        value = number(position_, bytes);
        position_ += bytes;
        return true;
    }

    bool text(std::u16string& out)
    {
        std::uint64_t units = 0;
        if (!field(4, units) || (end_ - position_) / 2 < units)
            return false;
        for (std::uint64_t i = 0; i < units; ++i)
            out.push_back(static_cast<char16_t>(number(position_ + 2 * i, 2)));
        position_ += 2 * units;
        return true;
    }

    const std::uint8_t* data_;
    std::size_t size_;
    std::uint64_t position_ = 8;
    std::uint64_t end_ = 0;
};

// Feeds the input in pieces (seed 0: all of it at once) as the payload
// reader's copy loop does: what the reader leaves is offered again.
outcome feed(const std::uint8_t* data, std::size_t size, std::uint64_t seed)
{
    archive_header_reader reader;
    fuzz::pieces cut(seed);
    outcome o;
    std::size_t offset = 0;
    try {
        while (offset < size && !reader.complete()) {
            std::size_t piece = seed == 0 ? size - offset : cut.size(size - offset);
            auto block = std::make_unique<char[]>(piece);
            std::memcpy(block.get(), data + offset, piece);
            std::size_t used = 0;
            while (used < piece) {
                bool was_complete = reader.complete();
                std::size_t took = reader.feed(block.get() + used, piece - used);
                FUZZ_CHECK(took <= piece - used);
                if (was_complete)
                    FUZZ_CHECK(took == 0);
                if (took == 0) {
                    // Only a complete header refuses bytes; anything else
                    // would stall the copy loop for ever.
                    FUZZ_CHECK(reader.complete());
                    break;
                }
                used += took;
                offset += took;
                FUZZ_CHECK(reader.received() == offset);
                if (!reader.complete())
                    FUZZ_CHECK(reader.records().empty());
            }
        }
    } catch (const std::system_error& e) {
        FUZZ_CHECK(e.code() == make_error_code(compress_errc::unexpected_error));
        o.result = verdict::rejected;
        o.header_length = reader.header_length();
        return o;
    }
    o.header_length = reader.header_length();
    o.taken = offset;
    if (reader.complete()) {
        o.result = verdict::complete;
        char spare = 0;
        FUZZ_CHECK(reader.feed(&spare, 1) == 0);
        o.records = reader.records();
        std::vector<archive_record> taken = reader.take_records();
        FUZZ_CHECK(same_records(taken, o.records));
    } else {
        FUZZ_CHECK(offset == size);
    }
    return o;
}

// The string with every unpaired surrogate replaced, as the conversion to
// UTF-8 must do.
std::u16string with_lone_surrogates_replaced(const std::u16string& text)
{
    std::u16string out = text;
    for (std::size_t i = 0; i < out.size(); ++i) {
        char16_t c = out[i];
        if (c >= 0xD800 && c <= 0xDBFF && i + 1 < out.size() && out[i + 1] >= 0xDC00 && out[i + 1] <= 0xDFFF)
            ++i;
        else if (c >= 0xD800 && c <= 0xDFFF)
            out[i] = 0xFFFD;
    }
    return out;
}

void check_path_conversion(const std::u16string& stored)
{
    std::string utf8 = utf8_from_utf16(stored);
    std::optional<std::u16string> back = utf16_from_utf8(utf8);
    FUZZ_CHECK(back.has_value());
    FUZZ_CHECK(*back == with_lone_surrogates_replaced(stored));
    FUZZ_CHECK(path_from_archive_string(stored).native() == utf8);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const outcome expected = reference_reader(data, size).read();
    const outcome whole = feed(data, size, 0);
    const outcome cut = feed(data, size, fuzz::hash(data, size) | 1);

    for (const outcome* o : {&whole, &cut}) {
        FUZZ_CHECK(o->result == expected.result);
        FUZZ_CHECK(same_records(o->records, expected.records));
        if (o->result != verdict::incomplete)
            FUZZ_CHECK(o->header_length == expected.header_length);
    }

    if (whole.result == verdict::complete) {
        const std::uint64_t h = whole.header_length;
        FUZZ_CHECK(h >= archive_prefix_size && h <= size);
        FUZZ_CHECK(whole.taken == h && cut.taken == h);
        // The records lie within H; whatever follows them up to H is ignored.
        const std::uint64_t used = archive_header_length(whole.records);
        FUZZ_CHECK(used <= h);
        const std::string encoded = encode_archive_header(whole.records);
        FUZZ_CHECK(encoded.size() == used);
        FUZZ_CHECK(std::memcmp(encoded.data() + 8, data + 8, encoded.size() - 8) == 0);
        FUZZ_CHECK(archive_total_length(h, whole.records) >= h);
        for (const archive_record& record : whole.records) {
            check_path_conversion(record.source);
            check_path_conversion(record.destination);
        }
    }
    return 0;
}
