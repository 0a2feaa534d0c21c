#pragma once

#include "support/unique_any.h"

#include <string>

namespace vt {

// A named mutex that remembers whether this process owns it.
class named_mutex {
public:
    // With global the name lives in the "Global\" namespace and every user may
    // open it. Asked to be initially owned, an existing mutex is waited for.
    named_mutex(const std::wstring& name, bool initially_owned, bool global);
    named_mutex(const named_mutex&) = delete;
    named_mutex& operator=(const named_mutex&) = delete;
    ~named_mutex();

    // Takes the mutex without waiting; false when another process holds it.
    bool try_lock();
    // Gives the mutex up while this process keeps its handle.
    void unlock();
    bool owned() const noexcept { return owned_; }

private:
    unique_handle handle_;
    bool owned_ = false;
};

// Gives a held mutex up for its lifetime, so that another process may take
// it, and takes it back without waiting at the end. Whether that succeeded
// is the mutex's owned(): another installer may have started meanwhile and
// taken it, and then this one goes on without it.
class scoped_unlock {
public:
    explicit scoped_unlock(named_mutex& mutex) : mutex_(mutex) { mutex_.unlock(); }
    scoped_unlock(const scoped_unlock&) = delete;
    scoped_unlock& operator=(const scoped_unlock&) = delete;
    ~scoped_unlock() { mutex_.try_lock(); }

private:
    named_mutex& mutex_;
};

} // namespace vt
