#pragma once
// Shell links to the installed product.

#include <filesystem>
#include <string>

// Creates folder\name.lnk pointing at target, working in target's folder, and
// returns the link's path. ".lnk" is appended, never substituted: the dot of a
// version such as "8.11n" stays. Raises a system error carrying the COM result.
std::filesystem::path create_link(const std::filesystem::path& target, const std::filesystem::path& folder,
                                  const std::wstring& name);
