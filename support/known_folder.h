#pragma once
// The shell's known folders (program files, Start menu, public desktop, ...),
// asked for without checking that they exist.

#include <windows.h>
#include <shtypes.h>

#include <string>

namespace vt {

// The folder's path, or empty when the shell has none; status receives the
// shell's result when given.
std::wstring known_folder(REFKNOWNFOLDERID id, HRESULT* status = nullptr);

} // namespace vt
