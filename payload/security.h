#pragma once
// Opening shared files and folders to the local users group.

#include "support/well_known_account.h"

#include <windows.h>

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <vector>


// Access masks of the grants the installation makes.
inline constexpr std::uint32_t shared_folder_access = 0x1F01FF; // all file rights
inline constexpr std::uint32_t shared_file_access = 0x13019F;   // read, write, delete; no execute, no owner change
// Inheritance flags: files and subfolders inherit the entry.
inline constexpr std::uint32_t inherit_to_children = 3; // OBJECT_INHERIT_ACE | CONTAINER_INHERIT_ACE

// The security descriptor that the grant stores: the DACL of current with
// every entry for the users group dropped and one new allow entry for it
// placed after the explicit entries and before the inherited ones; the
// inheritance state (auto inherited, protected) of current carried over. An
// absent or null DACL gives a list of the new entry alone. Raises
// std::system_error with an HRESULT on failure.
class users_access_descriptor {
public:
    users_access_descriptor(PSECURITY_DESCRIPTOR current, std::uint32_t access_mask, std::uint32_t inheritance_flags);
    users_access_descriptor(const users_access_descriptor&) = delete;
    users_access_descriptor& operator=(const users_access_descriptor&) = delete;

    // An absolute descriptor holding the DACL only.
    PSECURITY_DESCRIPTOR get() noexcept { return &descriptor_; }

private:
    std::vector<std::byte> users_;
    std::vector<std::byte> acl_;
    SECURITY_DESCRIPTOR descriptor_{};
};

// Gives the built-in users group the access mask on path: the path's access
// list keeps every other entry in place, and exactly one allow entry for the
// users group, with the given inheritance flags, stands after the explicit
// entries and before the inherited ones. The list's inheritance state (auto
// inherited, protected) is carried over. Returns whether the new list was
// stored; never raises.
bool grant_users_access(const std::filesystem::path& path, std::uint32_t access_mask,
                        std::uint32_t inheritance_flags) noexcept;
