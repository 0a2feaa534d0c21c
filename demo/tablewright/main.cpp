// Tablewright 8.11n, the demo stand-in of the product this installer installs.
// Started with "/Register /Background" by the installer, it registers its
// project file type and exits with -10, the code by which the installer knows
// that the registration succeeded. Started by a user, it shows its window.
// For the installer's tests, VT_TABLEWRIGHT_LOG names a file that receives
// the command line of every start, one per line; a registration run adds
// whether it could take the installer's single-instance lock, which the
// installer must release while the product registers itself:
// "/Register /Background | installer lock: free" (or "held", or "absent"
// when no installer has made it). VT_TABLEWRIGHT_HOLD names an event that a
// registration run waits for before it registers (a product that takes its
// time; at most a minute, so nothing hangs for good).

#include <windows.h>
#include <shlobj.h>

#include <string>

namespace {

constexpr int registration_done = -10;

bool set_default_value(HKEY root, const std::wstring& subkey, const std::wstring& value)
{
    HKEY key = nullptr;
    if (::RegCreateKeyExW(root, subkey.c_str(), 0, nullptr, 0, KEY_WRITE, nullptr, &key, nullptr) != ERROR_SUCCESS)
        return false;
    bool ok = ::RegSetValueExW(key, nullptr, 0, REG_SZ, reinterpret_cast<const BYTE*>(value.c_str()),
                               DWORD((value.size() + 1) * sizeof(wchar_t))) == ERROR_SUCCESS;
    ::RegCloseKey(key);
    return ok;
}

// The project file type: ".twp" opens with this program.
bool register_file_type()
{
    wchar_t path[MAX_PATH] = {};
    ::GetModuleFileNameW(nullptr, path, MAX_PATH);
    std::wstring command = L"\"" + std::wstring(path) + L"\" \"%1\"";
    return set_default_value(HKEY_CLASSES_ROOT, L".twp", L"Tablewright.Project.8") &&
           set_default_value(HKEY_CLASSES_ROOT, L"Tablewright.Project.8", L"Tablewright Project") &&
           set_default_value(HKEY_CLASSES_ROOT, L"Tablewright.Project.8\\DefaultIcon", std::wstring(path) + L",0") &&
           set_default_value(HKEY_CLASSES_ROOT, L"Tablewright.Project.8\\shell\\open\\command", command);
}

LRESULT CALLBACK window_proc(HWND window, UINT message, WPARAM wparam, LPARAM lparam)
{
    switch (message) {
    case WM_PAINT: {
        PAINTSTRUCT paint;
        HDC dc = ::BeginPaint(window, &paint);
        RECT area;
        ::GetClientRect(window, &area);
        ::DrawTextW(dc, L"Tablewright 8.11n \u2013 demo product of the installer", -1, &area,
                    DT_CENTER | DT_VCENTER | DT_SINGLELINE);
        ::EndPaint(window, &paint);
        return 0;
    }
    case WM_DESTROY: ::PostQuitMessage(0); return 0;
    default: return ::DefWindowProcW(window, message, wparam, lparam);
    }
}

int show_window(HINSTANCE instance, int show)
{
    WNDCLASSW window_class{};
    window_class.lpfnWndProc = window_proc;
    window_class.hInstance = instance;
    window_class.hCursor = ::LoadCursorW(nullptr, IDC_ARROW);
    window_class.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_WINDOW + 1);
    window_class.lpszClassName = L"Tablewright8";
    ::RegisterClassW(&window_class);
    HWND window = ::CreateWindowW(L"Tablewright8", L"Tablewright 8.11n", WS_OVERLAPPEDWINDOW, CW_USEDEFAULT,
                                  CW_USEDEFAULT, 640, 400, nullptr, nullptr, instance, nullptr);
    ::ShowWindow(window, show);
    MSG message;
    while (::GetMessageW(&message, nullptr, 0, 0) > 0) {
        ::TranslateMessage(&message);
        ::DispatchMessageW(&message);
    }
    return 0;
}

// The global mutex that admits one installer of the product at a time (the
// installer's application id "Tablewright8" and the lock's own suffix).
constexpr const wchar_t* installer_lock_name = L"Global\\Tablewright8.{5ead623c-dfcd-474d-8e3c-e6978cac039e}";

// Whether this program could take the installer's lock now: "free" (taken
// and given back at once), "held" (an installer holds it) or "absent".
std::wstring installer_lock_state()
{
    HANDLE lock = ::OpenMutexW(SYNCHRONIZE | MUTEX_MODIFY_STATE, FALSE, installer_lock_name);
    if (!lock)
        return L"absent";
    const DWORD wait = ::WaitForSingleObject(lock, 0);
    const bool taken = wait == WAIT_OBJECT_0 || wait == WAIT_ABANDONED;
    if (taken)
        ::ReleaseMutex(lock);
    ::CloseHandle(lock);
    return taken ? L"free" : L"held";
}

void log_command_line(const std::wstring& arguments)
{
    wchar_t path[MAX_PATH] = {};
    if (!::GetEnvironmentVariableW(L"VT_TABLEWRIGHT_LOG", path, MAX_PATH) || !path[0])
        return;
    HANDLE file = ::CreateFileW(path, FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_ALWAYS,
                                FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return;
    const std::wstring line = arguments + L"\n";
    DWORD written = 0;
    ::WriteFile(file, line.data(), DWORD(line.size() * sizeof(wchar_t)), &written, nullptr);
    ::CloseHandle(file);
}

void hold_if_asked()
{
    wchar_t name[MAX_PATH] = {};
    if (!::GetEnvironmentVariableW(L"VT_TABLEWRIGHT_HOLD", name, MAX_PATH) || !name[0])
        return;
    if (HANDLE released = ::OpenEventW(SYNCHRONIZE, FALSE, name)) {
        ::WaitForSingleObject(released, 60000);
        ::CloseHandle(released);
    }
}

} // namespace

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, PWSTR command_line, int show)
{
    std::wstring arguments = command_line ? command_line : L"";
    const bool registration = arguments.find(L"/Register") != std::wstring::npos;
    log_command_line(registration ? arguments + L" | installer lock: " + installer_lock_state() : arguments);
    if (registration) {
        hold_if_asked();
#ifdef TABLEWRIGHT_REGISTRATION_EXIT_CODE
        (void)register_file_type;
        return TABLEWRIGHT_REGISTRATION_EXIT_CODE; // test variant: a product whose registration fails
#else
        if (!register_file_type())
            return 1;
        ::SHChangeNotify(SHCNE_ASSOCCHANGED, SHCNF_FLUSH, nullptr, nullptr);
        return registration_done;
#endif
    }
    return show_window(instance, show);
}
