#include "dialog_watch.h"

#include <thread>

namespace {
thread_local box_watcher* current_watcher = nullptr;

std::wstring window_text(HWND window)
{
    int length = ::GetWindowTextLengthW(window);
    std::wstring text(std::size_t(length) + 1, L'\0');
    text.resize(std::size_t(::GetWindowTextW(window, text.data(), length + 1)));
    return text;
}

BOOL CALLBACK collect_child(HWND child, LPARAM param)
{
    auto box = reinterpret_cast<seen_box*>(param);
    wchar_t name[32] = {};
    ::GetClassNameW(child, name, 32);
    LONG style = ::GetWindowLongW(child, GWL_STYLE);
    if (::lstrcmpiW(name, L"Static") == 0) {
        if ((style & SS_TYPEMASK) == SS_ICON) {
            if (::SendMessageW(child, STM_GETICON, 0, 0))
                box->has_icon = true;
        } else if (box->text.empty()) {
            box->text = window_text(child);
        }
    } else if (::lstrcmpiW(name, L"Button") == 0 && (style & WS_VISIBLE)) {
        // The box itself may not be shown yet: the button's own style tells
        // whether the box uses it.
        box->buttons.push_back(::GetDlgCtrlID(child));
        if ((style & BS_TYPEMASK) == BS_DEFPUSHBUTTON && !box->default_button)
            box->default_button = ::GetDlgCtrlID(child);
    }
    return TRUE;
}

struct process_search {
    DWORD process_id;
    HWND found;
    HWND except = nullptr;
};

BOOL CALLBACK find_process_dialog(HWND window, LPARAM param)
{
    auto search = reinterpret_cast<process_search*>(param);
    DWORD owner = 0;
    ::GetWindowThreadProcessId(window, &owner);
    if (owner != search->process_id || !::IsWindowVisible(window) || window == search->except)
        return TRUE;
    wchar_t name[32] = {};
    ::GetClassNameW(window, name, 32);
    if (::lstrcmpW(name, L"#32770") != 0)
        return TRUE;
    search->found = window;
    return FALSE;
}
} // namespace

seen_box read_box(HWND box)
{
    seen_box seen;
    seen.owner = ::GetWindow(box, GW_OWNER);
    seen.caption = window_text(box);
    seen.ex_style = ::GetWindowLongPtrW(box, GWL_EXSTYLE);
    ::GetWindowRect(box, &seen.rect);
    ::EnumChildWindows(box, collect_child, reinterpret_cast<LPARAM>(&seen));
    // Once the box has its focus, the focused push button is the default one.
    if (HWND focus = ::GetFocus(); !seen.default_button && focus && ::IsChild(box, focus) &&
                                   (::SendMessageW(focus, WM_GETDLGCODE, 0, 0) & DLGC_DEFPUSHBUTTON))
        seen.default_button = ::GetDlgCtrlID(focus);
    return seen;
}

box_watcher::box_watcher(std::function<int(const seen_box&)> answer)
    : hook_(::SetWindowsHookExW(WH_CBT, hook, nullptr, ::GetCurrentThreadId())), answer_(std::move(answer))
{
    current_watcher = this;
}

box_watcher::~box_watcher()
{
    ::UnhookWindowsHookEx(hook_);
    current_watcher = nullptr;
}

LRESULT CALLBACK box_watcher::hook(int code, WPARAM wparam, LPARAM lparam)
{
    box_watcher* self = current_watcher;
    if (code == HCBT_ACTIVATE && self) {
        HWND window = reinterpret_cast<HWND>(wparam);
        wchar_t name[32] = {};
        ::GetClassNameW(window, name, 32);
        if (::lstrcmpW(name, L"#32770") == 0 && !::GetPropW(window, L"vt.test.seen")) {
            ::SetPropW(window, L"vt.test.seen", reinterpret_cast<HANDLE>(1));
            seen_box seen = read_box(window);
            self->boxes_.push_back(seen);
            ::PostMessageW(window, WM_COMMAND, MAKEWPARAM(self->answer_(seen), BN_CLICKED), 0);
        }
    }
    return ::CallNextHookEx(nullptr, code, wparam, lparam);
}

