// Uninstall.exe: removes Tablewright 8 as its installer's log describes it.
//
//   Uninstall.exe [/silent]
//
// Started from the installation folder it hands over to a copy of itself in
// the temporary folder (self_removal.h), which does the work. /silent asks
// nothing and shows nothing; the outcome is the copy's exit code
// (uninstaller.h).

#include "app/language.h"
#include "demo/uninstaller/self_removal.h"
#include "demo/uninstaller/uninstaller.h"
#include "support/system_library.h"
#include "support/unique_any.h"

#include <windows.h>
#include <shellapi.h>

#include <cstdint>
#include <string>
#include <string_view>

namespace {

struct command_line {
    bool silent = false;
    std::wstring origin;
    HANDLE parent = nullptr;
};

command_line parse_command_line()
{
    command_line parsed;
    int count = 0;
    LPWSTR* arguments = ::CommandLineToArgvW(::GetCommandLineW(), &count);
    vt::unique_local owned(arguments);
    for (int i = 1; arguments && i < count; ++i) {
        const std::wstring_view argument = arguments[i];
        if (argument == L"/silent" || argument == L"/S")
            parsed.silent = true;
        else if (argument.rfind(origin_switch, 0) == 0)
            parsed.origin = argument.substr(std::wstring_view(origin_switch).size());
        else if (argument.rfind(parent_switch, 0) == 0)
            parsed.parent = reinterpret_cast<HANDLE>(
                std::uintptr_t(std::wcstoull(arguments[i] + std::wstring_view(parent_switch).size(), nullptr, 10)));
    }
    return parsed;
}

std::wstring own_path()
{
    std::wstring path(MAX_PATH, L'\0');
    for (;;) {
        const DWORD length = ::GetModuleFileNameW(nullptr, path.data(), DWORD(path.size()));
        if (length < path.size()) {
            path.resize(length);
            return path;
        }
        path.resize(path.size() * 2);
    }
}

} // namespace

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int)
{
    // Before anything can load a library: not from the uninstaller's folder.
    vt::restrict_library_search();
    set_process_locale();
    const command_line parsed = parse_command_line();
    if (parsed.origin.empty()) {
        const std::wstring self = own_path();
        if (start_temporary_copy(self, parsed.silent ? L" /silent" : L""))
            return 0;
        // Without a copy the work is done from here; this file, its log and
        // its folder then stay behind and are reported.
        return run_uninstaller({self, parsed.silent});
    }
    wait_for_origin(parsed.parent);
    return run_uninstaller({parsed.origin, parsed.silent});
}
