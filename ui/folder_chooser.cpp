#include "ui/folder_chooser.h"

#include "app/language.h"
#include "app/startup.h"
#include "support/error.h"
#include "support/file_names.h"
#include "support/unique_any.h"
#include "ui/message_box.h"
#include "ui/window_utilities.h"

#include <shlobj.h>
#include <shlwapi.h>

#include <vector>

namespace {

// The components of a path, trailing backslashes ignored.
std::vector<std::wstring_view> components(std::wstring_view path)
{
    std::vector<std::wstring_view> parts;
    std::size_t begin = 0;
    while (begin <= path.size()) {
        std::size_t end = path.find(L'\\', begin);
        if (end == std::wstring_view::npos)
            end = path.size();
        if (end > begin)
            parts.push_back(path.substr(begin, end - begin));
        begin = end + 1;
    }
    return parts;
}

// Whether the last components of path are the first count components of folder.
bool ends_with(const std::vector<std::wstring_view>& path, const std::vector<std::wstring_view>& folder,
               std::size_t count)
{
    if (count == 0 || count > path.size())
        return false;
    for (std::size_t i = 0; i < count; ++i)
        if (!vt::same_name(path[path.size() - count + i], folder[i]))
            return false;
    return true;
}

bool is_valid_path_character(wchar_t c)
{
    UINT type = ::PathGetCharTypeW(c);
    return type != GCT_INVALID && !(type & GCT_WILD);
}

BOOL CALLBACK find_edit(HWND child, LPARAM param)
{
    if (!is_edit_class(child))
        return TRUE;
    *reinterpret_cast<HWND*>(param) = child;
    return FALSE;
}

void show_selected(HWND edit, const std::wstring& text)
{
    if (!edit)
        return;
    set_text(edit, text);
    ::SendMessageW(edit, EM_SETSEL, 0, -1);
}

} // namespace

void folder_chooser::append_product_folder(std::wstring& path) const
{
    if (product_folder.empty())
        return;
    auto have = components(path);
    auto want = components(product_folder);
    if (want.empty() || ends_with(have, want, want.size()))
        return;
    // The longest leading part of the product folder that path already ends
    // with is not repeated.
    std::size_t matched = 0;
    for (std::size_t count = want.size() - 1; count > 0; --count)
        if (ends_with(have, want, count)) {
            matched = count;
            break;
        }
    std::wstring rest;
    for (std::size_t i = matched; i < want.size(); ++i) {
        if (!rest.empty())
            rest += L'\\';
        rest += want[i];
    }
    if (path.size() >= MAX_PATH)
        return;
    wchar_t buffer[MAX_PATH] = {};
    path.copy(buffer, path.size());
    if (::PathAppendW(buffer, rest.c_str()))
        path = buffer;
}

DWORD qualify_typed_folder(const std::wstring& text, std::wstring& qualified)
{
    if (text.size() >= MAX_PATH)
        return DWORD(HRESULT_FROM_WIN32(ERROR_FILENAME_EXCED_RANGE));
    wchar_t buffer[MAX_PATH] = {};
    text.copy(buffer, text.size());
    ::PathRemoveBlanksW(buffer);
    std::size_t length = ::wcslen(buffer);
    if (length > 0 && buffer[length - 1] == L'\\')
        buffer[--length] = L'\0';
    if (length == 2 && buffer[1] == L':') // a bare drive means its root
        buffer[length++] = L'\\';
    if (length == 0 && !::GetCurrentDirectoryW(MAX_PATH, buffer))
        return ::GetLastError();

    wchar_t full[MAX_PATH] = {};
    if (!::PathSearchAndQualifyW(buffer, full, MAX_PATH))
        return ERROR_BAD_PATHNAME;
    for (const wchar_t* c = full; *c; c = ::CharNextW(c))
        if (!is_valid_path_character(*c))
            return ERROR_BAD_PATHNAME;
    qualified = full;
    return 0;
}

