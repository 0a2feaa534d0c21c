#pragma once
// The error category of the payload ("compress"): failures that are neither
// the operating system's nor the runtime library's own. The values are shown
// to the user in decimal in the installation's failure message, so they never
// change.

#include <system_error>

enum class compress_errc {
    invalid_checksum = 3, // a written file's CRC-32 differs from its entry's
    invalid_archive = 4,  // the payload failed its check before extraction
    interrupted = 5,      // the callback asked to abort
    bzip2_error = 6,      // the decompressor met damaged or truncated data
    unexpected_error = 7, // malformed archive, missing shell folder, anything else
};

template <>
struct std::is_error_code_enum<compress_errc> : std::true_type {};

const std::error_category& compress_category() noexcept;

inline std::error_code make_error_code(compress_errc e) noexcept
{
    return {static_cast<int>(e), compress_category()};
}

// Throws std::system_error with the code e.
[[noreturn]] void throw_compress_error(compress_errc e, const char* what);
