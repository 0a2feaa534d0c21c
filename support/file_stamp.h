#pragma once
// Which file is at a path, and whether it has changed: its identity (volume
// and file index, the same whatever the spelling of its path) and its last
// write time. Taken when a change is made and compared before the change is
// undone, so that an undo never takes away what someone wrote since.

#include <windows.h>

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>

namespace vt {

struct file_stamp {
    std::uint32_t volume = 0;
    std::uint64_t index = 0;
    std::uint64_t written = 0;

    bool operator==(const file_stamp&) const = default;
    bool same_file(const file_stamp& other) const noexcept { return volume == other.volume && index == other.index; }
};

// Of an open file or folder; nothing when the system cannot tell.
std::optional<file_stamp> stamp_of(HANDLE file) noexcept;
// Of what a path names, opened for its attributes only (which works on files
// that others hold without sharing) and without following a reparse point;
// nothing when it is not there.
std::optional<file_stamp> stamp_of(const std::filesystem::path& path) noexcept;

// "vvvvvvvv:iiiiiiiiiiiiiiii:wwwwwwwwwwwwwwww" in hexadecimal, and back.
std::wstring stamp_text(const file_stamp& stamp);
std::optional<file_stamp> parse_stamp(const std::wstring& text);

} // namespace vt
