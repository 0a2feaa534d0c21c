// The parallel bzip2 decoder against libbz2's own decoder, driven directly
// here (one BZ2_bzDecompress loop per concatenated stream), so that the two
// sides share no code of ours.
//
// Input: a control byte, a size byte, then data. The control byte picks the
// block size (1 to 9) and what the decoder is given:
//   0 the data compressed by libbz2 (expanded to up to 255 kB by the size
//     byte, so that small inputs still make streams of several blocks),
//   1 that stream with one bit flipped,
//   2 that stream cut short,
//   3 that stream followed by bytes of the data,
//   4 two such streams back to back,
//   5 the data itself as a compressed stream.
// Properties: the decoder succeeds exactly when libbz2 does, and then with
// the same bytes; it raises nothing but bzip2_error; however the input is
// cut into pieces and whatever the threads and blocks in flight.

#include "fuzz_support.h"
#include "payload/parallel_bzip2.h"

#include <bzlib.h>

#include <algorithm>
#include <cstring>
#include <string>

namespace {

std::string compress(const std::string& plain, int block_size)
{
    // The worst case of bzip2 is 1 % larger plus 600 bytes.
    std::string out(plain.size() + plain.size() / 100 + 600, '\0');
    auto length = static_cast<unsigned>(out.size());
    const int rc = BZ2_bzBuffToBuffCompress(out.data(), &length, const_cast<char*>(plain.data()),
                                            static_cast<unsigned>(plain.size()), block_size, 0, 0);
    FUZZ_CHECK(rc == BZ_OK);
    out.resize(length);
    return out;
}

// libbz2 reading one stream after another until the input ends; the input
// must end exactly after a stream, and hold at least one.
bool libbz2_decode(const std::string& input, std::string& plain)
{
    std::size_t used = 0;
    do {
        bz_stream s{};
        FUZZ_CHECK(BZ2_bzDecompressInit(&s, 0, 0) == BZ_OK);
        s.next_in = const_cast<char*>(input.data() + used);
        s.avail_in = static_cast<unsigned>(input.size() - used);
        int rc = BZ_OK;
        for (std::size_t produced = 1; rc == BZ_OK && (produced > 0 || s.avail_in > 0);) {
            char buffer[65536];
            s.next_out = buffer;
            s.avail_out = sizeof buffer;
            rc = BZ2_bzDecompress(&s);
            produced = sizeof buffer - s.avail_out;
            plain.append(buffer, produced);
        }
        used = input.size() - s.avail_in;
        BZ2_bzDecompressEnd(&s);
        if (rc != BZ_STREAM_END)
            return false;
    } while (used < input.size());
    return true;
}

bool parallel_decode(const std::string& input, fuzz::pieces& cuts, std::string& plain)
{
    parallel_bzip2_settings settings;
    settings.threads = 1 + static_cast<unsigned>(cuts.next() % 3);
    settings.blocks_in_flight = static_cast<unsigned>(cuts.next() % 5); // 0: the default
    parallel_bzip2_decoder decoder(settings);
    std::size_t fed = 0;
    try {
        for (;;) {
            switch (decoder.next()) {
            case parallel_bzip2_decoder::step::output: {
                char buffer[4096];
                const std::size_t got = decoder.take(buffer, cuts.size(sizeof buffer));
                FUZZ_CHECK(got > 0);
                plain.append(buffer, got);
                break;
            }
            case parallel_bzip2_decoder::step::input:
                if (fed == input.size()) {
                    decoder.input_ended();
                } else {
                    const std::size_t n =
                        std::min({decoder.input_capacity(), input.size() - fed, cuts.size(input.size())});
                    std::memcpy(decoder.input_space(), input.data() + fed, n);
                    decoder.input_arrived(n);
                    fed += n;
                }
                break;
            case parallel_bzip2_decoder::step::finished:
                return true;
            }
        }
    } catch (const bzip2_error&) {
        return false;
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    if (size < 3)
        return 0;
    const unsigned control = data[0];
    const int block_size = 1 + static_cast<int>(control % 9);
    const unsigned mode = (control / 9) % 6;
    const std::string bytes(reinterpret_cast<const char*>(data) + 2, size - 2);
    fuzz::pieces cuts(fuzz::seed_of(data, size));

    // The data stretched to the size byte's kilobytes, each round through it
    // a little different so that the blocks differ too.
    std::string plain = bytes;
    const std::size_t wanted = std::size_t{data[1]} * 1024;
    for (std::size_t i = plain.size(); i < wanted; ++i)
        plain.push_back(static_cast<char>(bytes[i % bytes.size()] ^ static_cast<char>(i / bytes.size())));

    std::string input = mode == 5 ? bytes : compress(plain, block_size);
    switch (mode) {
    case 1: {
        // Often in the stream's head or its trailer (end magic and stream
        // CRC), which are few of its bits but checked on their own.
        const std::uint64_t r = cuts.next();
        const std::size_t bits = input.size() * 8, edge = std::min<std::size_t>(bits, 80);
        const std::size_t bit = r % 4 == 0 ? bits - 1 - r / 4 % edge : r % 4 == 1 ? r / 4 % edge : r / 4 % bits;
        input[bit / 8] = static_cast<char>(input[bit / 8] ^ (1 << (bit % 8)));
        break;
    }
    case 2:
        input.resize(cuts.next() % input.size());
        break;
    case 3:
        input += bytes.substr(0, cuts.size(bytes.size()));
        break;
    case 4:
        input += compress(bytes, 1 + static_cast<int>(cuts.next() % 9));
        break;
    }

    std::string expected, got;
    const bool expected_ok = libbz2_decode(input, expected);
    const bool got_ok = parallel_decode(input, cuts, got);
    FUZZ_CHECK(got_ok == expected_ok && (!expected_ok || got == expected));
    if (mode == 0)
        FUZZ_CHECK(got_ok && got == plain);
    return 0;
}
