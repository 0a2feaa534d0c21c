/* A library planted where a user without administrator rights can write,
 * under the name of a system library that an elevated program might look
 * for there. Loaded, it writes "<its path> <- <the program's path>" to
 * C:\planted-libraries.log, then passes every call on to the system's own
 * library, so that a program that loads it still works and the log is what
 * shows the fault. */

#include <windows.h>

static HMODULE system_copy;

static void record_loading(HMODULE self)
{
    wchar_t line[2 * MAX_PATH + 8];
    DWORD length = GetModuleFileNameW(self, line, MAX_PATH);
    lstrcpyW(line + length, L" <- ");
    length += 4;
    length += GetModuleFileNameW(NULL, line + length, MAX_PATH);
    lstrcpyW(line + length, L"\r\n");
    length += 2;
    HANDLE log = CreateFileW(L"C:\\planted-libraries.log", FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE,
                             NULL, OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, NULL);
    if (log != INVALID_HANDLE_VALUE) {
        DWORD written;
        WriteFile(log, line, length * sizeof(wchar_t), &written, NULL);
        CloseHandle(log);
    }
}

BOOL WINAPI DllMain(HINSTANCE self, DWORD reason, LPVOID reserved)
{
    (void)reserved;
    if (reason == DLL_PROCESS_ATTACH) {
        wchar_t name[MAX_PATH], path[MAX_PATH];
        GetModuleFileNameW(self, name, MAX_PATH);
        const wchar_t* base = name;
        for (const wchar_t* c = name; *c; ++c)
            if (*c == L'\\' || *c == L'/')
                base = c + 1;
        GetSystemDirectoryW(path, MAX_PATH);
        lstrcatW(path, L"\\");
        lstrcatW(path, base);
        system_copy = LoadLibraryExW(path, NULL, 0);
        record_loading(self);
    }
    return TRUE;
}

typedef INT_PTR(WINAPI* any_function)(INT_PTR, INT_PTR, INT_PTR, INT_PTR, INT_PTR, INT_PTR);

static INT_PTR pass_on(const char* name, INT_PTR a, INT_PTR b, INT_PTR c, INT_PTR d, INT_PTR e, INT_PTR f)
{
    any_function real = system_copy ? (any_function)(void*)GetProcAddress(system_copy, name) : NULL;
    return real ? real(a, b, c, d, e, f) : 0;
}

/* Every function the installer and uninstaller ever imported from either
 * library, with up to six arguments (the caller cleans nothing up under the
 * x64 convention; these are built for x64 only), exported under the system's
 * names by version.def and bcrypt.def. */
#define PASS_ON(name)                                                                              \
    INT_PTR WINAPI planted_##name(INT_PTR a, INT_PTR b, INT_PTR c, INT_PTR d, INT_PTR e, INT_PTR f) \
    {                                                                                              \
        return pass_on(#name, a, b, c, d, e, f);                                                   \
    }

#ifdef PLANTED_VERSION
PASS_ON(GetFileVersionInfoSizeW)
PASS_ON(GetFileVersionInfoW)
PASS_ON(VerQueryValueW)
#else
PASS_ON(BCryptGenRandom)
PASS_ON(BCryptOpenAlgorithmProvider)
PASS_ON(BCryptCloseAlgorithmProvider)
#endif
