#pragma once
// The system's security functions, bound at run time from advapi32.dll rather
// than imported: each address is looked up on first use and kept for the life
// of the process. Every failure is raised as a std::system_error holding an
// HRESULT (system category):
//   0x8000FFFF  advapi32.dll cannot be loaded
//   0x80004001  the function does not exist in it
//   0x8007xxxx  the call failed with system error xxxx (see check_call)
//   0x8007000E  memory is exhausted
// The caches are written without locking: they are used from one thread.

#include <windows.h>

namespace vt::security_api {

// advapi32.dll, from System32 only.
HMODULE module();

// Address of an exported function of advapi32.dll.
void* function_address(const char* name);

// Raises HRESULT_FROM_WIN32 of the last system error.
[[noreturn]] void throw_last_error();

// Raises the last error when ok is false; returns ok otherwise.
inline void check_call(BOOL ok)
{
    if (!ok)
        throw_last_error();
}

// One bound function: call it like the function itself.
template <typename Fn>
class bound_function {
public:
    explicit constexpr bound_function(const char* name) noexcept : name_(name) {}

    // Raises 0x80004001 when the function is missing.
    Fn* get()
    {
        if (!address_)
            address_ = function_address(name_);
        return reinterpret_cast<Fn*>(address_);
    }

    // Whether the function exists (binding it if it does).
    bool available() noexcept
    {
        try {
            get();
            return true;
        } catch (...) {
            return false;
        }
    }

    template <typename... Args>
    auto operator()(Args... args)
    {
        return get()(args...);
    }

private:
    const char* name_;
    void* address_ = nullptr;
};

inline bound_function<decltype(::GetFileSecurityW)> get_file_security{"GetFileSecurityW"};
inline bound_function<decltype(::SetFileSecurityW)> set_file_security{"SetFileSecurityW"};
inline bound_function<decltype(::GetSecurityDescriptorDacl)> get_security_descriptor_dacl{"GetSecurityDescriptorDacl"};
inline bound_function<decltype(::GetAclInformation)> get_acl_information{"GetAclInformation"};
inline bound_function<decltype(::GetAce)> get_ace{"GetAce"};
inline bound_function<decltype(::AddAce)> add_ace{"AddAce"};
inline bound_function<decltype(::InitializeAcl)> initialize_acl{"InitializeAcl"};
inline bound_function<decltype(::AddAccessAllowedAceEx)> add_access_allowed_ace_ex{"AddAccessAllowedAceEx"};
inline bound_function<decltype(::EqualSid)> equal_sid{"EqualSid"};
inline bound_function<decltype(::IsValidSid)> is_valid_sid{"IsValidSid"};
inline bound_function<decltype(::GetLengthSid)> get_length_sid{"GetLengthSid"};
inline bound_function<decltype(::AllocateAndInitializeSid)> allocate_and_initialize_sid{"AllocateAndInitializeSid"};
inline bound_function<decltype(::LookupPrivilegeValueW)> lookup_privilege_value{"LookupPrivilegeValueW"};
inline bound_function<decltype(::AdjustTokenPrivileges)> adjust_token_privileges{"AdjustTokenPrivileges"};
inline bound_function<decltype(::FreeSid)> free_sid{"FreeSid"};
inline bound_function<decltype(::InitializeSecurityDescriptor)> initialize_security_descriptor{
    "InitializeSecurityDescriptor"};
inline bound_function<decltype(::SetSecurityDescriptorDacl)> set_security_descriptor_dacl{"SetSecurityDescriptorDacl"};
inline bound_function<decltype(::GetSecurityDescriptorControl)> get_security_descriptor_control{
    "GetSecurityDescriptorControl"};
inline bound_function<decltype(::SetSecurityDescriptorControl)> set_security_descriptor_control{
    "SetSecurityDescriptorControl"};
inline bound_function<decltype(::GetUserNameW)> get_user_name{"GetUserNameW"};
inline bound_function<decltype(::LookupAccountNameW)> lookup_account_name{"LookupAccountNameW"};
inline bound_function<decltype(::OpenThreadToken)> open_thread_token{"OpenThreadToken"};
inline bound_function<decltype(::OpenProcessToken)> open_process_token{"OpenProcessToken"};
inline bound_function<decltype(::GetTokenInformation)> get_token_information{"GetTokenInformation"};

} // namespace vt::security_api
