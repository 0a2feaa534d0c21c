#include "engine/shortcut.h"

#include "support/error.h"
#include "support/unique_any.h"

#include <shlobj.h>
#include <shobjidl.h>

namespace {

// COM for the link objects; a thread already initialised for another model
// keeps its model.
class com_initialisation {
public:
    com_initialisation()
    {
        HRESULT hr = ::CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
        if (FAILED(hr) && hr != RPC_E_CHANGED_MODE)
            vt::throw_hresult(hr, "CoInitializeEx");
        balanced_ = SUCCEEDED(hr);
    }
    com_initialisation(const com_initialisation&) = delete;
    com_initialisation& operator=(const com_initialisation&) = delete;
    ~com_initialisation()
    {
        if (balanced_)
            ::CoUninitialize();
    }

private:
    bool balanced_ = false;
};

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
    com_initialisation com;
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
