#include "app/instance_counter.h"

#include "app/application_id.h"
#include "support/error.h"
#include "support/global_security.h"

instance_counter& instance_counter::instance()
{
    static instance_counter counter(L"Global\\" + application_id() + L".{a3526b56-ca7c-4e16-8a26-da7758a378fd}");
    return counter;
}

instance_counter::instance_counter(const std::wstring& name)
{
    vt::everyone_access security(SEMAPHORE_ALL_ACCESS);
    semaphore_.reset(::CreateSemaphoreW(security.attributes(), 0, 0x7FFFFFFF, name.c_str()));
    if (!semaphore_)
        vt::throw_last_error("CreateSemaphoreW");
    if (!::ReleaseSemaphore(semaphore_.get(), 1, nullptr))
        vt::throw_last_error("ReleaseSemaphore");
    added_ = 1;
}

instance_counter::~instance_counter()
{
    // Take back exactly the counts this process added; if one cannot be taken,
    // give back what this pass took rather than steal another program's count.
    long taken = 0;
    for (; taken < added_; ++taken) {
        if (::WaitForSingleObject(semaphore_.get(), 0) != WAIT_OBJECT_0) {
            if (taken > 0)
                ::ReleaseSemaphore(semaphore_.get(), taken, nullptr);
            break;
        }
    }
}

long instance_counter::running_instances()
{
    LONG previous = 0;
    if (!::ReleaseSemaphore(semaphore_.get(), 1, &previous))
        return 0;
    ::WaitForSingleObject(semaphore_.get(), 0);
    return previous;
}
