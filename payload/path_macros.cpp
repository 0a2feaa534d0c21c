// Destination macros: the first element of a stored destination folder may
// name a folder of the installation ("<InstallPath>", "<SamplePath>",
// "<Temporary>") or a special folder of the shell. Folders that all users
// share are recorded so that the users group is given access to them once
// they exist.

#include "payload/path_macros.h"

#include "payload/compress_error.h"
#include "payload/destination_macros.h"
#include "payload/file_utils.h"
#include "payload/payload_writer.h"

#include <windows.h>
#include <shlobj.h>

#include <string_view>

namespace fs = std::filesystem;

fs::path known_folder_path(int csidl, int fallback_csidl, bool use_fallback)
{
    auto ask = [](int id) {
        wchar_t buffer[MAX_PATH] = {};
        // The status is not examined: some shells report success with an
        // empty folder, or a failure with a usable one.
        ::SHGetFolderPathW(::GetActiveWindow(), id, nullptr, SHGFP_TYPE_CURRENT, buffer);
        return std::wstring(buffer);
    };
    std::wstring folder = ask(csidl);
    if (folder.empty() && use_fallback)
        folder = ask(fallback_csidl);
    if (folder.empty())
        throw_compress_error(compress_errc::unexpected_error, "special folder not found");
    return folder;
}

fs::path payload_writer::resolve_destination(const fs::path& folder)
{
    if (folder.empty())
        return folder;
    auto element = folder.begin();
    const std::wstring_view first = element->native();
    if (!looks_like_macro(first))
        return folder; // a literal folder is used as written

    // Unknown macros are refused: the remaining elements would otherwise land
    // below whatever the current folder happens to be.
    const destination_macro* macro = find_destination_macro(first);
    if (!macro)
        throw_compress_error(compress_errc::unexpected_error, "unknown destination macro");

    fs::path result;
    bool record_result = false; // a relative sample folder is recorded as a whole
    if (first == L"<InstallPath>") {
        result = install_folder_;
    } else if (first == L"<Temporary>") {
        result = temporary_folder_.empty() ? install_folder_ : temporary_folder_;
    } else if (first == L"<SamplePath>") {
        if (sample_folder_.empty()) {
            result = special_folder(CSIDL_COMMON_DESKTOPDIRECTORY, CSIDL_DESKTOPDIRECTORY, true);
        } else if (sample_folder_.has_root_name() && sample_folder_.has_root_directory()) {
            result = sample_folder_;
        } else {
            result = special_folder(CSIDL_COMMON_DESKTOPDIRECTORY, CSIDL_DESKTOPDIRECTORY, true) / sample_folder_;
            record_result = true;
        }
    } else {
        result = special_folder(macro->csidl, macro->fallback_csidl, macro->fallback_csidl != 0);
    }
    const bool shared = macro->shared;
    if (record_result)
        record_shared_folder(result);

    for (++element; element != folder.end(); ++element) {
        if (element->empty())
            continue; // a trailing separator adds no folder
        result /= *element;
        if (shared)
            record_shared_folder(result);
    }
    return result;
}

const fs::path& payload_writer::special_folder(int csidl, int fallback_csidl, bool use_fallback)
{
    auto found = special_folders_.find(csidl);
    if (found == special_folders_.end())
        found = special_folders_.emplace(csidl, known_folder_path(csidl, fallback_csidl, use_fallback)).first;
    return found->second;
}

void payload_writer::record_shared_folder(const fs::path& folder)
{
    // The entries of one folder name it alike: comparing the names first
    // spares the file system for all but the folder's first entry.
    for (const shared_folder& known : shared_folders_)
        if (known.folder == folder)
            return;
    for (const shared_folder& known : shared_folders_)
        if (same_path(known.folder, folder))
            return;
    shared_folders_.push_back({folder, false});
}
