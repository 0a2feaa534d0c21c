#include "engine/registration.h"

#include "engine/install_journal.h"
#include "resources/product.h"
#include "support/error.h"
#include "support/format.h"
#include "support/message_pump.h"
#include "support/named_mutex.h"
#include "support/registry.h"

#include <shlobj.h>

#include <optional>

namespace {

// The registry view this program does not see by default, if the system has
// two: the 64-bit one for a 32-bit program on 64-bit Windows, and the 32-bit
// one for a 64-bit program.
std::optional<vt::registry_root> other_registry_view()
{
    if constexpr (sizeof(void*) == 8)
        return vt::registry_root::local_machine_32;
    BOOL wow64 = FALSE;
    if (::IsWow64Process(::GetCurrentProcess(), &wow64) && wow64)
        return vt::registry_root::local_machine_64;
    return std::nullopt;
}

// Only one registry view may name the product: an installer of the other
// bitness may have left the value in the other view.
void record_product_location(const std::filesystem::path& product)
{
    vt::unique_hkey maker = vt::create_key(HKEY_LOCAL_MACHINE, maker_key);
    vt::set_string(maker.get(), product_path_value_name().c_str(), product.wstring());
    auto view = other_registry_view();
    if (!view)
        return;
    if (vt::unique_hkey other_view = vt::open_key(*view, maker_key)) {
        LSTATUS status = ::RegDeleteValueW(other_view.get(), product_path_value_name().c_str());
        if (status != ERROR_FILE_NOT_FOUND)
            vt::check_win32(status, "RegDeleteValueW");
    }
}

} // namespace

bool write_uninstall_registration(install_journal& journal, const std::filesystem::path& product,
                                  const std::filesystem::path& uninstaller, std::uint32_t language)
{
    vt::unique_hkey uninstall = vt::open_key(vt::registry_root::local_machine, uninstall_root_key);
    if (!uninstall)
        return false;

    bool written = false;
    try {
        std::wstring title = product_title(product_code);
        vt::unique_hkey key = vt::open_key(uninstall.get(), title);
        if (key) {
            journal.begin_uninstall_key(key.get());
        } else {
            // Recorded first: a key made unrecorded would outlive a cut run.
            journal.begin_uninstall_key(nullptr);
            key = vt::create_key(uninstall.get(), title);
        }
        vt::set_string(key.get(), L"DisplayName", product_name(true));
        vt::set_string(key.get(), L"UninstallString", uninstaller.wstring());
        written = true;
        vt::set_string(key.get(), L"DisplayIcon", product.wstring() + L",0");
        vt::set_string(key.get(), L"DisplayVersion", product_version_number);
        vt::set_string(key.get(), L"Publisher", maker_folder);
        vt::set_string(key.get(), L"URLInfoAbout", maker_web_address);
        vt::set_string(key.get(), L"HelpLink", maker_web_address);
        vt::set_string(key.get(), L"URLUpdateInfo", maker_web_address);
        vt::set_string(key.get(), L"HelpTelephone", maker_support_telephone);
        vt::set_dword(key.get(), L"NoModify", 1);
        vt::set_dword(key.get(), L"NoRepair", 1);
        vt::set_dword(key.get(), L"VtLanguage", language);
    } catch (...) {
        journal.close_entry(false);
        throw;
    }
    journal.close_entry(written);
    record_product_location(product);
    return written;
}

std::wstring registration_command_line(const std::filesystem::path& product, std::uint64_t installed_version)
{
    std::wstring command = L"\"" + product.wstring() + L"\" /Register /Background";
    if (installed_version != 0)
        command += vt::format(L" /update={:016x}", {installed_version});
    return command;
}

namespace {

// Starts the product with the registration command line and waits for it,
// dispatching messages; true when it ended with the code of success.
bool run_registration(std::wstring command, const std::filesystem::path& product)
{
    STARTUPINFOW startup{};
    startup.cb = sizeof(startup);
    startup.dwFlags = STARTF_USESHOWWINDOW;
    startup.wShowWindow = SW_SHOWNOACTIVATE;
    PROCESS_INFORMATION process{};
    std::wstring folder = product.parent_path().wstring();
    if (!::CreateProcessW(nullptr, command.data(), nullptr, nullptr, FALSE, HIGH_PRIORITY_CLASS, nullptr,
                          folder.c_str(), &startup, &process))
        return false;
    vt::unique_handle process_handle(process.hProcess);
    vt::unique_handle thread_handle(process.hThread);
    // The product may take its time; the frame has its buttons disabled
    // while the installation runs, so dispatching re-enters nothing.
    try {
        wait_dispatching(process.hProcess);
        DWORD exit_code = 0;
        return ::GetExitCodeProcess(process.hProcess, &exit_code) && exit_code == registration_success_code;
    } catch (const std::system_error&) {
        return false; // no exit code to judge
    }
}

} // namespace

bool launch_for_registration(install_journal& journal, vt::named_mutex& installer_lock,
                             const std::filesystem::path& product, std::uint64_t installed_version)
{
    try {
        journal.begin_registration();
    } catch (const std::exception&) {
        return false; // not run unrecorded
    }
    bool success = false;
    {
        // The product refuses to start while an installer holds the lock.
        vt::scoped_unlock product_may_start(installer_lock);
        success = run_registration(registration_command_line(product, installed_version), product);
    }
    try {
        journal.close_entry(success);
    } catch (const std::exception&) {
        success = false; // ran, but its record is lost: reported as failed
    }
    if (success)
        ::SHChangeNotify(SHCNE_ASSOCCHANGED, SHCNF_FLUSH, nullptr, nullptr);
    return success;
}
