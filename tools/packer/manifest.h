#pragma once
// The packer's manifest: one file of the payload per line,
//
//     kind | destination folder | source file
//
// in the order in which the installer is to write them. See README.md.

#include <cstdint>
#include <filesystem>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

struct manifest_entry {
    int line = 0;            // 1-based line of the manifest
    std::uint32_t kind = 0;  // entry_kind value
    std::u16string destination; // as stored: '\' separators, macro first
    std::u16string source;      // as stored: the source as written, '\' separators
    std::filesystem::path file; // the source file on this machine
};

// A problem with one line (line > 0) or with the manifest as a whole (line 0).
// what() names the manifest and the line.
class manifest_error : public std::runtime_error {
public:
    manifest_error(const std::string& manifest, int line, const std::string& message);
    int line() const noexcept { return line_; }

private:
    int line_;
};

// Reads and checks a manifest file: every line well formed, every kind
// known, every destination resolvable by the installer, every source a
// readable regular file with a name Windows accepts, no destination twice.
// Relative sources are taken from the manifest's folder.
std::vector<manifest_entry> read_manifest(const std::filesystem::path& manifest);

// The same for manifest text; name is used in messages.
std::vector<manifest_entry> parse_manifest(std::string_view text, const std::filesystem::path& base_folder,
                                           const std::string& name);

// Refuses entries that no installer can work with: it starts, links and
// registers exactly one program, and registers and logs for exactly one
// uninstaller. Problems name the manifest (line 0).
void check_installable(const std::vector<manifest_entry>& entries, const std::string& name);

// The name of an entry_kind value ("program"), or its number.
std::string kind_name(std::uint32_t kind);

// Why the installer could not use this stored destination folder, or empty
// when it can: it must begin with a known macro or be an absolute Windows
// path, and hold no character that Windows refuses in a path.
std::string destination_problem(std::u16string_view destination);

// Why Windows would refuse this file name, or empty.
std::string file_name_problem(std::u16string_view name);
