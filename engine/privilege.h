#pragma once
// Switching one privilege of this process's token on or off. Saving and
// restoring registry keys needs SeBackupPrivilege and SeRestorePrivilege,
// which an administrator holds but which are disabled by default.

// Enables (or disables) the named privilege, such as L"SeBackupPrivilege".
// True on success; a privilege the token does not hold is not a success.
bool set_privilege(const wchar_t* name, bool enable) noexcept;
