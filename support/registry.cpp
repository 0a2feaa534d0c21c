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

namespace {

void set_value(HKEY key, const wchar_t* name, DWORD type, const void* data, DWORD size)
{
    check_win32(::RegSetValueExW(key, name, 0, type, static_cast<const BYTE*>(data), size), "RegSetValueExW");
}

} // namespace

void set_string(HKEY key, const wchar_t* name, const std::wstring& value)
{
    // The terminating null is part of the stored data.
    set_value(key, name, REG_SZ, value.c_str(), DWORD((value.size() + 1) * sizeof(wchar_t)));
}

void set_dword(HKEY key, const wchar_t* name, DWORD value)
{
    set_value(key, name, REG_DWORD, &value, sizeof(value));
}

void set_binary(HKEY key, const wchar_t* name, const void* data, DWORD size)
{
    set_value(key, name, REG_BINARY, data, size);
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
    DWORD value = 0;
    if (!read_exact(key, name, REG_DWORD, &value, sizeof(value)))
        return std::nullopt;
    return value;
}

bool read_exact(HKEY key, const wchar_t* name, DWORD type, void* data, DWORD size)
{
    DWORD stored_type = 0;
    DWORD stored_size = size;
    return ::RegQueryValueExW(key, name, nullptr, &stored_type, static_cast<BYTE*>(data), &stored_size) ==
               ERROR_SUCCESS &&
           stored_type == type && stored_size == size;
}

} // namespace vt
