#pragma once
// The product in the system's list of installed programs, and the product's
// own registration run after installation.

#include <cstdint>
#include <filesystem>
#include <string>

class install_journal;
namespace vt {
class named_mutex;
}

inline constexpr const wchar_t* maker_web_address = L"https://www.vantrel-software.example/tablewright";
inline constexpr const wchar_t* maker_support_telephone = L"+33 1 84 88 08 11";
// The exit code by which the product says that its registration succeeded.
inline constexpr unsigned long registration_success_code = 0xFFFFFFF6; // -10

// Writes the uninstall values, with the installer's language, and the product
// location. Records the key in the journal (with a backup of an existing key).
// True when the key could be written; a failing registry call raises a system
// error.
bool write_uninstall_registration(install_journal& journal, const std::filesystem::path& product,
                                  const std::filesystem::path& uninstaller, std::uint32_t language);

// The command line that asks the product to register itself; an earlier
// installation's version is passed on so that it can migrate its settings.
std::wstring registration_command_line(const std::filesystem::path& product, std::uint64_t installed_version);

// Starts the installed product for its registration and waits for it. The
// installer's lock is released while it runs, so the product may start. True
// when the product exited with the success code.
bool launch_for_registration(install_journal& journal, vt::named_mutex& installer_lock,
                             const std::filesystem::path& product, std::uint64_t installed_version);
