#include "payload/file_utils.h"

#include "payload/boost_error_code.h"
#include "payload/crc32.h"
#include "support/file_stamp.h"
#include "support/unique_any.h"

#include <windows.h>

#include <boost/system/system_error.hpp>

#include <chrono>
#include <optional>

namespace fs = std::filesystem;

namespace {

// Element-wise comparison in which each pair of elements is judged by equal.
template <typename Equal>
bool same_elements(const fs::path& a, const fs::path& b, Equal equal)
{
    auto ia = a.begin(), ib = b.begin();
    for (; ia != a.end() && ib != b.end(); ++ia, ++ib)
        if (!equal(ia->native(), ib->native()))
            return false;
    return ia == a.end() && ib == b.end();
}

bool is_separator(wchar_t c) { return c == L'\\' || c == L'/'; }

// Path elements are compared as written, except that the root directory
// element of one path may be spelled '\' and of the other '/'.
bool same_element_exact(const std::wstring& a, const std::wstring& b)
{
    if (a.size() != b.size())
        return false;
    for (std::size_t i = 0; i < a.size(); ++i)
        if (a[i] != b[i] && !(is_separator(a[i]) && is_separator(b[i])))
            return false;
    return true;
}

bool same_element_ignoring_case(const std::wstring& a, const std::wstring& b)
{
    if (a.size() != b.size())
        return false;
    return ::CompareStringW(LOCALE_USER_DEFAULT, NORM_IGNORECASE, a.data(), static_cast<int>(a.size()), b.data(),
                            static_cast<int>(b.size())) == CSTR_EQUAL;
}

bool is_sharing_violation(const std::error_code& code)
{
    return code.category() == std::system_category() && code.value() == ERROR_SHARING_VIOLATION;
}

[[noreturn]] void throw_file_error(const char* what, const fs::path& path, DWORD error)
{
    throw fs::filesystem_error(what, path, std::error_code(static_cast<int>(error), std::system_category()));
}

std::uint32_t crc32_attempt(const fs::path& path, const std::function<void()>& every_megabyte)
{
    // Reading while refusing writers: the content cannot change under us.
    vt::unique_file file(::CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                       FILE_FLAG_SEQUENTIAL_SCAN, nullptr));
    if (!file)
        throw_file_error("file_crc32", path, ::GetLastError());
    crc32 crc;
    char block[4096];
    for (unsigned blocks = 1;; ++blocks) {
        if (every_megabyte && blocks % 256 == 0)
            every_megabyte();
        DWORD got = 0;
        if (!::ReadFile(file.get(), block, sizeof block, &got, nullptr))
            throw_file_error("file_crc32", path, ::GetLastError());
        if (got == 0)
            break;
        crc.process_bytes(block, got);
    }
    return crc.checksum();
}

} // namespace

bool same_path(const fs::path& a, const fs::path& b)
{
    if (same_elements(a, b, same_element_exact))
        return true;
    const auto ia = vt::stamp_of(a);
    const auto ib = vt::stamp_of(b);
    if (ia && ib)
        return ia->same_file(*ib);
    std::error_code ec;
    const fs::path na = fs::absolute(a, ec).lexically_normal();
    if (ec)
        return false;
    const fs::path nb = fs::absolute(b, ec).lexically_normal();
    if (ec)
        return false;
    return same_elements(na, nb, same_element_ignoring_case);
}

bool set_read_only(const fs::path& path, bool read_only)
{
    fs::path target = path;
    // A chain of links longer than this is a loop.
    for (int hops = 0; hops < 32; ++hops) {
        std::error_code ec;
        const fs::file_status status = fs::symlink_status(target, ec);
        if (ec)
            return false;
        if (fs::is_symlink(status)) {
            fs::path next = fs::read_symlink(target, ec);
            if (ec)
                return false;
            target = next.is_absolute() ? next : target.parent_path() / next;
            continue;
        }
        if (!fs::is_regular_file(status))
            return false;
        const DWORD attributes = ::GetFileAttributesW(target.c_str());
        if (attributes == INVALID_FILE_ATTRIBUTES)
            return false;
        const bool is_read_only = (attributes & FILE_ATTRIBUTE_READONLY) != 0;
        return is_read_only != read_only &&
               ::SetFileAttributesW(target.c_str(), attributes ^ FILE_ATTRIBUTE_READONLY);
    }
    return false;
}

read_only_lifted::read_only_lifted(fs::path path) : path_(std::move(path)), lifted_(set_read_only(path_, false)) {}

read_only_lifted::~read_only_lifted()
{
    if (lifted_)
        set_read_only(path_, true);
}

std::uint32_t file_crc32(const fs::path& path, const std::function<void()>& every_megabyte)
{
    int retries = 3;
    for (;;) {
        try {
            return crc32_attempt(path, every_megabyte);
        } catch (const std::system_error& e) {
            if (!is_sharing_violation(e.code()) || retries == 0)
                throw;
        } catch (const boost::system::system_error& e) {
            if (!is_sharing_violation(to_std_error_code(e.code())) || retries == 0)
                throw;
        }
        // Virus scanners and indexers open new files briefly; give them time.
        --retries;
        const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(1);
        for (auto now = std::chrono::steady_clock::now(); now < until; now = std::chrono::steady_clock::now())
            ::Sleep(static_cast<DWORD>(
                std::chrono::ceil<std::chrono::milliseconds>(until - now).count()));
    }
}

void create_folders(const std::filesystem::path& requested)
{
    std::filesystem::path folder = requested;
    if (!folder.has_filename() && folder.has_relative_path())
        folder = folder.parent_path(); // "C:\a\b\" names the same folder as "C:\a\b"
    // Whatever is there already stays: a folder is what was wanted, and
    // anything else makes the next step fail with its own error.
    if (::GetFileAttributesW(folder.c_str()) != INVALID_FILE_ATTRIBUTES)
        return;
    const std::filesystem::path parent = folder.parent_path();
    if (!parent.empty() && parent != folder && parent.has_relative_path())
        create_folders(parent);
    if (::CreateDirectoryW(folder.c_str(), nullptr))
        return;
    const DWORD error = ::GetLastError();
    // Made meanwhile by another program: as good as made here.
    const DWORD attributes = ::GetFileAttributesW(folder.c_str());
    if (error == ERROR_ALREADY_EXISTS && attributes != INVALID_FILE_ATTRIBUTES &&
        (attributes & FILE_ATTRIBUTE_DIRECTORY))
        return;
    throw std::filesystem::filesystem_error("create_directories", folder,
                                            std::error_code(int(error), std::system_category()));
}