namespace {
thread_local dialog_script* current_script = nullptr;
}

dialog_script::dialog_script(std::function<void(HWND)> act)
    : hook_(::SetWindowsHookExW(WH_CBT, hook, nullptr, ::GetCurrentThreadId())), act_(std::move(act))
{
    current_script = this;
}

dialog_script::~dialog_script()
{
    ::UnhookWindowsHookEx(hook_);
    for (auto& [timer, box] : pending_)
        ::KillTimer(nullptr, timer);
    current_script = nullptr;
}

LRESULT CALLBACK dialog_script::hook(int code, WPARAM wparam, LPARAM lparam)
{
    dialog_script* self = current_script;
    if (code == HCBT_ACTIVATE && self) {
        HWND window = reinterpret_cast<HWND>(wparam);
        wchar_t name[32] = {};
        ::GetClassNameW(window, name, 32);
        if (::lstrcmpW(name, L"#32770") == 0 && !::GetPropW(window, L"vt.test.scripted")) {
            ::SetPropW(window, L"vt.test.scripted", reinterpret_cast<HANDLE>(1));
            // A thread timer runs in whatever modal loop the box starts.
            UINT_PTR timer = ::SetTimer(nullptr, 0, 50, run);
            self->pending_.emplace_back(timer, window);
        }
    }
    return ::CallNextHookEx(nullptr, code, wparam, lparam);
}

void CALLBACK dialog_script::run(HWND, UINT, UINT_PTR timer, DWORD)
{
    ::KillTimer(nullptr, timer);
    dialog_script* self = current_script;
    if (!self)
        return;
    for (auto at = self->pending_.begin(); at != self->pending_.end(); ++at)
        if (at->first == timer) {
            HWND box = at->second;
            self->pending_.erase(at);
            ++self->seen_;
            if (::IsWindow(box))
                self->act_(box);
            return;
        }
}

HWND wait_for_process_dialog(DWORD process_id, std::chrono::milliseconds timeout)
{
    return wait_for_process_dialog(process_id, timeout, nullptr);
}

HWND wait_for_process_dialog(DWORD process_id, std::chrono::milliseconds timeout, HWND except)
{
    auto deadline = std::chrono::steady_clock::now() + timeout;
    do {
        process_search search{process_id, nullptr, except};
        ::EnumWindows(find_process_dialog, reinterpret_cast<LPARAM>(&search));
        if (search.found)
            return search.found;
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

uninstall_run run_uninstaller(const std::filesystem::path& uninstaller, const std::filesystem::path& gone)
{
    namespace fs = std::filesystem;
    auto copies = [] {
        int count = 0;
        std::error_code error;
        for (const auto& entry : fs::directory_iterator(fs::temp_directory_path(), error))
            count += entry.path().filename().wstring().rfind(L"vantrel_uninstall_", 0) == 0;
        return count;
    };
    uninstall_run run;
    started_process origin;
    start_program(uninstaller.wstring(), L"/silent", origin);
    if (!origin.process)
        return run;
    run.exit_code = origin.wait(std::chrono::seconds(30));
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(60);
    while ((copies() > 0 || fs::exists(gone)) && std::chrono::steady_clock::now() < deadline)
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
    run.copies_left = copies();
    return run;
}

void start_program(const std::wstring& path, const std::wstring& arguments, started_process& out,
                   const wchar_t* environment)
{
    std::wstring command = L"\"" + path + L"\" " + arguments;
    STARTUPINFOW startup{};
    startup.cb = sizeof(startup);
    PROCESS_INFORMATION info{};
    if (!::CreateProcessW(path.c_str(), command.data(), nullptr, nullptr, FALSE,
                          environment ? CREATE_UNICODE_ENVIRONMENT : 0, const_cast<wchar_t*>(environment), nullptr,
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
