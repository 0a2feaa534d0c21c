#include "dialog_watch.h"

#include "support/error.h"
#include "ui/window_utilities.h"

#include <thread>
#include <utility>

namespace {
thread_local box_watcher* current_watcher = nullptr;

bool is_class(HWND window, const wchar_t* name)
{
    wchar_t actual[32] = {};
    ::GetClassNameW(window, actual, 32);
    return ::lstrcmpiW(actual, name) == 0;
}

BOOL CALLBACK collect_child(HWND child, LPARAM param)
{
    auto box = reinterpret_cast<seen_box*>(param);
    LONG style = ::GetWindowLongW(child, GWL_STYLE);
    if (is_class(child, L"Static") && (style & SS_TYPEMASK) != SS_ICON) {
        // A text that is a resource ordinal (0xFFFF, id) names an image.
        const std::wstring text = get_window_text(child);
        if (box->text.empty() && (text.empty() || text[0] != 0xFFFF))
            box->text = text;
    } else if (is_class(child, L"Button") && (style & WS_VISIBLE)) {
        // The box itself may not be shown yet: the button's own style tells
        // whether the box uses it.
        box->buttons.push_back(::GetDlgCtrlID(child));
    }
    return TRUE;
}
} // namespace

seen_box read_box(HWND box)
{
    seen_box seen;
    seen.caption = get_window_text(box);
    ::EnumChildWindows(box, collect_child, reinterpret_cast<LPARAM>(&seen));
    return seen;
}

box_watcher::box_watcher(std::function<int(const seen_box&)> answer)
    : hook_(::SetWindowsHookExW(WH_CBT, hook, nullptr, ::GetCurrentThreadId())), answer_(std::move(answer))
{
    current_watcher = this;
}

box_watcher::~box_watcher()
{
    current_watcher = nullptr;
}

LRESULT CALLBACK box_watcher::hook(int code, WPARAM wparam, LPARAM lparam)
{
    HWND window = reinterpret_cast<HWND>(wparam);
    if (code == HCBT_ACTIVATE && current_watcher && is_class(window, L"#32770") &&
        ::GetWindowThreadProcessId(window, nullptr) == ::GetCurrentThreadId() &&
        !::GetPropW(window, L"vt.test.seen")) {
        vt::exception_barrier(false, [window] {
            ::SetPropW(window, L"vt.test.seen", reinterpret_cast<HANDLE>(1));
            seen_box seen = read_box(window);
            current_watcher->boxes_.push_back(seen);
            return ::PostMessageW(window, WM_COMMAND, MAKEWPARAM(current_watcher->answer_(seen), BN_CLICKED), 0) !=
                   FALSE;
        });
    }
    return ::CallNextHookEx(nullptr, code, wparam, lparam);
}

seen_box read_filled_box(HWND box, std::chrono::milliseconds timeout)
{
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    seen_box seen = read_box(box);
    while (seen.text.empty() && ::IsWindow(box) && std::chrono::steady_clock::now() < deadline) {
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
        seen = read_box(box);
    }
    return seen;
}

HWND wait_for_process_dialog(DWORD process_id, std::chrono::milliseconds timeout, HWND except)
{
    auto deadline = std::chrono::steady_clock::now() + timeout;
    do {
        for (HWND window = ::FindWindowExW(nullptr, nullptr, L"#32770", nullptr); window;
             window = ::FindWindowExW(nullptr, window, L"#32770", nullptr)) {
            DWORD owner = 0;
            ::GetWindowThreadProcessId(window, &owner);
            if (owner == process_id && window != except && ::IsWindowVisible(window))
                return window;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    } while (std::chrono::steady_clock::now() < deadline);
    return nullptr;
}

void press_button(HWND dialog, int id)
{
    ::PostMessageW(dialog, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED), 0);
}

started_process::~started_process()
{
    if (process) {
        if (wait(std::chrono::milliseconds(0)) == STILL_ACTIVE)
            ::TerminateProcess(process, 99);
        ::CloseHandle(process);
    }
}

DWORD started_process::wait(std::chrono::milliseconds timeout)
{
    ::WaitForSingleObject(process, DWORD(timeout.count()));
    DWORD code = STILL_ACTIVE;
    ::GetExitCodeProcess(process, &code);
    return code;
}

void start_program(const std::wstring& path, const std::wstring& arguments, started_process& out)
{
    std::wstring command = L"\"" + path + L"\" " + arguments;
    STARTUPINFOW startup{};
    startup.cb = sizeof(startup);
    PROCESS_INFORMATION info{};
    if (!::CreateProcessW(path.c_str(), command.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                          &startup, &info))
        return;
    ::CloseHandle(info.hThread);
    out.process = info.hProcess;
    out.id = info.dwProcessId;
}

std::wstring build_folder()
{
    wchar_t path[MAX_PATH] = {};
    ::GetModuleFileNameW(nullptr, path, MAX_PATH);
    std::wstring folder(path);
    folder.resize(folder.find_last_of(L"\\/"));
    // Test programs live in <build>/tests; the installer in <build>.
    auto at = folder.find_last_of(L"\\/");
    if (at != std::wstring::npos && folder.substr(at + 1) == L"tests")
        folder.resize(at);
    return folder;
}
