#include "app/installer_context.h"

#include "app/application_id.h"
#include "app/instance_counter.h"
#include "app/language.h"
#include "app/previous_installation.h"
#include "engine/installer_folder.h"
#include "resources/product.h"
#include "support/error.h"
#include "support/error_text.h"
#include "support/known_folder.h"
#include "support/registry.h"
#include "support/unique_any.h"
#include "support/well_known_account.h"

#include <boost/uuid/random_generator.hpp>
#include <boost/uuid/uuid_io.hpp>
#include <filesystem>
#include <knownfolders.h>
#include <shlobj.h>

bool processor_check_passed = false;

namespace {

constexpr DWORD lock_failure_code = 0x8000FFFF; // E_UNEXPECTED

// Reads the stored language of an earlier installation, if any.
bool stored_language(DWORD& value)
{
    try {
        vt::unique_hkey key = vt::open_key(HKEY_LOCAL_MACHINE, product_uninstall_key());
        return key && vt::read_exact(key.get(), L"VtLanguage", REG_DWORD, &value, sizeof(value));
    } catch (const std::system_error&) {
        return false; // an unreadable key stores no language
    }
}

bool is_administrator()
{
    BOOL member = FALSE;
    std::vector<std::byte> administrators = vt::account_sid(vt::well_known_account::administrators);
    return ::CheckTokenMembership(nullptr, administrators.data(), &member) && member;
}

} // namespace

installer_context& installer_context::instance()
{
    static installer_context context;
    return context;
}

installer_context::installer_context()
    : message_box([](const std::wstring& text, const std::wstring& caption, UINT style) {
          return ::MessageBoxW(nullptr, text.c_str(), caption.c_str(), style);
      }),
      product_code(::product_code),
      instance_lock(application_id() + L".{5ead623c-dfcd-474d-8e3c-e6978cac039e}", false, true)
{
}

void installer_context::report_error(DWORD code, const std::wstring& caption) const
{
    message_box(system_error_text(code, current_langid()), caption, MB_OK | MB_ICONWARNING);
}

std::uint32_t installer_context::language() const
{
    return language_settings::instance().language;
}

bool installer_context::initialise()
{
    if (!processor_check_passed) {
        report_error(lock_failure_code);
        return false;
    }
    if (!instance_lock.try_lock()) {
        report_error(ERROR_BUSY);
        return false;
    }

    set_language(user_language(product_languages));
    if (DWORD stored = 0; stored_language(stored))
        set_language(stored); // out-of-range values are ignored by set_language
    if (!installer_translated(language_settings::instance().language))
        set_language(language_english);

    if (!is_administrator()) {
        message_box(text(1126), caption(true), MB_OK | MB_ICONWARNING);
        return false;
    }
    while (instance_counter::instance().running_instances() > 1) {
        std::wstring message = format_text(text(1127), {product_name(false)});
        if (message_box(message, caption(true), MB_RETRYCANCEL | MB_ICONWARNING) == IDCANCEL)
            return false;
    }

    // An installation cut off before this start is undone first, so that
    // what follows sees the machine as it is then.
    try {
        install_journal::undo_cut_runs(installer_folder_path());
    } catch (const std::system_error&) {
        // No shared data folder: no installation could have kept a journal.
    }
    return settle_choices();
}

bool installer_context::settle_choices()
{
    // An update or reinstallation keeps the earlier folders and desktop choice.
    try {
        detect_previous_installation(*this);
        if (previous_state == 1 || previous_state == 2) {
            if (std::wstring log = find_uninstall_log(); !log.empty()) {
                journal.read_log(log);
                install_folder = journal.previous_install_folder();
                start_menu_folder = journal.previous_shortcut_folder();
                desktop_shortcut = journal.desktop_shortcut_default();
            }
        } else {
            journal.read_log({});
        }
    } catch (const std::system_error& error) {
        report_error(DWORD(error.code().value()), caption(true));
        return false;
    }

    if (install_folder.empty()) {
        install_folder = shell_folder(0);
        if (install_folder.empty())
            return false;
        install_folder = (std::filesystem::path(install_folder) / maker_folder / product_title(product_code)).wstring();
    }
    if (start_menu_folder.empty()) {
        start_menu_folder = shell_folder(1);
        if (start_menu_folder.empty())
            return false;
    }
    advanced_mode = false;
    return true;
}

std::wstring installer_context::text(unsigned id) const
{
    return ::text(id);
}

std::wstring installer_context::caption(bool with_product) const
{
    std::wstring result = text(1000);
    if (with_product)
        result.append(L" \u2013 ").append(product_name(true));
    return result;
}

std::int32_t installer_context::previous_installation(std::wstring* version_text) const
{
    if (version_text && (previous_state == 2 || previous_state == -1))
        *version_text = installed_version_text;
    return previous_state;
}

bool installer_context::make_temporary_folder(std::wstring& error_text)
{
    // What the run unpacks for itself is loaded and run as administrator:
    // it goes where no one else can swap it, beside the journal.
    try {
        if (!installer_folder)
            installer_folder = vt::protected_folder(installer_folder_path());
    } catch (const std::system_error& error) {
        error_text = vt::format(L"{:08x} ({})", {unsigned(error.code().value()), L"installer_folder"});
        return false;
    }
    std::string uuid = boost::uuids::to_string(boost::uuids::random_generator()());
    temporary_folder =
        (installer_folder.path() / (L"vantrel_{" + std::wstring(uuid.begin(), uuid.end()) + L"}")).wstring();
    return true;
}

std::wstring installer_context::shell_folder(int kind) const
{
    HRESULT result = S_OK;
    std::wstring path;
    switch (kind) {
    case 0:
        path = vt::known_folder(FOLDERID_ProgramFiles, &result);
        break;
    case 1:
        path = vt::known_folder(FOLDERID_CommonPrograms, &result);
        if (path.empty())
            path = vt::known_folder(FOLDERID_Programs, &result);
        break;
    case 2:
        path = vt::known_folder(FOLDERID_PublicDesktop, &result);
        if (path.empty())
            path = vt::known_folder(FOLDERID_Desktop, &result);
        return path; // the desktop is optional: no report
    default:
        return {};
    }
    if (path.empty())
        report_error(DWORD(result), caption(true));
    return path;
}
