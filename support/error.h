#pragma once
// Failures inside the installer are exceptions carrying a std::error_code:
// Windows error codes and HRESULT values in the system category, runtime error
// numbers in the generic category, payload failures in the compress category.

#include <windows.h>

#include <system_error>

namespace vt {

[[noreturn]] inline void throw_win32(DWORD code, const char* what)
{
    throw std::system_error(static_cast<int>(code), std::system_category(), what);
}

[[noreturn]] inline void throw_last_error(const char* what)
{
    DWORD code = ::GetLastError();
    throw_win32(code ? code : ERROR_GEN_FAILURE, what);
}

[[noreturn]] inline void throw_hresult(HRESULT hr, const char* what)
{
    throw std::system_error(static_cast<int>(hr), std::system_category(), what);
}

inline void check_hresult(HRESULT hr, const char* what)
{
    if (FAILED(hr))
        throw_hresult(hr, what);
}

// Registry functions return their error instead of setting the last error.
inline void check_win32(LSTATUS status, const char* what)
{
    if (status != ERROR_SUCCESS)
        throw_win32(static_cast<DWORD>(status), what);
}

// The system calls our callbacks from C code, which no exception may cross:
// whatever the callback throws ends here, and the system gets the fallback.
template <typename Result, typename Callback>
Result exception_barrier(Result fallback, Callback&& callback) noexcept
{
    try {
        return callback();
    } catch (...) {
        return fallback;
    }
}

} // namespace vt
