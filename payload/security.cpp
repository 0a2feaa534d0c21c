#include "payload/security.h"

#include "support/security_api.h"
#include "support/error.h"
#include "support/unique_any.h"

#include <windows.h>

#include <cstring>
#include <new>
#include <string>

namespace api = vt::security_api;

namespace {

std::vector<std::byte> copy_sid(PSID sid)
{
    if (!api::is_valid_sid(sid))
        vt::throw_hresult(HRESULT_FROM_WIN32(ERROR_INVALID_SID), "account SID");
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
    vt::unique_handle token;
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

// The SID of an access entry, or nullptr for a kind of entry that has none
// where it is expected.
PSID sid_of(const ACE_HEADER* ace)
{
    const auto* bytes = reinterpret_cast<const BYTE*>(ace);
    std::size_t offset = sizeof(ACE_HEADER) + sizeof(ACCESS_MASK);
    switch (ace->AceType) {
    case ACCESS_ALLOWED_OBJECT_ACE_TYPE:
    case ACCESS_DENIED_OBJECT_ACE_TYPE:
    case SYSTEM_AUDIT_OBJECT_ACE_TYPE:
    case SYSTEM_ALARM_OBJECT_ACE_TYPE:
    case ACCESS_ALLOWED_CALLBACK_OBJECT_ACE_TYPE:
    case ACCESS_DENIED_CALLBACK_OBJECT_ACE_TYPE:
    case SYSTEM_AUDIT_CALLBACK_OBJECT_ACE_TYPE: {
        // Object entries carry up to two GUIDs between the mask and the SID.
        DWORD flags = 0;
        std::memcpy(&flags, bytes + offset, sizeof flags);
        offset += sizeof(DWORD);
        if (flags & ACE_OBJECT_TYPE_PRESENT)
            offset += sizeof(GUID);
        if (flags & ACE_INHERITED_OBJECT_TYPE_PRESENT)
            offset += sizeof(GUID);
        break;
    }
    default:
        break;
    }
    if (offset + 8 > ace->AceSize) // a SID takes at least 8 bytes
        return nullptr;
    return const_cast<BYTE*>(bytes + offset);
}

bool is_users_entry(const ACE_HEADER* ace, PSID users)
{
    PSID sid = sid_of(ace);
    return sid && api::is_valid_sid(sid) && api::equal_sid(sid, users);
}

// Copies entries of old_acl from first on into new_acl, dropping every entry
// for the users group. With stop_at_inherited, stops before the first
// inherited entry and returns its position.
DWORD copy_entries(PACL old_acl, DWORD first, DWORD count, PACL new_acl, PSID users, bool stop_at_inherited)
{
    DWORD i = first;
    for (; i < count; ++i) {
        void* entry = nullptr;
        api::check_call(api::get_ace(old_acl, i, &entry));
        const auto* ace = static_cast<const ACE_HEADER*>(entry);
        if (stop_at_inherited && (ace->AceFlags & INHERITED_ACE))
            break;
        if (is_users_entry(ace, users))
            continue;
        api::check_call(api::add_ace(new_acl, ACL_REVISION, MAXDWORD, entry, ace->AceSize));
    }
    return i;
}

// The inheritance state of the old list, for the new descriptor. The
// functions for the control bits are optional: without them the state is not
// carried over.
void carry_inheritance_state(PSECURITY_DESCRIPTOR old_descriptor, PSECURITY_DESCRIPTOR new_descriptor)
{
    try {
        SECURITY_DESCRIPTOR_CONTROL control = 0;
        DWORD revision = 0;
        api::check_call(api::get_security_descriptor_control(old_descriptor, &control, &revision));
        SECURITY_DESCRIPTOR_CONTROL bits = 0;
        if (control & SE_DACL_AUTO_INHERITED)
            bits = SE_DACL_AUTO_INHERIT_REQ | SE_DACL_AUTO_INHERITED;
        else if (control & SE_DACL_PROTECTED)
            bits = SE_DACL_PROTECTED;
        if (bits)
            api::check_call(api::set_security_descriptor_control(new_descriptor, bits, bits));
    } catch (const std::system_error& e) {
        if (e.code().value() != static_cast<int>(E_NOTIMPL))
            throw;
    }
}

void grant(const std::filesystem::path& path, DWORD access_mask, DWORD inheritance_flags)
{
    DWORD needed = 0;
    if (api::get_file_security(path.c_str(), DACL_SECURITY_INFORMATION, nullptr, 0, &needed) ||
        ::GetLastError() != ERROR_INSUFFICIENT_BUFFER)
        api::throw_last_error();
    std::vector<std::byte> current(needed);
    api::check_call(api::get_file_security(path.c_str(), DACL_SECURITY_INFORMATION, current.data(), needed, &needed));

    users_access_descriptor updated(current.data(), access_mask, inheritance_flags);
    api::check_call(api::set_file_security(path.c_str(), DACL_SECURITY_INFORMATION, updated.get()));
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
        }
    } catch (const std::bad_alloc&) {
        vt::throw_hresult(E_OUTOFMEMORY, "account SID");
    }
    vt::throw_hresult(E_INVALIDARG, "account SID");
}

users_access_descriptor::users_access_descriptor(PSECURITY_DESCRIPTOR current, std::uint32_t access_mask,
                                                 std::uint32_t inheritance_flags)
    : users_(account_sid(well_known_account::users))
{
    PSID users = users_.data();
    BOOL present = FALSE, defaulted = FALSE;
    PACL old_acl = nullptr;
    api::check_call(api::get_security_descriptor_dacl(current, &present, &old_acl, &defaulted));
    ACL_SIZE_INFORMATION size_info{};
    size_info.AclBytesInUse = sizeof(ACL);
    if (present && old_acl)
        api::check_call(api::get_acl_information(old_acl, &size_info, sizeof size_info, AclSizeInformation));
    else
        old_acl = nullptr; // absent or null: the new list holds only the users entry

    // Room for every old entry plus the new one (header and mask: 8 bytes).
    const DWORD new_size = size_info.AclBytesInUse + 8 + api::get_length_sid(users);
    acl_.resize(new_size);
    auto* new_acl = reinterpret_cast<PACL>(acl_.data());
    api::check_call(api::initialize_acl(new_acl, new_size, ACL_REVISION));

    const DWORD count = old_acl ? size_info.AceCount : 0;
    const DWORD first_inherited = copy_entries(old_acl, 0, count, new_acl, users, true);
    api::check_call(api::add_access_allowed_ace_ex(new_acl, ACL_REVISION, inheritance_flags, access_mask, users));
    copy_entries(old_acl, first_inherited, count, new_acl, users, false);

    api::check_call(api::initialize_security_descriptor(&descriptor_, SECURITY_DESCRIPTOR_REVISION));
    api::check_call(api::set_security_descriptor_dacl(&descriptor_, TRUE, new_acl, FALSE));
    carry_inheritance_state(current, &descriptor_);
}

bool grant_users_access(const std::filesystem::path& path, std::uint32_t access_mask,
                        std::uint32_t inheritance_flags) noexcept
{
    try {
        grant(path, access_mask, inheritance_flags);
        return true;
    } catch (...) {
        return false;
    }
}
