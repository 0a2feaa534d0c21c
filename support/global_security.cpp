#include "support/global_security.h"

#include "support/error.h"
#include "support/well_known_account.h"

namespace vt {

everyone_access::everyone_access(DWORD full_access)
{
    std::vector<std::byte> sid = account_sid(well_known_account::everyone);
    PSID everyone = sid.data();

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
