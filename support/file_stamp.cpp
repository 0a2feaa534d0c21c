#include "support/file_stamp.h"

#include "support/format.h"
#include "support/unique_any.h"

#include <cwchar>

namespace vt {

std::optional<file_stamp> stamp_of(HANDLE file) noexcept
{
    BY_HANDLE_FILE_INFORMATION info{};
    if (!::GetFileInformationByHandle(file, &info))
        return std::nullopt;
    return file_stamp{info.dwVolumeSerialNumber, (std::uint64_t(info.nFileIndexHigh) << 32) | info.nFileIndexLow,
                      (std::uint64_t(info.ftLastWriteTime.dwHighDateTime) << 32) | info.ftLastWriteTime.dwLowDateTime};
}

std::optional<file_stamp> stamp_of(const std::filesystem::path& path) noexcept
{
    if (path.empty())
        return std::nullopt;
    unique_file file(::CreateFileW(path.c_str(), FILE_READ_ATTRIBUTES,
                                   FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
                                   FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT, nullptr));
    if (!file)
        return std::nullopt;
    return stamp_of(file.get());
}

std::wstring stamp_text(const file_stamp& stamp)
{
    return vt::format(L"{:08x}:{:016x}:{:016x}", {stamp.volume, stamp.index, stamp.written});
}

std::optional<file_stamp> parse_stamp(const std::wstring& text)
{
    if (text.size() != 8 + 1 + 16 + 1 + 16 || text[8] != L':' || text[25] != L':')
        return std::nullopt;
    auto hex = [&](std::size_t at, std::size_t length, std::uint64_t& value) {
        value = 0;
        for (std::size_t i = at; i < at + length; ++i) {
            const wchar_t c = text[i];
            const int digit = c >= L'0' && c <= L'9' ? c - L'0' : c >= L'a' && c <= L'f' ? c - L'a' + 10 : -1;
            if (digit < 0)
                return false;
            value = value * 16 + std::uint64_t(digit);
        }
        return true;
    };
    std::uint64_t volume = 0;
    file_stamp stamp;
    if (!hex(0, 8, volume) || !hex(9, 16, stamp.index) || !hex(26, 16, stamp.written))
        return std::nullopt;
    stamp.volume = std::uint32_t(volume);
    return stamp;
}

} // namespace vt
