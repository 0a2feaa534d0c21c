#include "engine/installer_folder.h"

#include "resources/product.h"
#include "support/error.h"
#include "support/known_folder.h"

#include <knownfolders.h>

std::filesystem::path installer_folder_path()
{
    HRESULT result = S_OK;
    const std::wstring data = vt::known_folder(FOLDERID_ProgramData, &result);
    if (data.empty())
        vt::throw_hresult(FAILED(result) ? result : E_FAIL, "installer_folder_path");
    return std::filesystem::path(data) / (std::wstring(maker_folder) + L" Installer");
}
