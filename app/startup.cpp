#include "app/startup.h"

#include "app/application_id.h"
#include "app/installer_context.h"
#include "app/instance_counter.h"
#include "app/language.h"
#include "support/known_folder.h"
#include "support/system_library.h"
#include "support/unique_any.h"

#include <commctrl.h>
#include <knownfolders.h>
#include <shlobj.h>
#include <shlwapi.h>

#include <stdexcept>
#include <string_view>
#include <vector>

namespace {

std::wstring documents;

constexpr const wchar_t* incompatible_processor =
    L"This Version is not compatible with your Configuration.\n\n"
    L"Cette version n'est pas compatible avec votre configuration.\n\n"
    L"Diese Version ist nicht mit Ihrer Konfiguration kompatibel.";

void initialization_error()
{
    ::MessageBoxW(nullptr, L"Initialization Error", nullptr, MB_ICONERROR | MB_TASKMODAL | MB_SETFOREGROUND);
}

void application_init()
{
    documents = vt::known_folder(FOLDERID_Documents);

    if (!has_common_controls_6())
        throw std::runtime_error("common controls 6.0 are required");
    INITCOMMONCONTROLSEX classes{sizeof(classes), 0xC0FF};
    if (!::InitCommonControlsEx(&classes))
        throw std::runtime_error("InitCommonControlsEx");
    application_id();
    instance_counter::instance();
}

} // namespace

namespace {

// Major version of the common-controls assembly that the activation context
// (the manifest) redirects comctl32.dll to; 0 without redirection.
unsigned activated_common_controls_major()
{
    ACTCTX_SECTION_KEYED_DATA data{};
    data.cbSize = sizeof(data);
    if (!::FindActCtxSectionStringW(FIND_ACTCTX_SECTION_KEY_RETURN_HACTCTX, nullptr,
                                    ACTIVATION_CONTEXT_SECTION_DLL_REDIRECTION, L"comctl32.dll", &data))
        return 0;
    struct release_context {
        HANDLE context;
        ~release_context() { ::ReleaseActCtx(context); }
    } release{data.hActCtx};

    DWORD index = data.ulAssemblyRosterIndex;
    SIZE_T needed = 0;
    ::QueryActCtxW(0, data.hActCtx, &index, AssemblyDetailedInformationInActivationContext, nullptr, 0, &needed);
    std::vector<BYTE> buffer(needed);
    if (needed < sizeof(ACTIVATION_CONTEXT_ASSEMBLY_DETAILED_INFORMATION) ||
        !::QueryActCtxW(0, data.hActCtx, &index, AssemblyDetailedInformationInActivationContext, buffer.data(),
                        buffer.size(), &needed))
        return 0;
    auto info = reinterpret_cast<const ACTIVATION_CONTEXT_ASSEMBLY_DETAILED_INFORMATION*>(buffer.data());
    if (!info->lpAssemblyEncodedAssemblyIdentity)
        return 0;
    std::wstring_view identity(info->lpAssemblyEncodedAssemblyIdentity);
    constexpr std::wstring_view key = L"version=\"";
    auto at = identity.find(key);
    if (at == std::wstring_view::npos)
        return 0;
    unsigned major = 0;
    for (at += key.size(); at < identity.size() && identity[at] >= L'0' && identity[at] <= L'9'; ++at)
        major = major * 10 + unsigned(identity[at] - L'0');
    return major;
}

} // namespace

bool has_common_controls_6()
{
    HMODULE module = ::GetModuleHandleW(L"comctl32.dll");
    vt::unique_module loaded;
    if (!module) {
        loaded.reset(::LoadLibraryW(L"comctl32.dll"));
        module = loaded.get();
    }
    auto get_version = module ? reinterpret_cast<DLLGETVERSIONPROC>(
                                    reinterpret_cast<void*>(::GetProcAddress(module, "DllGetVersion")))
                              : nullptr;
    DLLVERSIONINFO info{};
    info.cbSize = sizeof(info);
    if (!get_version || FAILED(get_version(&info)))
        return false;
    // Some implementations report the old version number from the version 6
    // library; the assembly the manifest activated tells the truth then.
    return info.dwMajorVersion >= 6 || activated_common_controls_major() >= 6;
}

const std::wstring& documents_folder()
{
    return documents;
}

std::optional<int> start_process()
{
    // Before anything can load a library: not from the installer's folder.
    vt::restrict_library_search();
    if (!::IsProcessorFeaturePresent(PF_XMMI64_INSTRUCTIONS_AVAILABLE)) {
        ::MessageBoxW(nullptr, incompatible_processor, nullptr, MB_ICONERROR);
        return 1;
    }
    processor_check_passed = true;

    try {
        ::SetErrorMode(::GetErrorMode() | SEM_FAILCRITICALERRORS | SEM_NOOPENFILEERRORBOX);
        set_process_locale();
        application_init();
    } catch (const std::exception&) {
        // Nothing of the installer's own can be trusted yet: not even its texts.
        initialization_error();
        return -11;
    }
    return std::nullopt;
}
