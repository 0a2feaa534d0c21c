#pragma once
// A failure reported by libbz2: damaged or truncated compressed data, or a
// library error. Its code is bzip2_error (6) of the compress category; the
// library's own return code is kept for diagnostics.

#include "payload/compress_error.h"

#include <system_error>

class bzip2_error : public std::system_error {
public:
    // bz_code: the libbz2 return code (BZ_DATA_ERROR, BZ_UNEXPECTED_EOF, ...).
    explicit bzip2_error(int bz_code);

    int bz_code() const noexcept { return bz_code_; }

private:
    int bz_code_;
};
