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
//   overflows); otherwise both read the same records;
// - the outcome does not depend on how the bytes were cut.

#include "fuzz_support.h"

#include "payload/archive_format.h"
#include "payload/compress_error.h"

#include <algorithm>
#include <cstring>
#include <limits>
#include <memory>
#include <string>
#include <system_error>
#include <tuple>
#include <vector>

namespace {

enum class verdict { incomplete, rejected, complete };

struct outcome {
    verdict result = verdict::incomplete;
    std::uint64_t header_length = 0;
    std::vector<archive_record> records;

    bool operator==(const outcome& other) const
    {
        auto fields = [](const archive_record& r) {
            return std::tie(r.source, r.destination, r.kind, r.size, r.crc);
        };
        return result == other.result && header_length == other.header_length &&
               std::ranges::equal(records, other.records, {}, fields, fields);
    }
};

// The format read the plain way, over the whole input at once.
outcome reference_reading(const std::uint8_t* data, std::size_t size)
{
    auto number = [&](std::uint64_t at, int bytes) {
        std::uint64_t value = 0;
        for (int i = 0; i < bytes; ++i)
            value |= std::uint64_t(data[at + i]) << (8 * i);
        return value;
    };
    if (size < 8)
        return {};
    const std::uint64_t h = number(0, 8);
    if (h < 12)
        return {verdict::rejected, h, {}};
    if (size < h)
        return {verdict::incomplete, h, {}};

    std::uint64_t at = 8;
    // A field of so many bytes, false when it runs past H.
    auto field = [&]<typename T>(int bytes, T& value) {
        if (h - at < std::uint64_t(bytes))
            return false;
        value = static_cast<T>(number(at, bytes));
        at += bytes;
        return true;
    };
    auto text = [&](std::u16string& out) {
        std::uint32_t units = 0;
        if (!field(4, units) || (h - at) / 2 < units)
            return false;
        for (std::uint32_t i = 0; i < units; ++i)
            out.push_back(static_cast<char16_t>(number(at + 2 * i, 2)));
        at += 2 * std::uint64_t(units);
        return true;
    };
    outcome o{verdict::complete, h, {}};
    std::uint32_t count = 0;
    std::uint64_t total = h;
    if (!field(4, count))
        return {verdict::rejected, h, {}};
    for (std::uint32_t i = 0; i < count; ++i) {
        archive_record r;
        if (!text(r.source) || !text(r.destination) || !field(4, r.kind) || !field(8, r.size) ||
            !field(4, r.crc) || r.size > std::numeric_limits<std::uint64_t>::max() - total)
            return {verdict::rejected, h, {}};
        total += r.size;
        o.records.push_back(std::move(r));
    }
    return o;
}

// Feeds the input in pieces (seed 0: all of it at once) as the payload
// reader's copy loop does: what the reader leaves is offered again.
outcome feed(const std::uint8_t* data, std::size_t size, std::uint64_t seed)
{
    archive_header_reader reader;
    fuzz::pieces cut(seed);
    std::size_t offset = 0;
    try {
        while (offset < size && !reader.complete()) {
            const std::size_t piece = seed == 0 ? size - offset : cut.size(size - offset);
            auto block = std::make_unique<char[]>(piece);
            std::memcpy(block.get(), data + offset, piece);
            for (std::size_t used = 0; used < piece && !reader.complete();) {
                const std::size_t took = reader.feed(block.get() + used, piece - used);
                // Taking nothing before the header is complete would stall
                // the copy loop for ever.
                FUZZ_CHECK(took > 0 && took <= piece - used);
                used += took;
                offset += took;
                FUZZ_CHECK(reader.received() == offset);
            }
        }
    } catch (const std::system_error& e) {
        FUZZ_CHECK(e.code() == make_error_code(compress_errc::unexpected_error));
        return {verdict::rejected, reader.header_length(), {}};
    }
    if (!reader.complete())
        return {verdict::incomplete, reader.header_length(), {}};
    char spare = 0;
    FUZZ_CHECK(reader.feed(&spare, 1) == 0);
    FUZZ_CHECK(offset == reader.header_length());
    return {verdict::complete, reader.header_length(), reader.take_records()};
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const outcome expected = reference_reading(data, size);
    FUZZ_CHECK(feed(data, size, 0) == expected);
    FUZZ_CHECK(feed(data, size, fuzz::seed_of(data, size)) == expected);
    return 0;
}
