#pragma once
// The line rules of Uninstall.ulog, as a pure function over text: no file, no
// registry, no Windows call, so that damaged and hostile logs can be fed to it
// directly. install_journal::read_log does the file reading around it.

#include "engine/journal_entry.h"

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

// No line of a valid log is longer: a path has at most 32,767 characters.
inline constexpr std::size_t uninstall_log_max_line = 32767 + 64;
// A real log lists a few thousand entries even after many updates; a file
// with more is not one this installer wrote and is read no further.
inline constexpr std::size_t uninstall_log_max_entries = 100000;

class uninstall_log_parser {
public:
    // Takes the next line, without its line feed. False when the line breaks a
    // rule: the reading stops there and what was taken before is kept.
    bool take_line(std::wstring_view line);

    // Version of the file's first line; 0 until it was read.
    unsigned version() const noexcept { return version_; }
    // The header's texts as written, trimmed; whether the folders still exist
    // is for the caller to decide.
    const std::wstring& product_text() const noexcept { return product_text_; }
    const std::wstring& install_folder() const noexcept { return install_folder_; }
    const std::wstring& shortcut_folder() const noexcept { return shortcut_folder_; }
    const std::vector<journal_entry>& entries() const noexcept { return entries_; }
    std::vector<journal_entry>& entries() noexcept { return entries_; }

private:
    bool take_comment(std::wstring_view text);
    bool take_entry(std::wstring_view text);

    unsigned counted_ = 0; // non-empty lines so far
    unsigned version_ = 0;
    std::wstring product_text_;
    std::wstring install_folder_;
    std::wstring shortcut_folder_;
    std::vector<journal_entry> entries_;
};

// Blank characters of the log's rules: ASCII white space and the Unicode
// space separators.
bool is_log_blank(wchar_t c) noexcept;
