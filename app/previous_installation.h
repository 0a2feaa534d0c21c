#pragma once
// Finding an earlier installation of the product: where its executable is,
// which version it has compared with this installer's, and where its
// uninstall log lies.

#include <cstdint>
#include <string>

class installer_context;

// What an installed product executable tells about the installation.
struct installation_found {
    // 0 none installed, 1 the same version (or an unreadable one), 2 an older
    // version (update), -1 a newer version.
    std::int32_t state = 0;
    // The older version's file version (state 2 only), four 16-bit fields.
    std::uint64_t version = 0;
    // Display text of the installed version (states 2 and -1).
    std::wstring version_text;
};

// The installed product's executable as the last installation recorded it in
// HKLM\Software\Vantrel Software ("Tablewright 8 Path"), looked up in the
// 32-bit registry view first, then in the 64-bit one; empty when no recorded
// path exists. Read once per run. Throws std::system_error for a registry
// failure other than a missing key.
const std::wstring& product_path();
// The same lookup, done afresh on every call.
std::wstring read_product_path();

// Compares the executable at path (empty: nothing installed) with this
// installer's version.
installation_found examine_installation(const std::wstring& path);

// Sets the context's previous_state, installed_version and
// installed_version_text from product_path().
void detect_previous_installation(installer_context& context);

// Path of an existing Uninstall.ulog: beside the registered uninstaller,
// beside this installer, or beside the installed product (in that order);
// empty when there is none.
std::wstring find_uninstall_log();
// The same search with a given product executable path.
std::wstring find_uninstall_log(const std::wstring& installed_product);
