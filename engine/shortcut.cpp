#include "engine/shortcut.h"

#include "support/error.h"
#include "support/unique_any.h"

#include <shlobj.h>
#include <shobjidl.h>

namespace {

// COM for the link objects; a thread already initialised for another model
// keeps its model.
void check_com(const vt::com_scope& com)
{
    if (FAILED(com.result()) && com.result() != RPC_E_CHANGED_MODE)
        vt::throw_hresult(com.result(), "CoInitializeEx");
}

// The target's folder without trailing separators.
std::wstring working_folder(const std::filesystem::path& target)
{
    std::wstring folder = target.wstring();
    auto last = folder.find_last_of(L"\\/");
    folder.resize(last == std::wstring::npos ? 0 : last);
    while (!folder.empty() && (folder.back() == L'\\' || folder.back() == L'/'))
        folder.pop_back();
    return folder;
}

} // namespace

std::filesystem::path create_link(const std::filesystem::path& target, const std::filesystem::path& folder,
                                  const std::wstring& name)
{
    // Without a folder (no desktop at all, say) the link would land in the
    // current folder under a relative name: no link is better.
    if (!folder.is_absolute())
        vt::throw_hresult(E_INVALIDARG, "create_link: no absolute folder");
    vt::com_scope com;
    check_com(com);
    vt::com_ptr<IShellLinkW> link;
    vt::check_hresult(
        ::CoCreateInstance(CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER, IID_IShellLinkW, link.put_void()),
        "CoCreateInstance");
    if (!link)
        vt::throw_hresult(E_POINTER, "CoCreateInstance");
    vt::check_hresult(link->SetPath(target.c_str()), "IShellLinkW::SetPath");
    vt::check_hresult(link->SetWorkingDirectory(working_folder(target).c_str()), "IShellLinkW::SetWorkingDirectory");

    vt::com_ptr<IPersistFile> file;
    vt::check_hresult(link->QueryInterface(IID_IPersistFile, file.put_void()), "QueryInterface(IPersistFile)");
    if (!file)
        vt::throw_hresult(E_POINTER, "QueryInterface(IPersistFile)");

    std::filesystem::path link_path = folder / (name + L".lnk");
    vt::check_hresult(file->Save(link_path.c_str(), TRUE), "IPersistFile::Save");
    return link_path;
}
