#include "engine/privilege.h"

#include "support/security_api.h"
#include "support/unique_any.h"

#include <windows.h>

bool set_privilege(const wchar_t* name, bool enable) noexcept
{
    // The security functions are bound at run time, like the access rights'.
    namespace api = vt::security_api;
    try {
        vt::unique_handle token;
        if (!api::open_process_token(::GetCurrentProcess(), TOKEN_ADJUST_PRIVILEGES | TOKEN_QUERY, token.put()))
            return false;
        TOKEN_PRIVILEGES privileges{};
        privileges.PrivilegeCount = 1;
        if (!api::lookup_privilege_value(nullptr, name, &privileges.Privileges[0].Luid))
            return false;
        privileges.Privileges[0].Attributes = enable ? SE_PRIVILEGE_ENABLED : 0;
        if (!api::adjust_token_privileges(token.get(), FALSE, &privileges, 0, nullptr, nullptr))
            return false;
        // AdjustTokenPrivileges succeeds even when the token lacks the privilege.
        return ::GetLastError() == ERROR_SUCCESS;
    } catch (...) {
        return false; // no advapi32.dll, or no such function in it
    }
}
