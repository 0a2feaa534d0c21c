#include "support/well_known_account.h"

#include "support/error.h"
#include "support/security_api.h"
#include "support/unique_any.h"

#include <cstring>
#include <new>
#include <string>

namespace vt {

namespace api = security_api;

namespace {


std::vector<std::byte> copy_sid(PSID sid)
{
    if (!api::is_valid_sid(sid))
        throw_hresult(HRESULT_FROM_WIN32(ERROR_INVALID_SID), "account SID");
    const DWORD length = api::get_length_sid(sid);
    std::vector<std::byte> bytes(length);
    std::memcpy(bytes.data(), sid, length);
    return bytes;
}

std::vector<std::byte> built_in_sid(SID_IDENTIFIER_AUTHORITY authority, BYTE count, DWORD first, DWORD second)
{
    PSID sid = nullptr;
    api::check_call(api::allocate_and_initialize_sid(&authority, count, first, second, 0, 0, 0, 0, 0, 0, &sid));
    try {
        auto bytes = copy_sid(sid);
        api::free_sid(sid);
        return bytes;
    } catch (...) {
        api::free_sid(sid);
        throw;
    }
}

std::vector<std::byte> current_user_sid()
{
    wchar_t name[257];
    DWORD name_length = ARRAYSIZE(name);
    api::check_call(api::get_user_name(name, &name_length));

    DWORD sid_size = 0, domain_size = 0;
    SID_NAME_USE use{};
    api::lookup_account_name(nullptr, name, nullptr, &sid_size, nullptr, &domain_size, &use);
    if (::GetLastError() != ERROR_INSUFFICIENT_BUFFER)
        api::throw_last_error();
    std::vector<std::byte> sid(sid_size);
    std::wstring domain(domain_size, L'\0');
    api::check_call(api::lookup_account_name(nullptr, name, sid.data(), &sid_size, domain.data(), &domain_size, &use));
    return copy_sid(sid.data());
}

std::vector<std::byte> token_user_sid()
{
    unique_handle token;
    if (!api::open_thread_token(::GetCurrentThread(), TOKEN_QUERY, TRUE, token.put())) {
        if (::GetLastError() != ERROR_NO_TOKEN)
            api::throw_last_error();
        api::check_call(api::open_process_token(::GetCurrentProcess(), TOKEN_QUERY, token.put()));
    }
    DWORD size = 0;
    api::get_token_information(token.get(), TokenUser, nullptr, 0, &size);
    if (::GetLastError() != ERROR_INSUFFICIENT_BUFFER)
        api::throw_last_error();
    std::vector<std::byte> buffer(size);
    api::check_call(api::get_token_information(token.get(), TokenUser, buffer.data(), size, &size));
    return copy_sid(reinterpret_cast<TOKEN_USER*>(buffer.data())->User.Sid);
}

} // namespace

std::vector<std::byte> account_sid(well_known_account account)
{
    try {
        switch (account) {
        case well_known_account::everyone:
            return built_in_sid(SECURITY_WORLD_SID_AUTHORITY, 1, SECURITY_WORLD_RID, 0);
        case well_known_account::administrators:
            return built_in_sid(SECURITY_NT_AUTHORITY, 2, SECURITY_BUILTIN_DOMAIN_RID, DOMAIN_ALIAS_RID_ADMINS);
        case well_known_account::users:
            return built_in_sid(SECURITY_NT_AUTHORITY, 2, SECURITY_BUILTIN_DOMAIN_RID, DOMAIN_ALIAS_RID_USERS);
        case well_known_account::authenticated_users:
            return built_in_sid(SECURITY_NT_AUTHORITY, 1, SECURITY_AUTHENTICATED_USER_RID, 0);
        case well_known_account::current_user:
            return current_user_sid();
        case well_known_account::token_user:
            return token_user_sid();
        case well_known_account::local_system:
            return built_in_sid(SECURITY_NT_AUTHORITY, 1, SECURITY_LOCAL_SYSTEM_RID, 0);
        }
    } catch (const std::bad_alloc&) {
        throw_hresult(E_OUTOFMEMORY, "account SID");
    }
    throw_hresult(E_INVALIDARG, "account SID");
}

bool is_account(PSID sid, well_known_account account)
{
    std::vector<std::byte> known = account_sid(account);
    return sid && api::is_valid_sid(sid) && api::equal_sid(sid, known.data());
}

} // namespace vt
