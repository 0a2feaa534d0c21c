#pragma once
// Libraries loaded only from the system's own folder. The installer runs as
// administrator from wherever it was saved (a browser's Downloads folder), so
// the ordinary search order, which looks in the program's folder and the
// current folder first, would run whatever library a user planted there.

#include "support/unique_any.h"

#include <windows.h>

namespace vt {

// Limits every later library search of this process to System32. The first
// thing each of our processes does, before anything can load a library.
void restrict_library_search() noexcept;

// A library of System32, loaded by that folder alone; raises the load's
// system error when it is not there.
HMODULE system_library(const wchar_t* name);

// Address of an exported function of a System32 library; raises
// ERROR_PROC_NOT_FOUND when the function is missing.
void* system_function(const wchar_t* library, const char* name);

// One function of a System32 library, bound on first use and kept for the
// life of the process (the library stays loaded): call it like the function.
template <typename Fn>
class library_function {
public:
    constexpr library_function(const wchar_t* library, const char* name) noexcept : library_(library), name_(name)
    {
    }

    Fn* get()
    {
        if (!address_)
            address_ = system_function(library_, name_);
        return reinterpret_cast<Fn*>(address_);
    }

    template <typename... Args>
    auto operator()(Args... args)
    {
        return get()(args...);
    }

private:
    const wchar_t* library_;
    const char* name_;
    void* address_ = nullptr;
};

} // namespace vt
