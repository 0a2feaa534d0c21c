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

users_access_descriptor::users_access_descriptor(PSECURITY_DESCRIPTOR current, std::uint32_t access_mask,
                                                 std::uint32_t inheritance_flags)
    : users_(vt::account_sid(vt::well_known_account::users))
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
