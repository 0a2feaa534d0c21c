#pragma once
// Security for the kernel objects that the product's programs share across
// sessions: one access entry giving Everyone full access to the object, so
// that programs started by any logged-on user can open it.

#include <windows.h>

#include <vector>

namespace vt {

class everyone_access {
public:
    explicit everyone_access(DWORD full_access);
    everyone_access(const everyone_access&) = delete;
    everyone_access& operator=(const everyone_access&) = delete;

    SECURITY_ATTRIBUTES* attributes() noexcept { return &attributes_; }

private:
    std::vector<BYTE> acl_;
    SECURITY_DESCRIPTOR descriptor_{};
    SECURITY_ATTRIBUTES attributes_{};
};

} // namespace vt
