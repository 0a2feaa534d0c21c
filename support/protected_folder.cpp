#include "support/protected_folder.h"

#include "support/error.h"
#include "support/format.h"
#include "support/well_known_account.h"

#include <aclapi.h>
#include <sddl.h>

#include <random>
#include <vector>

namespace fs = std::filesystem;

namespace vt {

namespace {

// Every right that changes an object or what it holds.
constexpr ACCESS_MASK changing_rights = GENERIC_ALL | GENERIC_WRITE | WRITE_DAC | WRITE_OWNER | DELETE |
                                        FILE_WRITE_DATA | FILE_APPEND_DATA | FILE_WRITE_EA | FILE_WRITE_ATTRIBUTES |
                                        FILE_DELETE_CHILD | MAXIMUM_ALLOWED;

// Windows gives System32 to TrustedInstaller; Wine to the prefix's own user,
// whom it also treats as the machine's administrator.
bool owns_the_system_folder(PSID sid)
{
    static const std::vector<BYTE> owner = [] {
        std::vector<BYTE> copy;
        wchar_t system[MAX_PATH];
        if (!::GetSystemDirectoryW(system, MAX_PATH))
            return copy;
        PSID found = nullptr;
        PSECURITY_DESCRIPTOR descriptor = nullptr;
        if (::GetNamedSecurityInfoW(system, SE_FILE_OBJECT, OWNER_SECURITY_INFORMATION, &found, nullptr, nullptr,
                                    nullptr, &descriptor) == ERROR_SUCCESS &&
            found && ::IsValidSid(found)) {
            auto bytes = static_cast<const BYTE*>(found);
            copy.assign(bytes, bytes + ::GetLengthSid(found));
        }
        ::LocalFree(descriptor);
        return copy;
    }();
    return !owner.empty() && ::EqualSid(sid, const_cast<BYTE*>(owner.data()));
}

bool is_trusted_account(PSID sid)
{
    return sid && ::IsValidSid(sid) &&
           (is_account(sid, well_known_account::local_system) || is_account(sid, well_known_account::administrators) ||
            owns_the_system_folder(sid));
}

std::wstring aside_name(const fs::path& path)
{
    static std::random_device source;
    return path.wstring() + vt::format(L".untrusted-{:08x}", {std::uint32_t(source())});
}

} // namespace

unique_local administrators_only_descriptor()
{
    PSECURITY_DESCRIPTOR descriptor = nullptr;
    if (!::ConvertStringSecurityDescriptorToSecurityDescriptorW(L"O:BAD:P(A;OICI;FA;;;SY)(A;OICI;FA;;;BA)",
                                                                SDDL_REVISION_1, &descriptor, nullptr))
        throw_last_error("ConvertStringSecurityDescriptorToSecurityDescriptorW");
    return unique_local(descriptor);
}

bool descriptor_lets_only_administrators_change(PSECURITY_DESCRIPTOR descriptor)
{
    PSID owner = nullptr;
    BOOL defaulted = FALSE;
    if (!descriptor || !::GetSecurityDescriptorOwner(descriptor, &owner, &defaulted) || !is_trusted_account(owner))
        return false;
    BOOL present = FALSE;
    PACL acl = nullptr;
    if (!::GetSecurityDescriptorDacl(descriptor, &present, &acl, &defaulted) || !present || !acl)
        return false;
    for (DWORD index = 0; index < acl->AceCount; ++index) {
        void* ace = nullptr;
        if (!::GetAce(acl, index, &ace))
            return false;
        const auto header = static_cast<const ACE_HEADER*>(ace);
        if (header->AceType == ACCESS_DENIED_ACE_TYPE)
            continue;
        if (header->AceType != ACCESS_ALLOWED_ACE_TYPE)
            return false; // callback and object entries are not ours to judge
        const auto allowed = static_cast<ACCESS_ALLOWED_ACE*>(ace);
        if (header->AceFlags & INHERIT_ONLY_ACE)
            continue;
        if ((allowed->Mask & changing_rights) && !is_trusted_account(&allowed->SidStart))
            return false;
    }
    return true;
}

bool only_administrators_may_change(HANDLE object)
{
    FILE_ATTRIBUTE_TAG_INFO tag{};
    if (!::GetFileInformationByHandleEx(object, FileAttributeTagInfo, &tag, sizeof(tag)) ||
        (tag.FileAttributes & FILE_ATTRIBUTE_REPARSE_POINT))
        return false;
    PSECURITY_DESCRIPTOR descriptor = nullptr;
    if (::GetSecurityInfo(object, SE_FILE_OBJECT, OWNER_SECURITY_INFORMATION | DACL_SECURITY_INFORMATION, nullptr,
                          nullptr, nullptr, nullptr, &descriptor) != ERROR_SUCCESS)
        return false;
    unique_local owned(descriptor);
    return descriptor_lets_only_administrators_change(descriptor);
}

unique_file open_for_check(const fs::path& path, bool folder)
{
    return unique_file(::CreateFileW(path.c_str(), READ_CONTROL | FILE_READ_ATTRIBUTES,
                                     FILE_SHARE_READ | (folder ? FILE_SHARE_WRITE : 0), nullptr, OPEN_EXISTING,
                                     FILE_FLAG_OPEN_REPARSE_POINT | (folder ? FILE_FLAG_BACKUP_SEMANTICS : 0),
                                     nullptr));
}

bool protected_folder::is_trusted(const fs::path& path)
{
    unique_file folder = open_for_check(path, true);
    return folder && only_administrators_may_change(folder.get());
}

protected_folder::protected_folder(fs::path path) : path_(std::move(path))
{
    unique_local descriptor = administrators_only_descriptor();
    SECURITY_ATTRIBUTES attributes{sizeof(attributes), descriptor.get(), FALSE};
    for (int attempt = 0; attempt < 2; ++attempt) {
        if (!::CreateDirectoryW(path_.c_str(), &attributes) && ::GetLastError() != ERROR_ALREADY_EXISTS)
            throw_last_error("CreateDirectoryW");
        // Held without sharing deletion: the folder checked is the folder used.
        handle_ = open_for_check(path_, true);
        if (handle_ && only_administrators_may_change(handle_.get()))
            return;
        handle_.reset();
        // Someone else's folder (or a link) under our name: out of the way,
        // kept for whoever wants to look at it.
        if (!::MoveFileExW(path_.c_str(), aside_name(path_).c_str(), 0))
            throw_last_error("MoveFileExW");
    }
    throw_win32(ERROR_ACCESS_DENIED, "protected_folder");
}

} // namespace vt
