#include "payload/compress_error.h"

#include "payload/bzip2_error.h"

#include <string>

namespace {

class compress_category_impl final : public std::error_category {
public:
    const char* name() const noexcept override { return "compress"; }

    std::string message(int value) const override
    {
        // invalid_archive deliberately has no text of its own.
        switch (static_cast<compress_errc>(value)) {
        case compress_errc::invalid_checksum:
            return "invalid checksum";
        case compress_errc::interrupted:
            return "interrupted";
        case compress_errc::bzip2_error:
            return "bzip2 error";
        case compress_errc::unexpected_error:
            return "unexpected error";
        default:
            return "unknown error";
        }
    }
};

} // namespace

const std::error_category& compress_category() noexcept
{
    static const compress_category_impl category;
    return category;
}

void throw_compress_error(compress_errc e, const char* what)
{
    throw std::system_error(make_error_code(e), what);
}

bzip2_error::bzip2_error(int bz_code)
    : std::system_error(make_error_code(compress_errc::bzip2_error), "bzip2 (libbz2 code " + std::to_string(bz_code) + ")"),
      bz_code_(bz_code)
{
}
