#pragma once
// What the fuzz targets share: a property check that stops the run with the
// failed condition (libFuzzer then saves the input as a crash), and piece
// sizes that follow from the input itself, so that a saved input replays
// exactly the same way.

#include "tools/demo-payload/prng.h"

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>

namespace fuzz {

[[noreturn]] inline void fail(const char* condition, const char* file, int line)
{
    std::fprintf(stderr, "%s:%d: property broken: %s\n", file, line, condition);
    std::abort();
}

// Deterministic piece sizes: the same seed always cuts a stream at the
// same places.
class pieces {
public:
    explicit pieces(std::uint64_t seed) noexcept : random_(seed) {}
    std::uint64_t next() noexcept { return random_.next(); }
    // 1 to limit, mostly small: a decompressor or a file buffer hands over
    // pieces of any size, and the small ones cut fields apart.
    std::size_t size(std::size_t limit) noexcept
    {
        if (limit <= 1)
            return 1;
        std::uint64_t r = next();
        std::size_t cap = (r & 3) == 0 ? limit : (r & 3) == 1 ? 3 : 17;
        if (cap > limit)
            cap = limit;
        return 1 + static_cast<std::size_t>((r >> 8) % cap);
    }

private:
    prng random_;
};

// FNV-1a of the input: a seed for the pieces that needs no bytes of its own.
inline std::uint64_t hash(const std::uint8_t* data, std::size_t size) noexcept
{
    std::uint64_t h = 0xCBF29CE484222325ull;
    for (std::size_t i = 0; i < size; ++i)
        h = (h ^ data[i]) * 0x100000001B3ull;
    return h;
}

} // namespace fuzz

#define FUZZ_CHECK(condition) ((condition) ? void(0) : ::fuzz::fail(#condition, __FILE__, __LINE__))
