#include "demo/uninstaller/self_removal.h"

#include "engine/installer_folder.h"
#include "support/protected_folder.h"
#include "support/unique_any.h"

#include <cstdint>
#include <string>

namespace fs = std::filesystem;

namespace {

// Long enough for the installed uninstaller to end after starting the copy;
// if it has not ended by then, its file is reported as not removed.
constexpr DWORD origin_timeout_ms = 30000;

std::wstring quoted(const std::wstring& text)
{
    return L"\"" + text + L"\"";
}

} // namespace

bool start_temporary_copy(const fs::path& uninstaller, const std::wstring& switches)
{
    // The copy runs as administrator: it goes in the installer's protected
    // folder, where no one else can replace it or plant a library beside it.
    vt::protected_folder folder;
    try {
        folder = vt::protected_folder(installer_folder_path());
    } catch (const std::system_error&) {
        return false;
    }
    const fs::path& temporary = folder.path();

    // A name no other run uses: the process id, and a counter for a leftover.
    fs::path copy;
    for (unsigned attempt = 0; attempt < 100 && copy.empty(); ++attempt) {
        fs::path candidate = temporary / (L"vantrel_uninstall_" + std::to_wstring(::GetCurrentProcessId()) + L"_" +
                                          std::to_wstring(attempt) + L".exe");
        if (::CopyFileW(uninstaller.c_str(), candidate.c_str(), TRUE))
            copy = candidate;
        else if (::GetLastError() != ERROR_FILE_EXISTS)
            return false;
    }
    if (copy.empty())
        return false;
    // The installed uninstaller is read-only; its copy must be deletable.
    ::SetFileAttributesW(copy.c_str(), FILE_ATTRIBUTE_NORMAL);

    SECURITY_ATTRIBUTES inheritable{sizeof(inheritable), nullptr, TRUE};
    vt::unique_file delete_on_close(::CreateFileW(copy.c_str(), DELETE, FILE_SHARE_READ | FILE_SHARE_DELETE,
                                                  &inheritable, OPEN_EXISTING, FILE_FLAG_DELETE_ON_CLOSE, nullptr));
    if (!delete_on_close) {
        ::DeleteFileW(copy.c_str());
        return false;
    }
    HANDLE self = nullptr;
    if (!::DuplicateHandle(::GetCurrentProcess(), ::GetCurrentProcess(), ::GetCurrentProcess(), &self, SYNCHRONIZE,
                           TRUE, 0))
        return false; // closing the handle deletes the copy
    vt::unique_handle self_handle(self);

    std::wstring command_line = quoted(copy.wstring()) + L" " + origin_switch + quoted(uninstaller.wstring()) + L" " +
                                parent_switch + std::to_wstring(reinterpret_cast<std::uintptr_t>(self)) + switches;
    STARTUPINFOW startup{};
    startup.cb = sizeof(startup);
    PROCESS_INFORMATION process{};
    // The copy runs in that folder, so that no process keeps the
    // installation folder as its current folder, and none has a folder the
    // user can write as its current one.
    if (!::CreateProcessW(copy.c_str(), command_line.data(), nullptr, nullptr, TRUE, 0, nullptr,
                          temporary.c_str(), &startup, &process))
        return false;
    ::AllowSetForegroundWindow(process.dwProcessId);
    ::CloseHandle(process.hThread);
    ::CloseHandle(process.hProcess);
    return true;
}

void wait_for_origin(HANDLE parent)
{
    if (!parent)
        return;
    ::WaitForSingleObject(parent, origin_timeout_ms);
    ::CloseHandle(parent);
}
