#pragma once
// File helpers of the extraction, also used by the installation sequence.

#include <cstdint>
#include <filesystem>
#include <functional>

// Whether two paths name the same file or folder: equal as paths ('\' and
// '/' alike, case-sensitive); else the same object on disk (same volume and
// file identity) when both exist; else equal once made absolute and
// normalised, element by element without regard to case.
bool same_path(const std::filesystem::path& a, const std::filesystem::path& b);

// Creates a folder and every missing ancestor with the system's own call, so
// that a failure carries the system error (5 access denied, 112 disk full)
// rather than a runtime error number. Raises
// std::filesystem::filesystem_error ("create_directories") with the folder
// that could not be made. Whatever exists at the path already (a folder, or
// a file in the way) is left as it is.
void create_folders(const std::filesystem::path& folder);

// Sets or clears the read-only attribute of a regular file (following a
// symbolic link to its target). Folders and missing paths are left alone;
// errors are ignored. True when the attribute was changed.
bool set_read_only(const std::filesystem::path& path, bool read_only);

// Lifts the read-only attribute of a file for the guard's life, so that the
// file can be written over, and puts it back at the end unless the file was
// written over meanwhile: a file that could not be replaced stays as it was.
class read_only_lifted {
public:
    explicit read_only_lifted(std::filesystem::path path);
    read_only_lifted(const read_only_lifted&) = delete;
    read_only_lifted& operator=(const read_only_lifted&) = delete;
    ~read_only_lifted();
    // The file has been written over: the new file is not read-only.
    void written_over() noexcept { lifted_ = false; }

private:
    std::filesystem::path path_;
    bool lifted_;
};

// The CRC-32 of a file's content, read back from disk. The file is opened
// for reading while allowing other readers only; a sharing violation (another
// program holds the file) is retried up to three times, one second apart.
// Failures raise std::filesystem::filesystem_error with the path and the
// system error. every_megabyte, when given, is called after each megabyte
// read, so that the reading of a large file need not hold up its caller.
std::uint32_t file_crc32(const std::filesystem::path& path, const std::function<void()>& every_megabyte = {});
