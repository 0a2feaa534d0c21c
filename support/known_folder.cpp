#include "support/known_folder.h"

#include "support/unique_any.h"

#include <shlobj.h>

namespace vt {

std::wstring known_folder(REFKNOWNFOLDERID id, HRESULT* status)
{
    PWSTR path = nullptr;
    HRESULT result = ::SHGetKnownFolderPath(id, KF_FLAG_DONT_VERIFY, nullptr, &path);
    unique_cotaskmem owned(path);
    if (status)
        *status = result;
    return SUCCEEDED(result) && path ? std::wstring(path) : std::wstring();
}

} // namespace vt
