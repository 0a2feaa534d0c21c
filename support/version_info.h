#pragma once
// Reader of a version resource: the installer's own, or that of a file on disk.

#include <windows.h>

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace vt {

class version_info {
public:
    // An empty reader: no fixed information, no strings.
    version_info() = default;
    // The fixed information points into the block: a copy reads its own block.
    version_info(const version_info& other) : block_(other.block_) { parse(); }
    version_info& operator=(const version_info& other)
    {
        if (this != &other) {
            block_ = other.block_;
            parse();
        }
        return *this;
    }
    version_info(version_info&&) noexcept = default;
    version_info& operator=(version_info&&) noexcept = default;

    // The version resource (type 16, id 1) of a loaded module.
    static version_info from_module(HMODULE module);
    // The version resource of a file; empty when it has none or cannot be read.
    static version_info from_file(const std::wstring& path);
    // This program's own version information, read once.
    static const version_info& own();

    bool has_fixed_info() const noexcept { return fixed_ != nullptr; }
    // Most significant double word first: 8.11.14.1 is 0x0008000B000E0001.
    std::uint64_t file_version() const noexcept;
    // The file flags masked by the flags mask.
    DWORD flags() const noexcept;

    // A value of the first UTF-16 string table; empty when absent.
    std::wstring string_value(std::wstring_view name) const;
    std::wstring product_name() const { return string_value(L"ProductName"); }
    std::wstring product_version() const { return string_value(L"ProductVersion"); }

    // Translation keys of the UTF-16 (code page 1200) string tables, as "040904b0".
    const std::vector<std::wstring>& translations() const noexcept { return translations_; }

private:
    explicit version_info(std::vector<std::byte> block);
    void parse();

    std::vector<std::byte> block_;
    const VS_FIXEDFILEINFO* fixed_ = nullptr;
    std::vector<std::wstring> translations_;
};

} // namespace vt
