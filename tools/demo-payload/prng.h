#pragma once
// A small deterministic random source for the demo payload: the same seed
// gives the same bytes on every machine and with every standard library
// (std::uniform_int_distribution and friends are not specified bit for bit).

#include <cstdint>
#include <string_view>

class prng {
public:
    explicit prng(std::uint64_t seed) : state_(seed) {}

    // splitmix64.
    std::uint64_t next() noexcept
    {
        std::uint64_t z = (state_ += 0x9E3779B97F4A7C15ull);
        z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
        z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
        return z ^ (z >> 31);
    }

    // 0 to n - 1 (n > 0); the tiny bias of the modulo does not matter here.
    std::uint32_t below(std::uint32_t n) noexcept { return std::uint32_t(next() % n); }

    // lo to hi inclusive.
    int between(int lo, int hi) noexcept { return lo + int(below(std::uint32_t(hi - lo + 1))); }

    // [0, 1).
    double unit() noexcept { return double(next() >> 11) * (1.0 / 9007199254740992.0); }

    template <typename T, std::size_t N>
    const T& pick(const T (&items)[N]) noexcept
    {
        return items[below(N)];
    }

private:
    std::uint64_t state_;
};

// A seed for one file: the payload's seed mixed with the file's name, so that
// adding or reordering files leaves the others' content as it was.
inline std::uint64_t file_seed(std::uint64_t seed, std::string_view name) noexcept
{
    std::uint64_t hash = 0xCBF29CE484222325ull ^ seed; // FNV-1a over the name
    for (unsigned char c : name)
        hash = (hash ^ c) * 0x100000001B3ull;
    return hash;
}
