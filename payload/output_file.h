#pragma once
// A file being extracted: created or truncated, and held without sharing, so
// that no other program reads a half-written file or writes into it. Writes
// go straight to the system (the extraction hands over chunks of up to 4 KB);
// there is no buffer whose flush could fail unseen when the file is closed.

#include "support/unique_any.h"

#include <cstddef>
#include <filesystem>

class output_file {
public:
    // Creates the file; with replace, an existing file is truncated, else it
    // refuses the creation (80, the file exists). Raises
    // std::filesystem::filesystem_error with the system error (for example
    // 5, access denied, or 32, the file is in use).
    explicit output_file(const std::filesystem::path& path, bool replace = true);

    // Raises std::filesystem::filesystem_error with the system error (for
    // example 112, the disk is full).
    void write(const char* data, std::size_t n);

    // Closes the file; it stays closed. Raises like write.
    void close();

    bool is_open() const noexcept { return static_cast<bool>(handle_); }
    const std::filesystem::path& path() const noexcept { return path_; }

private:
    vt::unique_file handle_;
    std::filesystem::path path_;
};
