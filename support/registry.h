#pragma once
// Registry access of the installer: keys opened with the access the caller
// is granted (MAXIMUM_ALLOWED), a missing key told apart from every other
// failure, which is raised as a system-category error.

#include "support/unique_any.h"

#include <optional>
#include <string>

namespace vt {

enum class registry_root {
    classes_root = 0,
    current_user = 1,
    local_machine = 2,
    local_machine_32 = 3, // the 32-bit view of HKEY_LOCAL_MACHINE
    local_machine_64 = 4, // the 64-bit view of HKEY_LOCAL_MACHINE
};

// Opens subkey below a root; an empty key when it does not exist.
unique_hkey open_key(registry_root root, const std::wstring& subkey);
// Opens subkey below an open key; an empty key when it does not exist.
unique_hkey open_key(HKEY parent, const std::wstring& subkey, REGSAM view = 0);
// Creates (or opens) a non-volatile subkey.
unique_hkey create_key(HKEY parent, const std::wstring& subkey, REGSAM view = 0);

// The view flag (KEY_WOW64_32KEY, KEY_WOW64_64KEY or 0) and the key of a root.
REGSAM root_view(registry_root root) noexcept;
HKEY root_key(registry_root root) noexcept;

void set_string(HKEY key, const wchar_t* name, const std::wstring& value);
void set_dword(HKEY key, const wchar_t* name, DWORD value);
void set_binary(HKEY key, const wchar_t* name, const void* data, DWORD size);

// A REG_SZ or REG_EXPAND_SZ value; nothing when missing or of another type.
std::optional<std::wstring> read_string(HKEY key, const wchar_t* name);
// A REG_DWORD value; nothing when missing or of another type.
std::optional<DWORD> read_dword(HKEY key, const wchar_t* name);
// Fills data with a value of exactly this type and size; false, with data
// unspecified, when the value is missing or has another type or size.
bool read_exact(HKEY key, const wchar_t* name, DWORD type, void* data, DWORD size);

} // namespace vt
