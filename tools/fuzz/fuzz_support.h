#pragma once
// What the fuzz targets share: a property check that stops the run with the
// failed condition (libFuzzer then saves the input as a crash), and piece
// sizes that follow from the input itself, so that a saved input replays
// exactly the same way.

#include "tools/demo-payload/prng.h"

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <string_view>

namespace fuzz {

// The run's stack trace, which libFuzzer prints, tells where the rule is.
inline void check(bool holds, const char* rule)
{
    if (!holds) {
        std::fprintf(stderr, "property broken: %s\n", rule);
        std::abort();
    }
}

// A seed that needs no bytes of its own: the input's hash.
inline std::uint64_t seed_of(const std::uint8_t* data, std::size_t size) noexcept
{
    return file_seed(0, std::string_view(reinterpret_cast<const char*>(data), size)) | 1;
}

// Deterministic piece sizes: the same seed always cuts a stream at the
// same places.
class pieces : public prng {
public:
    using prng::prng;
    // 1 to limit, mostly small: a decompressor or a file buffer hands over
    // pieces of any size, and the small ones cut fields apart.
    std::size_t size(std::size_t limit) noexcept
    {
        const std::uint64_t r = next();
        const std::size_t cap = (r & 3) == 0 ? limit : (r & 3) == 1 ? 3 : 17;
        return 1 + static_cast<std::size_t>((r >> 8) % std::max<std::size_t>(1, std::min(cap, limit)));
    }
};

// Piece sizes as the codec driver asks for them; seed 0 offers everything
// at once.
inline std::function<std::size_t(std::size_t)> cut(std::uint64_t seed)
{
    if (seed == 0)
        return {};
    return [cutter = pieces(seed)](std::size_t left) mutable { return cutter.size(left); };
}

} // namespace fuzz

#define FUZZ_CHECK(condition) ::fuzz::check(condition, #condition)
