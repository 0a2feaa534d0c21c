#include "demo/uninstaller/removal.h"

#include "payload/file_utils.h"
#include "resources/product.h"
#include "support/registry.h"

#include <windows.h>

#include <algorithm>

namespace fs = std::filesystem;

namespace {

constexpr std::int32_t shared_data_kind = 3;
constexpr std::int32_t program_kind = 1;

bool absent(DWORD error)
{
    return error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND;
}

// A file or link is gone afterwards, whether this removed it or it was gone
// already. A folder found in its place is not the installation's file and stays.
bool remove_file(const fs::path& path)
{
    const DWORD attributes = ::GetFileAttributesW(path.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES)
        return absent(::GetLastError());
    if (attributes & FILE_ATTRIBUTE_DIRECTORY)
        return false;
    // The installer makes the program and the uninstaller read-only.
    if (attributes & FILE_ATTRIBUTE_READONLY)
        ::SetFileAttributesW(path.c_str(), attributes & ~FILE_ATTRIBUTE_READONLY);
    if (::DeleteFileW(path.c_str()) || absent(::GetLastError()))
        return true;
    if (attributes & FILE_ATTRIBUTE_READONLY)
        ::SetFileAttributesW(path.c_str(), attributes);
    return false;
}

void remove_product_path_value(vt::registry_root root, REGSAM view, const fs::path& program)
{
    const std::wstring value_name = product_path_value_name();
    vt::unique_hkey maker = vt::open_key(root, maker_key);
    if (!maker)
        return;
    if (auto value = vt::read_string(maker.get(), value_name.c_str()); value && same_path(*value, program))
        ::RegDeleteValueW(maker.get(), value_name.c_str());
    DWORD subkeys = 0, values = 0;
    if (::RegQueryInfoKeyW(maker.get(), nullptr, nullptr, nullptr, &subkeys, nullptr, nullptr, &values, nullptr,
                           nullptr, nullptr, nullptr) == ERROR_SUCCESS &&
        subkeys == 0 && values == 0) {
        maker.reset();
        ::RegDeleteKeyExW(HKEY_LOCAL_MACHINE, maker_key, view, 0);
    }
}

} // namespace

fs::path logged_program(const uninstall_log& log)
{
    for (const journal_entry& entry : log.entries)
        if (entry.type == journal_type::file && entry.parameter == program_kind)
            return entry.path;
    return {};
}

void remove_files_and_links(const uninstall_log& log, const fs::path& uninstaller, left_items& left)
{
    for (auto entry = log.entries.rbegin(); entry != log.entries.rend(); ++entry) {
        const bool file = entry->type == journal_type::file;
        const bool link =
            entry->type == journal_type::start_menu_shortcut || entry->type == journal_type::desktop_shortcut;
        if ((!file && !link) || entry->path.empty() || (file && entry->parameter == shared_data_kind) ||
            (file && same_path(entry->path, uninstaller)))
            continue;
        if (!remove_file(entry->path))
            left.push_back(entry->path);
    }
}

void remove_created_folders(const uninstall_log& log, left_items& left)
{
    for (auto entry = log.entries.rbegin(); entry != log.entries.rend(); ++entry) {
        if (entry->type != journal_type::folder)
            continue;
        if (::RemoveDirectoryW(entry->path.c_str()))
            continue;
        const DWORD error = ::GetLastError();
        // Still holding something is the expected way for a folder to stay;
        // an empty folder that cannot go is held open by some program.
        if (error != ERROR_DIR_NOT_EMPTY && !absent(error) && error != ERROR_DIRECTORY)
            left.push_back(entry->path);
    }
}

void remove_registration(const uninstall_log& log, const fs::path& uninstaller)
{
    const bool key_logged = std::any_of(log.entries.begin(), log.entries.end(), [](const journal_entry& entry) {
        return entry.type == journal_type::uninstall_key;
    });
    const std::wstring product_key = product_uninstall_key();
    if (key_logged) {
        if (vt::unique_hkey key = vt::open_key(vt::registry_root::local_machine, product_key)) {
            // Another installation of the product may have taken the key over
            // since: it is ours only while it names this uninstaller.
            auto command = vt::read_string(key.get(), L"UninstallString");
            key.reset();
            if (command && same_path(*command, uninstaller))
                ::RegDeleteTreeW(HKEY_LOCAL_MACHINE, product_key.c_str());
        }
    }
    if (const fs::path program = logged_program(log); !program.empty()) {
        remove_product_path_value(vt::registry_root::local_machine, 0, program);
        remove_product_path_value(vt::registry_root::local_machine_64, KEY_WOW64_64KEY, program);
    }
}

void remove_uninstaller(const fs::path& uninstaller, left_items& left)
{
    // Without its file the log would be of no use, but without its log the
    // file cannot run again: the log goes only after the file.
    if (!remove_file(uninstaller)) {
        left.push_back(uninstaller.wstring());
        return;
    }
    const fs::path log = uninstaller.parent_path() / uninstall_log_name;
    if (!remove_file(log))
        left.push_back(log.wstring());
}
