#include "support/security_api.h"

#include "support/error.h"

namespace vt::security_api {

namespace {
HMODULE advapi32 = nullptr;
}

HMODULE module()
{
    if (!advapi32) {
        // Never the ordinary search: it starts in the program's own folder.
        HMODULE found = ::LoadLibraryExW(L"advapi32.dll", nullptr, LOAD_LIBRARY_SEARCH_SYSTEM32);
        if (!found)
            vt::throw_hresult(E_UNEXPECTED, "advapi32.dll");
        // Kept for the life of the process, like the addresses taken from it.
        advapi32 = found;
    }
    return advapi32;
}

void* function_address(const char* name)
{
    FARPROC address = ::GetProcAddress(module(), name);
    if (!address)
        vt::throw_hresult(E_NOTIMPL, name);
    return reinterpret_cast<void*>(address);
}

void throw_last_error()
{
    const DWORD error = ::GetLastError();
    vt::throw_hresult(HRESULT_FROM_WIN32(error ? error : ERROR_GEN_FAILURE), "security function");
}

} // namespace vt::security_api
