#include "demo/uninstaller/log_check.h"

#include "payload/file_utils.h"

namespace fs = std::filesystem;

bool is_unmade_link(const journal_entry& entry)
{
    return (entry.type == journal_type::start_menu_shortcut || entry.type == journal_type::desktop_shortcut) &&
           !entry.done && entry.path.empty();
}

removal_roots removal_roots_of(const uninstall_log& log)
{
    return installation_roots_of(log.install_folder, log.shortcut_folder);
}

log_verdict check_log(const uninstall_log& log, const fs::path& uninstaller, const removal_roots& roots)
{
    if (!log.found)
        return {false, L"the log cannot be opened", {}};
    if (!log.complete)
        return {false, L"a line of the log breaks its rules", {}};
    if (!is_plain_absolute_path(log.install_folder) || !same_path(log.install_folder, uninstaller.parent_path()))
        return {false, L"the log's installation folder is not the uninstaller's folder", log.install_folder};
    if (!log.shortcut_folder.empty() && !is_plain_absolute_path(log.shortcut_folder))
        return {false, L"the log's Start-menu folder is not a plain absolute path", log.shortcut_folder};
    for (const journal_entry& entry : log.entries) {
        if (entry.type == journal_type::uninstall_key || entry.type == journal_type::registration ||
            entry.type == journal_type::directx)
            continue;
        // A link that could not be made is logged as not done and without a
        // path ("0005:04ff:0 -- "): it names nothing to remove.
        if (is_unmade_link(entry))
            continue;
        if (!is_plain_absolute_path(entry.path))
            return {false, L"an entry is not a plain absolute path", entry.path};
        if (std::wstring problem = misplaced_entry(entry, roots); !problem.empty())
            return {false, problem, entry.path};
    }
    return {true, {}, {}};
}
