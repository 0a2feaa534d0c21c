#include "app/application_id.h"

#include "support/version_info.h"

#include <filesystem>
#include <windows.h>

const std::wstring& application_id()
{
    static const std::wstring id = [] {
        const auto& own = vt::version_info::own();
        std::wstring value = own.string_value(L"ApplicationId");
        if (value.empty())
            value = own.product_name();
        if (value.empty()) {
            wchar_t path[MAX_PATH] = {};
            ::GetModuleFileNameW(nullptr, path, MAX_PATH);
            value = std::filesystem::path(path).stem().wstring();
        }
        return value;
    }();
    return id;
}
