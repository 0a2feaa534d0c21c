#include "payload/output_file.h"

#include <windows.h>

#include <algorithm>

namespace {

[[noreturn]] void throw_file_error(const char* what, const std::filesystem::path& path)
{
    const DWORD error = ::GetLastError();
    throw std::filesystem::filesystem_error(
        what, path, std::error_code(static_cast<int>(error ? error : ERROR_GEN_FAILURE), std::system_category()));
}

} // namespace

output_file::output_file(const std::filesystem::path& path, bool replace)
    : handle_(::CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, replace ? CREATE_ALWAYS : CREATE_NEW,
                            FILE_ATTRIBUTE_NORMAL | FILE_FLAG_SEQUENTIAL_SCAN, nullptr)),
      path_(path)
{
    if (!handle_)
        throw_file_error("open", path_);
}

void output_file::write(const char* data, std::size_t n)
{
    while (n > 0) {
        const DWORD piece = static_cast<DWORD>(std::min<std::size_t>(n, 1u << 30));
        DWORD written = 0;
        if (!::WriteFile(handle_.get(), data, piece, &written, nullptr))
            throw_file_error("write", path_);
        if (written == 0) {
            ::SetLastError(ERROR_WRITE_FAULT);
            throw_file_error("write", path_);
        }
        data += written;
        n -= written;
    }
}

void output_file::close()
{
    HANDLE handle = handle_.release();
    if (handle != INVALID_HANDLE_VALUE && !::CloseHandle(handle))
        throw_file_error("close", path_);
}
