#pragma once

#include <windows.h>

#include <string>

// The system's message for a Windows error code or HRESULT, trailing blanks
// removed; the unspecified error's text, or "Error", when there is none.
std::wstring system_error_text(DWORD code, LANGID language);
