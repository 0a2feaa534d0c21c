#include "app/previous_installation.h"

#include "app/installer_context.h"
#include "app/version_text.h"
#include "resources/product.h"
#include "support/file_names.h"
#include "support/registry.h"
#include "support/version_info.h"

#include <windows.h>

#include <optional>

namespace {


std::wstring recorded_path(REGSAM view)
{
    vt::unique_hkey key = vt::open_key(HKEY_LOCAL_MACHINE, maker_key, view);
    if (!key)
        return {};
    std::optional<std::wstring> path = vt::read_string(key.get(), product_path_value_name().c_str());
    if (path && vt::path_exists(*path))
        return *path;
    return {};
}

// The folder part of a path: what precedes its last separator.
std::wstring folder_of(const std::wstring& path)
{
    std::size_t separator = path.find_last_of(L"\\/");
    return separator == std::wstring::npos ? std::wstring() : path.substr(0, separator);
}

std::wstring log_beside(const std::wstring& path)
{
    std::wstring folder = folder_of(path);
    if (folder.empty())
        return {};
    std::wstring log = folder + L"\\" + uninstall_log_name;
    return vt::path_exists(log) ? log : std::wstring();
}

std::wstring registered_uninstaller()
{
    vt::unique_hkey key = vt::open_key(HKEY_LOCAL_MACHINE, product_uninstall_key());
    if (!key)
        return {};
    return vt::read_string(key.get(), L"UninstallString").value_or(std::wstring());
}

std::wstring own_executable()
{
    std::wstring path(MAX_PATH, L'\0');
    for (;;) {
        DWORD length = ::GetModuleFileNameW(nullptr, path.data(), DWORD(path.size()));
        if (length == 0)
            return {};
        if (length < path.size()) {
            path.resize(length);
            return path;
        }
        path.resize(path.size() * 2);
    }
}

} // namespace

std::wstring read_product_path()
{
    std::wstring path = recorded_path(0);
    if (path.empty())
        path = recorded_path(KEY_WOW64_64KEY);
    return path;
}

const std::wstring& product_path()
{
    static const std::wstring path = read_product_path();
    return path;
}

installation_found examine_installation(const std::wstring& path)
{
    installation_found found;
    if (path.empty())
        return found;
    vt::version_info installed = vt::version_info::from_file(path);
    if (!installed.has_fixed_info()) {
        found.state = 1; // a copy whose version cannot be told is offered as a reinstallation
        return found;
    }
    std::uint64_t version = installed.file_version();
    if (version > product_file_version) {
        found.state = -1;
        found.version_text = version_text(installed);
    } else if (version == product_file_version) {
        found.state = 1;
    } else {
        found.state = 2;
        found.version = version;
        found.version_text = version_text(installed);
    }
    return found;
}

void detect_previous_installation(installer_context& context)
{
    installation_found found = examine_installation(product_path());
    context.previous_state = found.state;
    context.installed_version = found.version;
    context.installed_version_text = std::move(found.version_text);
}

std::wstring find_uninstall_log(const std::wstring& installed_product)
{
    for (const std::wstring& beside : {registered_uninstaller(), own_executable(), installed_product})
        if (std::wstring log = log_beside(beside); !log.empty())
            return log;
    return {};
}

std::wstring find_uninstall_log()
{
    return find_uninstall_log(product_path());
}
