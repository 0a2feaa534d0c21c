#include "support/registry.h"

#include "support/error.h"

#include <vector>

namespace vt {

REGSAM root_view(registry_root root) noexcept
{
    switch (root) {
    case registry_root::local_machine_32: return KEY_WOW64_32KEY;
    case registry_root::local_machine_64: return KEY_WOW64_64KEY;
    default: return 0;
    }
}

HKEY root_key(registry_root root) noexcept
{
    switch (root) {
    case registry_root::classes_root: return HKEY_CLASSES_ROOT;
    case registry_root::current_user: return HKEY_CURRENT_USER;
    default: return HKEY_LOCAL_MACHINE;
    }
}

unique_hkey open_key(registry_root root, const std::wstring& subkey)
{
    return open_key(root_key(root), subkey, root_view(root));
}

unique_hkey open_key(HKEY parent, const std::wstring& subkey, REGSAM view)
{
    unique_hkey key;
    LSTATUS status = ::RegOpenKeyExW(parent, subkey.c_str(), 0, MAXIMUM_ALLOWED | view, key.put());
    if (status == ERROR_FILE_NOT_FOUND || status == ERROR_PATH_NOT_FOUND)
        return {};
    check_win32(status, "RegOpenKeyExW");
    return key;
}

unique_hkey create_key(HKEY parent, const std::wstring& subkey, REGSAM view)
{
    unique_hkey key;
    check_win32(::RegCreateKeyExW(parent, subkey.c_str(), 0, nullptr, REG_OPTION_NON_VOLATILE, MAXIMUM_ALLOWED | view,
                                  nullptr, key.put(), nullptr),
                "RegCreateKeyExW");
    return key;
}

void set_string(HKEY key, const wchar_t* name, const std::wstring& value)
{
    // The terminating null is part of the stored data.
    auto bytes = DWORD((value.size() + 1) * sizeof(wchar_t));
    check_win32(::RegSetValueExW(key, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(value.c_str()), bytes),
                "RegSetValueExW");
}

void set_dword(HKEY key, const wchar_t* name, DWORD value)
{
    check_win32(::RegSetValueExW(key, name, 0, REG_DWORD, reinterpret_cast<const BYTE*>(&value), sizeof(value)),
                "RegSetValueExW");
}

std::optional<std::wstring> read_string(HKEY key, const wchar_t* name)
{
    DWORD type = 0;
    DWORD size = 0;
    if (::RegQueryValueExW(key, name, nullptr, &type, nullptr, &size) != ERROR_SUCCESS ||
        (type != REG_SZ && type != REG_EXPAND_SZ))
        return std::nullopt;
    // Room for a terminator the stored data may lack.
    std::vector<wchar_t> buffer(size / sizeof(wchar_t) + 1, L'\0');
    DWORD read = size;
    if (::RegQueryValueExW(key, name, nullptr, &type, reinterpret_cast<BYTE*>(buffer.data()), &read) != ERROR_SUCCESS)
        return std::nullopt;
    return std::wstring(buffer.data());
}

std::optional<DWORD> read_dword(HKEY key, const wchar_t* name)
{
    DWORD type = 0;
    DWORD value = 0;
    DWORD size = sizeof(value);
    if (::RegQueryValueExW(key, name, nullptr, &type, reinterpret_cast<BYTE*>(&value), &size) != ERROR_SUCCESS ||
        type != REG_DWORD || size != sizeof(value))
        return std::nullopt;
    return value;
}

} // namespace vt
