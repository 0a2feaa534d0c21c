#include "support/version_info.h"

#include "support/system_library.h"

#include <cstdio>
#include <cstring>

namespace vt {

namespace {
// version.dll is no known library: imported, it would be looked for in the
// installer's own folder first.
library_function<decltype(::GetFileVersionInfoSizeW)> file_version_info_size{L"version.dll",
                                                                             "GetFileVersionInfoSizeW"};
library_function<decltype(::GetFileVersionInfoW)> file_version_info{L"version.dll", "GetFileVersionInfoW"};
library_function<decltype(::VerQueryValueW)> query_value{L"version.dll", "VerQueryValueW"};
} // namespace

version_info::version_info(std::vector<std::byte> block) : block_(std::move(block))
{
    parse();
}

version_info version_info::from_module(HMODULE module)
{
    HRSRC found = ::FindResourceW(module, MAKEINTRESOURCEW(1), MAKEINTRESOURCEW(16));
    if (!found)
        return {};
    HGLOBAL loaded = ::LoadResource(module, found);
    DWORD size = ::SizeofResource(module, found);
    const void* data = loaded ? ::LockResource(loaded) : nullptr;
    if (!data || size == 0)
        return {};
    // VerQueryValueW may write into the block, so it works on a private copy.
    auto bytes = static_cast<const std::byte*>(data);
    return version_info(std::vector<std::byte>(bytes, bytes + size));
}

version_info version_info::from_file(const std::wstring& path)
{
    DWORD ignored = 0;
    DWORD size = file_version_info_size(path.c_str(), &ignored);
    if (size == 0)
        return {};
    std::vector<std::byte> block(size);
    if (!file_version_info(path.c_str(), 0, size, block.data()))
        return {};
    return version_info(std::move(block));
}

const version_info& version_info::own()
{
    static const version_info info = from_module(::GetModuleHandleW(nullptr));
    return info;
}

void version_info::parse()
{
    fixed_ = nullptr;
    translations_.clear();
    if (block_.empty())
        return;
    void* value = nullptr;
    UINT length = 0;
    if (query_value(block_.data(), L"\\", &value, &length) && value && length >= sizeof(VS_FIXEDFILEINFO))
        fixed_ = static_cast<const VS_FIXEDFILEINFO*>(value);

    if (query_value(block_.data(), L"\\VarFileInfo\\Translation", &value, &length) && value) {
        auto words = static_cast<const WORD*>(value);
        for (UINT i = 0; i + 1 < length / sizeof(WORD); i += 2) {
            if (words[i + 1] != 1200)
                continue;
            wchar_t key[16];
            std::swprintf(key, 16, L"%04x%04x", words[i], words[i + 1]);
            translations_.emplace_back(key);
        }
    }
}

std::uint64_t version_info::file_version() const noexcept
{
    if (!fixed_)
        return 0;
    return (std::uint64_t(fixed_->dwFileVersionMS) << 32) | fixed_->dwFileVersionLS;
}

DWORD version_info::flags() const noexcept
{
    return fixed_ ? (fixed_->dwFileFlags & fixed_->dwFileFlagsMask) : 0;
}

std::wstring version_info::string_value(std::wstring_view name) const
{
    if (translations_.empty() || block_.empty())
        return {};
    std::wstring query = L"\\StringFileInfo\\" + translations_.front() + L"\\" + std::wstring(name);
    void* value = nullptr;
    UINT length = 0;
    // The block is private to this reader; VerQueryValueW only reads it here.
    auto block = const_cast<std::byte*>(block_.data());
    if (!query_value(block, query.c_str(), &value, &length) || !value || length == 0)
        return {};
    std::wstring text(static_cast<const wchar_t*>(value), length);
    if (!text.empty() && text.back() == L'\0')
        text.pop_back();
    return text;
}

} // namespace vt
