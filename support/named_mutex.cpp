#include "support/named_mutex.h"

#include "support/global_security.h"

namespace vt {

named_mutex::named_mutex(const std::wstring& name, bool initially_owned, bool global)
{
    std::wstring full_name = global ? L"Global\\" + name : name;
    if (global) {
        everyone_access security(MUTEX_ALL_ACCESS);
        handle_.reset(::CreateMutexW(security.attributes(), initially_owned, full_name.c_str()));
    } else {
        handle_.reset(::CreateMutexW(nullptr, initially_owned, full_name.c_str()));
    }
    DWORD created_error = ::GetLastError();
    if (!handle_)
        return;
    if (initially_owned && created_error == ERROR_ALREADY_EXISTS) {
        DWORD wait = ::WaitForSingleObject(handle_.get(), INFINITE);
        owned_ = wait == WAIT_OBJECT_0 || wait == WAIT_ABANDONED;
    } else {
        owned_ = initially_owned;
    }
}

named_mutex::~named_mutex()
{
    unlock();
}

bool named_mutex::try_lock()
{
    DWORD wait = handle_ ? ::WaitForSingleObject(handle_.get(), 0) : WAIT_FAILED;
    owned_ = wait == WAIT_OBJECT_0 || wait == WAIT_ABANDONED;
    return owned_;
}

void named_mutex::unlock()
{
    if (owned_ && handle_)
        ::ReleaseMutex(handle_.get());
    owned_ = false;
}

} // namespace vt
