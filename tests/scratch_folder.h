#pragma once
// A fresh folder of its own under the system's temporary folder, removed
// with everything in it (read-only files included) at the end, and whole
// files read and written as bytes: for the tests that run natively as well as
// under Wine.

#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>
#include <string>
#include <string_view>

namespace portable_test {

inline std::string read_bytes(const std::filesystem::path& path)
{
    std::ifstream file(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>());
}

inline void write_bytes(const std::filesystem::path& path, std::string_view bytes)
{
    std::ofstream file(path, std::ios::binary | std::ios::trunc);
    file.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

// Removes a file, or a folder with everything in it: a read-only file would
// stop the removal on Windows. Whatever cannot be removed stays.
inline void remove_tree(const std::filesystem::path& path)
{
    namespace fs = std::filesystem;
    std::error_code ec, ignored;
    for (auto it = fs::recursive_directory_iterator(path, ec); !ec && it != fs::recursive_directory_iterator();
         it.increment(ec))
        fs::permissions(it->path(), fs::perms::owner_write, fs::perm_options::add, ignored);
    fs::remove_all(path, ignored);
}

class scratch_folder {
public:
    explicit scratch_folder(const std::string& tag = "test")
        : path_(std::filesystem::temp_directory_path() / ("vt-" + tag + "-" + std::to_string(std::random_device()())))
    {
        std::filesystem::create_directories(path_);
    }
    ~scratch_folder() { remove_tree(path_); }
    scratch_folder(const scratch_folder&) = delete;
    scratch_folder& operator=(const scratch_folder&) = delete;
    const std::filesystem::path& path() const { return path_; }

    // Writes a file below the folder, making its folders.
    std::filesystem::path write(const std::string& name, std::string_view content) const
    {
        const std::filesystem::path file = path_ / name;
        std::filesystem::create_directories(file.parent_path());
        write_bytes(file, content);
        return file;
    }

private:
    std::filesystem::path path_;
};

} // namespace portable_test
