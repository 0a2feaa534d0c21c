// A stand-in for the DirectX setup library, for the installer's tests and
// demo only. It is not the DirectX runtime and installs nothing: it answers
// with the version, calls back and returns the result that the environment
// asks for, and writes what it was asked to do to a file, with whether a
// message that arrived for the caller meanwhile was left waiting.
//   VT_DSETUP_VERSION   version as hexadecimal (default 40009: DirectX 9)
//   VT_DSETUP_REVISION  revision as decimal (default 904)
//   VT_DSETUP_RESULT    result of DirectXSetupW as decimal (default 0)
//   VT_DSETUP_LOG       file that receives one line per call (default none)

#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <cwchar>

using setup_callback = DWORD(WINAPI*)(DWORD reason, DWORD message_type, char* message, char* name, void* info);

namespace {

setup_callback callback = nullptr;

// Read from the process's environment block itself, not from the C
// runtime's copy, which a test program that sets a variable after its start
// (SetEnvironmentVariableW) would not change.
unsigned long environment_number(const wchar_t* name, unsigned long fallback, int base)
{
    wchar_t value[32] = {};
    const DWORD length = ::GetEnvironmentVariableW(name, value, 32);
    if (length == 0 || length >= 32)
        return fallback;
    // A negative result ("-1") comes back as its two's complement.
    return value[0] == L'-' ? 0 - std::wcstoul(value + 1, nullptr, base) : std::wcstoul(value, nullptr, base);
}

void log_line(const wchar_t* format, ...)
{
    wchar_t path[MAX_PATH] = {};
    const DWORD length = ::GetEnvironmentVariableW(L"VT_DSETUP_LOG", path, MAX_PATH);
    if (length == 0 || length >= MAX_PATH)
        return;
    FILE* file = _wfopen(path, L"a");
    if (!file)
        return;
    va_list args;
    va_start(args, format);
    std::vfwprintf(file, format, args);
    va_end(args);
    std::fputwc(L'\n', file);
    std::fclose(file);
}

} // namespace

extern "C" {

__declspec(dllexport) int WINAPI DirectXSetupGetVersion(DWORD* version, DWORD* revision)
{
    if (version)
        *version = DWORD(environment_number(L"VT_DSETUP_VERSION", 0x40009, 16));
    if (revision)
        *revision = DWORD(environment_number(L"VT_DSETUP_REVISION", 904, 10));
    log_line(L"GetVersion");
    return 1;
}

__declspec(dllexport) int WINAPI DirectXSetupSetCallback(setup_callback function)
{
    callback = function;
    log_line(L"SetCallback");
    return 0;
}

__declspec(dllexport) int WINAPI DirectXSetupW(HWND owner, wchar_t* source, DWORD flags)
{
    log_line(L"Setup owner=%d flags=%08lx source=%ls", owner ? 1 : 0, flags, source ? source : L"");
    // A few progress reports and one question, as the real setup makes. A
    // message that arrives for the caller's thread meanwhile (a repaint, a
    // click) should be let through by the time the setup ends.
    const UINT arrived = ::RegisterWindowMessageW(L"vt.dsetup.arrived");
    ::PostThreadMessageW(::GetCurrentThreadId(), arrived, 0, 0);
    DWORD answers = 0;
    if (callback) {
        for (int step = 0; step < 3; ++step)
            answers += callback(18, 0, const_cast<char*>("progress"), nullptr, nullptr) == IDOK;
        answers += callback(1, MB_YESNO, const_cast<char*>("question"), nullptr, nullptr) == IDOK;
    }
    MSG waiting;
    const bool left_waiting = ::PeekMessageW(&waiting, nullptr, arrived, arrived, PM_REMOVE) != FALSE;
    log_line(L"Answers ok=%lu, left waiting %d", answers, left_waiting ? 1 : 0);
    return int(long(environment_number(L"VT_DSETUP_RESULT", 0, 10)));
}

} // extern "C"
