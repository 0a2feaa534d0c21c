#include "engine/installation_paths.h"

#include "support/file_names.h"
#include "support/known_folder.h"

#include <windows.h>
#include <knownfolders.h>

#include <algorithm>

namespace fs = std::filesystem;

namespace {

// The elements of a Windows path: the drive ("C:") or the server (two
// backslashes and its name) first, then the names below it; both slashes
// separate, empty elements are dropped.
std::vector<std::wstring> elements(const std::wstring& path)
{
    std::vector<std::wstring> out;
    std::size_t begin = 0;
    if (path.size() >= 2 && (path[0] == L'\\' || path[0] == L'/') && (path[1] == L'\\' || path[1] == L'/')) {
        begin = path.find_first_of(L"\\/", 2);
        out.push_back(L"\\\\" + path.substr(2, begin == std::wstring::npos ? std::wstring::npos : begin - 2));
    }
    while (begin != std::wstring::npos && begin < path.size()) {
        const std::size_t end = path.find_first_of(L"\\/", begin);
        if (end != begin)
            out.push_back(path.substr(begin, end == std::wstring::npos ? std::wstring::npos : end - begin));
        begin = end == std::wstring::npos ? end : end + 1;
    }
    return out;
}

bool at_or_below(const fs::path& path, const fs::path& folder, bool strictly)
{
    if (path.empty() || folder.empty())
        return false;
    const auto p = elements(path.wstring());
    const auto f = elements(folder.wstring());
    if (p.size() < f.size() || (strictly && p.size() == f.size()))
        return false;
    return std::equal(f.begin(), f.end(), p.begin(), [](const std::wstring& x, const std::wstring& y) { return vt::same_name(x, y); });
}

bool below_any(const fs::path& path, const std::vector<fs::path>& folders)
{
    return std::any_of(folders.begin(), folders.end(),
                       [&](const fs::path& folder) { return lies_below(path, folder); });
}

bool is_link(const fs::path& path)
{
    return vt::same_name(path.extension().wstring(), L".lnk");
}

} // namespace

std::wstring misplaced_entry(const journal_entry& entry, const installation_roots& roots)
{
    const fs::path path(entry.path);
    std::vector<fs::path> all = roots.data_folders;
    all.push_back(roots.install_folder);
    if (!roots.shortcut_folder.empty())
        all.push_back(roots.shortcut_folder);

    switch (entry.type) {
    case journal_type::folder: {
        // The folders made on the way to the installation and Start-menu
        // folders may lie above them.
        if (below_any(path, all) || lies_at_or_below(roots.install_folder, path) ||
            lies_at_or_below(roots.shortcut_folder, path))
            return {};
        return L"a created folder outside the installation's folders";
    }
    case journal_type::file:
        if (lies_below(path, roots.install_folder) || below_any(path, roots.data_folders))
            return {};
        return L"an installed file outside the installation and data folders";
    case journal_type::start_menu_shortcut:
        if (is_link(path) && lies_below(path, roots.shortcut_folder))
            return {};
        return L"a Start-menu link that is not a link in the Start-menu folder";
    case journal_type::desktop_shortcut:
        if (is_link(path) && below_any(path, roots.desktop_folders))
            return {};
        return L"a desktop link that is not a link on a desktop";
    case journal_type::reserved:
        if (below_any(path, all))
            return {};
        return L"an entry outside the installation's folders";
    default:
        return {};
    }
}


bool is_plain_absolute_path(const std::wstring& text)
{
    if (text.size() < 3 || text.size() > 32767)
        return false;
    // "\\?\" and "\\.\" reach devices and raw namespaces that no installation uses.
    if (text.rfind(L"\\\\?\\", 0) == 0 || text.rfind(L"\\\\.\\", 0) == 0)
        return false;
    for (std::size_t i = 0; i < text.size(); ++i) {
        const wchar_t c = text[i];
        if (c < 0x20 || std::wstring_view(L"*?\"<>|").find(c) != std::wstring_view::npos)
            return false;
        if (c == L':' && i != 1) // a drive's colon only: no alternate streams
            return false;
    }
    // A drive or a server and share, with at least one folder or file below it.
    const bool drive = ((text[0] >= L'A' && text[0] <= L'Z') || (text[0] >= L'a' && text[0] <= L'z')) &&
                       text[1] == L':' && (text[2] == L'\\' || text[2] == L'/');
    const bool server = (text[0] == L'\\' || text[0] == L'/') && (text[1] == L'\\' || text[1] == L'/');
    const auto parts = elements(text);
    if ((!drive && !server) || parts.size() < (drive ? 2u : 3u) || parts[0].size() < (drive ? 2u : 3u))
        return false;
    return std::none_of(parts.begin(), parts.end(),
                        [](const std::wstring& part) { return part == L"." || part == L".."; });
}

bool lies_below(const fs::path& path, const fs::path& folder)
{
    return at_or_below(path, folder, true);
}

bool lies_at_or_below(const fs::path& path, const fs::path& folder)
{
    return at_or_below(path, folder, false);
}

installation_roots installation_roots_of(const std::wstring& install_folder, const std::wstring& shortcut_folder)
{
    installation_roots roots;
    roots.install_folder = install_folder;
    roots.shortcut_folder = shortcut_folder;
    for (REFKNOWNFOLDERID id : {FOLDERID_ProgramData, FOLDERID_RoamingAppData, FOLDERID_PublicDocuments,
                                FOLDERID_Documents, FOLDERID_PublicDesktop, FOLDERID_Desktop})
        if (std::wstring folder = vt::known_folder(id); !folder.empty())
            roots.data_folders.push_back(folder);
    for (REFKNOWNFOLDERID id : {FOLDERID_PublicDesktop, FOLDERID_Desktop})
        if (std::wstring folder = vt::known_folder(id); !folder.empty())
            roots.desktop_folders.push_back(folder);
    return roots;
}

bool may_hold_an_installation(const std::wstring& folder)
{
    if (!is_plain_absolute_path(folder))
        return false;
    const fs::path path(folder);
    if (const std::wstring windows = vt::known_folder(FOLDERID_Windows); !windows.empty() && lies_at_or_below(path, windows))
        return false;
    for (REFKNOWNFOLDERID id : {FOLDERID_Windows, FOLDERID_ProgramFiles, FOLDERID_ProgramFilesX86, FOLDERID_ProgramData,
                                FOLDERID_UserProfiles, FOLDERID_Profile, FOLDERID_PublicDesktop, FOLDERID_Desktop,
                                FOLDERID_PublicDocuments, FOLDERID_Documents})
        if (const std::wstring system = vt::known_folder(id); !system.empty() && lies_at_or_below(system, path))
            return false;
    return true;
}
