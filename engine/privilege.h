#pragma once
// Switching one privilege of this process's token on or off. Saving and
// restoring registry keys needs SeBackupPrivilege and SeRestorePrivilege,
// which an administrator holds but which are disabled by default.

// Enables (or disables) the named privilege, such as L"SeBackupPrivilege".
// True on success; a privilege the token does not hold is not a success.
bool set_privilege(const wchar_t* name, bool enable) noexcept;

// Holds one privilege enabled for its lifetime (when the token has it).
class privilege_scope {
public:
    explicit privilege_scope(const wchar_t* name) noexcept : name_(name), enabled_(set_privilege(name, true)) {}
    privilege_scope(const privilege_scope&) = delete;
    privilege_scope& operator=(const privilege_scope&) = delete;
    ~privilege_scope()
    {
        if (enabled_)
            set_privilege(name_, false);
    }

private:
    const wchar_t* name_;
    bool enabled_;
};
