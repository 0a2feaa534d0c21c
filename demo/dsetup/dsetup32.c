/* A stand-in for the helper library that ships beside the DirectX setup
   library, for the installer's tests and demo only. It carries the name and a
   version resource so that the payload holds the same files as a real one;
   it has no code of its own and installs nothing. */

#include <windows.h>

BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID reserved)
{
    (void)instance;
    (void)reason;
    (void)reserved;
    return TRUE;
}
