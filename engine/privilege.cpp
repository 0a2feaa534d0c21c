#include "engine/privilege.h"

#include "support/unique_any.h"

#include <windows.h>

namespace {

using lookup_privilege_value_fn = BOOL(WINAPI*)(LPCWSTR, LPCWSTR, PLUID);
using adjust_token_privileges_fn = BOOL(WINAPI*)(HANDLE, BOOL, PTOKEN_PRIVILEGES, DWORD, PTOKEN_PRIVILEGES, PDWORD);
using open_process_token_fn = BOOL(WINAPI*)(HANDLE, DWORD, PHANDLE);

// The security functions are bound at run time. The library is searched in
// the safe default folders when the system knows that flag (older systems
// without the search-path update reject it, hence the plain second try).
struct advapi32 {
    vt::unique_module module;
    open_process_token_fn open_process_token = nullptr;
    lookup_privilege_value_fn lookup_privilege_value = nullptr;
    adjust_token_privileges_fn adjust_token_privileges = nullptr;

    advapi32()
    {
        module.reset(::LoadLibraryExW(L"advapi32.dll", nullptr, LOAD_LIBRARY_SEARCH_DEFAULT_DIRS));
        if (!module)
            module.reset(::LoadLibraryExW(L"advapi32.dll", nullptr, 0));
        if (!module)
            return;
        open_process_token = bind<open_process_token_fn>("OpenProcessToken");
        lookup_privilege_value = bind<lookup_privilege_value_fn>("LookupPrivilegeValueW");
        adjust_token_privileges = bind<adjust_token_privileges_fn>("AdjustTokenPrivileges");
    }

    template <typename F>
    F bind(const char* name) const noexcept
    {
        return reinterpret_cast<F>(reinterpret_cast<void*>(::GetProcAddress(module.get(), name)));
    }

    bool usable() const noexcept { return open_process_token && lookup_privilege_value && adjust_token_privileges; }
};

} // namespace

bool set_privilege(const wchar_t* name, bool enable) noexcept
{
    static const advapi32 api;
    if (!api.usable())
        return false;

    vt::unique_handle token;
    if (!api.open_process_token(::GetCurrentProcess(), TOKEN_ADJUST_PRIVILEGES | TOKEN_QUERY, token.put()))
        return false;
    TOKEN_PRIVILEGES privileges{};
    privileges.PrivilegeCount = 1;
    if (!api.lookup_privilege_value(nullptr, name, &privileges.Privileges[0].Luid))
        return false;
    privileges.Privileges[0].Attributes = enable ? SE_PRIVILEGE_ENABLED : 0;
    if (!api.adjust_token_privileges(token.get(), FALSE, &privileges, 0, nullptr, nullptr))
        return false;
    // AdjustTokenPrivileges succeeds even when the token lacks the privilege.
    return ::GetLastError() == ERROR_SUCCESS;
}
