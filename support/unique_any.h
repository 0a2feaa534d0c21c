#pragma once
// Owning wrappers for Win32 resources: one small move-only type per kind of
// handle, each releasing its resource exactly once when it goes out of scope.

#include <windows.h>
#include <objbase.h>

#include <utility>

namespace vt {

template <typename T>
constexpr T zero_value() noexcept
{
    return T{};
}

inline HANDLE invalid_handle_value() noexcept
{
    return INVALID_HANDLE_VALUE;
}

// Owns a value of type T that is released with Close unless it equals the
// value that Invalid returns (a function, since INVALID_HANDLE_VALUE is no
// constant expression).
template <typename T, auto Close, T (*Invalid)() noexcept = zero_value<T>>
class unique_any {
public:
    using pointer = T;

    unique_any() noexcept = default;
    explicit unique_any(T value) noexcept : value_(value) {}
    unique_any(const unique_any&) = delete;
    unique_any& operator=(const unique_any&) = delete;
    unique_any(unique_any&& other) noexcept : value_(other.release()) {}
    unique_any& operator=(unique_any&& other) noexcept
    {
        if (this != &other)
            reset(other.release());
        return *this;
    }
    ~unique_any() { reset(); }

    T get() const noexcept { return value_; }
    explicit operator bool() const noexcept { return value_ != Invalid(); }

    T release() noexcept { return std::exchange(value_, Invalid()); }

    void reset() noexcept { reset(Invalid()); }
    void reset(T value) noexcept
    {
        T old = std::exchange(value_, value);
        if (old != Invalid())
            Close(old);
    }

    // For APIs that fill a T* out parameter: frees what is held first.
    T* put() noexcept
    {
        reset();
        return &value_;
    }

private:
    T value_ = Invalid();
};

namespace detail {
inline void close_handle(HANDLE h) noexcept { ::CloseHandle(h); }
inline void close_key(HKEY k) noexcept { ::RegCloseKey(k); }
inline void free_library(HMODULE m) noexcept { ::FreeLibrary(m); }
inline void destroy_icon(HICON i) noexcept { ::DestroyIcon(i); }
inline void delete_object(HGDIOBJ o) noexcept { ::DeleteObject(o); }
inline void local_free(HLOCAL p) noexcept { ::LocalFree(p); }
inline void cotaskmem_free(void* p) noexcept { ::CoTaskMemFree(p); }
inline void find_close(HANDLE h) noexcept { ::FindClose(h); }
inline void destroy_window(HWND w) noexcept { ::DestroyWindow(w); }
inline void delete_dc(HDC dc) noexcept { ::DeleteDC(dc); }
inline void unhook(HHOOK h) noexcept { ::UnhookWindowsHookEx(h); }
} // namespace detail

using unique_handle = unique_any<HANDLE, detail::close_handle>;
// CreateFileW and FindFirstFileW report failure as INVALID_HANDLE_VALUE.
using unique_file = unique_any<HANDLE, detail::close_handle, invalid_handle_value>;
using unique_find = unique_any<HANDLE, detail::find_close, invalid_handle_value>;
using unique_hkey = unique_any<HKEY, detail::close_key>;
using unique_module = unique_any<HMODULE, detail::free_library>;
using unique_icon = unique_any<HICON, detail::destroy_icon>;
using unique_gdi = unique_any<HGDIOBJ, detail::delete_object>;
using unique_local = unique_any<HLOCAL, detail::local_free>;
using unique_cotaskmem = unique_any<void*, detail::cotaskmem_free>;
using unique_window = unique_any<HWND, detail::destroy_window>;
using unique_dc = unique_any<HDC, detail::delete_dc>;
using unique_hook = unique_any<HHOOK, detail::unhook>;

// COM interface pointer: releases its reference when it goes out of scope.
template <typename I>
class com_ptr {
public:
    com_ptr() noexcept = default;
    com_ptr(const com_ptr&) = delete;
    com_ptr& operator=(const com_ptr&) = delete;
    com_ptr(com_ptr&& other) noexcept : p_(std::exchange(other.p_, nullptr)) {}
    com_ptr& operator=(com_ptr&& other) noexcept
    {
        if (this != &other) {
            reset();
            p_ = std::exchange(other.p_, nullptr);
        }
        return *this;
    }
    ~com_ptr() { reset(); }

    I* get() const noexcept { return p_; }
    I* operator->() const noexcept { return p_; }
    explicit operator bool() const noexcept { return p_ != nullptr; }
    void reset() noexcept
    {
        if (p_)
            std::exchange(p_, nullptr)->Release();
    }
    I** put() noexcept
    {
        reset();
        return &p_;
    }
    void** put_void() noexcept { return reinterpret_cast<void**>(put()); }

    template <typename Other>
    HRESULT query(com_ptr<Other>& out) const noexcept
    {
        return p_->QueryInterface(__uuidof(Other), out.put_void());
    }

private:
    I* p_ = nullptr;
};

// Keeps COM initialised on this thread for the life of the object.
class com_scope {
public:
    com_scope() noexcept : hr_(::CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED | COINIT_DISABLE_OLE1DDE)) {}
    com_scope(const com_scope&) = delete;
    com_scope& operator=(const com_scope&) = delete;
    ~com_scope()
    {
        if (SUCCEEDED(hr_))
            ::CoUninitialize();
    }
    HRESULT result() const noexcept { return hr_; }

private:
    HRESULT hr_;
};

} // namespace vt
