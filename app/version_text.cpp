#include "app/version_text.h"

#include "app/language.h"

std::wstring version_text(const vt::version_info& version)
{
    std::wstring result = version.product_name();
    std::wstring number = version.product_version();
    if (!number.empty())
        result.append(L" ").append(number);

    DWORD flags = version.flags();
    if ((flags & VS_FF_PRERELEASE) && PRIMARYLANGID(current_langid()) != LANG_FRENCH) {
        // Pre-releases are marked with the French spelling; only French keeps it.
        auto at = result.find(L"b\u00EAta");
        if (at != std::wstring::npos)
            result.replace(at, 4, L"beta");
    }
    if (flags & VS_FF_PRIVATEBUILD)
        result.append(L" \u2013 Private");
    if (flags & VS_FF_DEBUG)
        result.append(L" \u2013 Debug");
    return result;
}
