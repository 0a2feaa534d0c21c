#include "support/global_security.h"

#include "support/error.h"

namespace vt {

everyone_access::everyone_access(DWORD full_access)
{
    SID_IDENTIFIER_AUTHORITY world = SECURITY_WORLD_SID_AUTHORITY;
    BYTE sid_buffer[SECURITY_MAX_SID_SIZE];
    PSID everyone = sid_buffer;
    // S-1-1-0, built in place: one sub-authority, SECURITY_WORLD_RID.
    if (!::InitializeSid(everyone, &world, 1))
        throw_last_error("InitializeSid");
    *::GetSidSubAuthority(everyone, 0) = SECURITY_WORLD_RID;

    acl_.resize(sizeof(ACL) + sizeof(ACCESS_ALLOWED_ACE) + ::GetLengthSid(everyone));
    auto acl = reinterpret_cast<ACL*>(acl_.data());
    if (!::InitializeAcl(acl, DWORD(acl_.size()), ACL_REVISION) ||
        !::AddAccessAllowedAce(acl, ACL_REVISION, full_access, everyone))
        throw_last_error("AddAccessAllowedAce");
    if (!::InitializeSecurityDescriptor(&descriptor_, SECURITY_DESCRIPTOR_REVISION) ||
        !::SetSecurityDescriptorDacl(&descriptor_, TRUE, acl, FALSE))
        throw_last_error("SetSecurityDescriptorDacl");
    attributes_.nLength = sizeof(attributes_);
    attributes_.lpSecurityDescriptor = &descriptor_;
    attributes_.bInheritHandle = FALSE;
}

} // namespace vt
