#pragma once
// File names as Windows compares them.

#include <string>
#include <string_view>

namespace vt {

// Equal as the file system compares names: ordinal, ignoring case.
bool same_name(std::wstring_view a, std::wstring_view b) noexcept;

// The name in the form such comparisons see (upper case, as the system's
// invariant casing has it): a key for sets and maps of names.
std::wstring folded_name(const std::wstring& name);

// Whether something (a file or a folder) is at path.
bool path_exists(const std::wstring& path) noexcept;

} // namespace vt
