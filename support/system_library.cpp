#include "support/system_library.h"

#include "support/error.h"

namespace vt {

void restrict_library_search() noexcept
{
    // kernel32 is a known library, always mapped from System32; the function
    // is looked up because older systems lack it.
    using set_default_dll_directories = BOOL(WINAPI*)(DWORD);
    HMODULE kernel = ::GetModuleHandleW(L"kernel32.dll");
    auto set_default = kernel ? reinterpret_cast<set_default_dll_directories>(reinterpret_cast<void*>(
                                    ::GetProcAddress(kernel, "SetDefaultDllDirectories")))
                              : nullptr;
    if (!set_default || !set_default(LOAD_LIBRARY_SEARCH_SYSTEM32))
        ::SetDllDirectoryW(L""); // at least the current folder leaves the search
}

HMODULE system_library(const wchar_t* name)
{
    HMODULE module = ::LoadLibraryExW(name, nullptr, LOAD_LIBRARY_SEARCH_SYSTEM32);
    if (!module)
        throw_last_error("LoadLibraryExW");
    return module;
}

void* system_function(const wchar_t* library, const char* name)
{
    FARPROC address = ::GetProcAddress(system_library(library), name);
    if (!address)
        throw_win32(ERROR_PROC_NOT_FOUND, name);
    return reinterpret_cast<void*>(address);
}

} // namespace vt
