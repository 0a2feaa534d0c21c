#pragma once
// A fresh folder of its own under the system's temporary folder, removed
// with everything in it (read-only files included) at the end, and whole files read and written as
// bytes: for the tests that run natively as well as under Wine.

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

class scratch_folder {
public:
    explicit scratch_folder(const std::string& tag = "test")
        : path_(std::filesystem::temp_directory_path() / ("vt-" + tag + "-" + std::to_string(std::random_device()())))
    {
        std::filesystem::create_directories(path_);
    }
    ~scratch_folder()
    {
        // A read-only file would stop the removal on Windows.
        std::error_code ignored;
        for (const auto& entry : std::filesystem::recursive_directory_iterator(path_, ignored))
            std::filesystem::permissions(entry.path(), std::filesystem::perms::owner_write,
                                         std::filesystem::perm_options::add, ignored);
        std::filesystem::remove_all(path_, ignored);
    }
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
