#include "support/file_names.h"

#include <windows.h>

namespace vt {

bool same_name(std::wstring_view a, std::wstring_view b) noexcept
{
    return ::CompareStringOrdinal(a.data(), int(a.size()), b.data(), int(b.size()), TRUE) == CSTR_EQUAL;
}

std::wstring folded_name(const std::wstring& name)
{
    std::wstring folded(name.size(), L'\0');
    if (!name.empty() && !::LCMapStringEx(LOCALE_NAME_INVARIANT, LCMAP_UPPERCASE, name.c_str(), int(name.size()),
                                         folded.data(), int(folded.size()), nullptr, nullptr, 0))
        return name;
    return folded;
}

bool path_exists(const std::wstring& path) noexcept
{
    return !path.empty() && ::GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

} // namespace vt