std::wstring folder_chooser::choose(const std::wstring& start, const std::wstring& product,
                                    const std::wstring& browser_title)
{
    HWND owner = find_modal_owner();
    if (!com_initialised) {
        com.emplace();
        if (FAILED(com->result())) {
            message_box(system_error_text(DWORD(com->result()), current_langid()), message_text(),
                        MB_OK | MB_ICONWARNING);
            return {};
        }
        com_initialised = true;
    }
    initialised = false;
    typed = false;

    selected = ::PathIsRelativeW(start.c_str()) ? std::wstring() : start;
    if (selected.empty())
        selected = documents_folder();
    if (!selected.empty() && selected.back() == L':')
        selected += L'\\';
    product_folder = product;
    for (wchar_t c : product_folder)
        if (!is_valid_path_character(c)) {
            product_folder.clear();
            break;
        }
    while (!product_folder.empty() && product_folder.back() == L'.')
        product_folder.pop_back();
    append_product_folder(selected);
    title = browser_title;

    BROWSEINFOW info{};
    info.hwndOwner = owner;
    info.lpszTitle = title.c_str();
    info.ulFlags = BIF_RETURNONLYFSDIRS | BIF_RETURNFSANCESTORS | BIF_EDITBOX | BIF_VALIDATE | BIF_NEWDIALOGSTYLE;
    info.lpfn = browse_callback;
    info.lParam = reinterpret_cast<LPARAM>(this);
    vt::unique_cotaskmem item(::SHBrowseForFolderW(&info));
    if (!item)
        return {};
    wchar_t path[MAX_PATH] = {};
    if (!::SHGetPathFromIDListW(static_cast<PCIDLIST_ABSOLUTE>(item.get()), path))
        return {};
    // A validated typed folder wins over the item, which is only its
    // deepest existing parent.
    if (!typed)
        selected = path;
    return selected;
}

int CALLBACK folder_chooser::browse_callback(HWND browser, UINT message, LPARAM lparam, LPARAM data)
{
    // A failure in here leaves the browser as it is.
    return vt::exception_barrier(0, [&]() -> int {
        auto self = reinterpret_cast<folder_chooser*>(data);
        switch (message) {
        case BFFM_INITIALIZED: {
            self->initialised = true;
            // The tree shows the deepest folder of the proposal that exists; the
            // edit box the whole proposal, which may not exist yet.
            std::wstring proposal = self->selected;
            wchar_t existing[MAX_PATH] = {};
            bool found = false;
            if (proposal.size() < MAX_PATH) {
                proposal.copy(existing, proposal.size());
                while (existing[0] && !(found = ::PathIsDirectoryW(existing)))
                    if (!::PathRemoveFileSpecW(existing))
                        break;
            }
            if (found) {
                ::SendMessageW(browser, BFFM_SETSELECTIONW, TRUE, reinterpret_cast<LPARAM>(existing));
                ::SendMessageW(browser, BFFM_SETEXPANDED, TRUE, reinterpret_cast<LPARAM>(existing));
            }
            self->selected = proposal; // selecting the parent reported a change
            self->edit = nullptr;
            ::EnumChildWindows(browser, find_edit, reinterpret_cast<LPARAM>(&self->edit));
            if (found)
                show_selected(self->edit, self->selected);
            return 0;
        }
        case BFFM_SELCHANGED:
            if (!self->initialised)
                return 0;
            if (wchar_t path[MAX_PATH] = {};
                lparam && ::SHGetPathFromIDListW(reinterpret_cast<PCIDLIST_ABSOLUTE>(lparam), path)) {
                self->selected = path;
                self->append_product_folder(self->selected);
            }
            show_selected(self->edit, self->selected);
            return 0;
        case BFFM_VALIDATEFAILEDW: {
            std::wstring qualified;
            DWORD error = qualify_typed_folder(reinterpret_cast<const wchar_t*>(lparam), qualified);
            if (error == 0) {
                self->selected = qualified;
                self->typed = true;
                return 0; // closes the browser
            }
            message_box(system_error_text(error, current_langid()), message_text(), MB_OK | MB_ICONWARNING);
            return 1; // the browser stays open
        }
        default:
            return 0;
        }
    });
}
