/* The entry point of a language module. The modules hold only resources and
   link without the C runtime, so the loader's entry point is this one. */

#include <windows.h>

BOOL WINAPI DllMainCRTStartup(HINSTANCE instance, DWORD reason, LPVOID reserved)
{
    (void)instance;
    (void)reason;
    (void)reserved;
    return TRUE;
}
