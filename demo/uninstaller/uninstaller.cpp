#include "demo/uninstaller/uninstaller.h"

#include "app/instance_counter.h"
#include "app/language.h"
#include "demo/uninstaller/log_check.h"
#include "demo/uninstaller/removal.h"
#include "demo/uninstaller/uninstall_log_reader.h"
#include "demo/uninstaller/uninstaller_strings.h"
#include "resources/product.h"
#include "support/registry.h"
#include "ui/message_box.h"

#include <cstring>
#include <system_error>

namespace fs = std::filesystem;

namespace {

std::wstring caption(const std::wstring& product)
{
    return text(IDS_UNINSTALLER) + L" \u2013 " + product;
}

std::wstring joined_lines(const left_items& items)
{
    std::wstring out;
    for (const std::wstring& item : items)
        out += (out.empty() ? L"" : L"\n") + item;
    return out;
}

} // namespace

void choose_uninstaller_language()
{
    set_language(user_language(product_languages));
    const std::wstring key = product_uninstall_key();
    try {
        if (vt::unique_hkey uninstall = vt::open_key(vt::registry_root::local_machine, key))
            if (auto stored = vt::read_dword(uninstall.get(), L"VtLanguage"))
                set_language(*stored); // a value outside the table is ignored
    } catch (const std::exception&) {
        // An unreadable key leaves the user's language.
    }
    if (!installer_translated(language_settings::instance().language))
        set_language(language_english);
}

namespace {

uninstall_result uninstall(const uninstaller_options& options)
{
    choose_uninstaller_language();
    const fs::path log_file = options.uninstaller.parent_path() / uninstall_log_name;
    const uninstall_log log = read_uninstall_log(log_file);
    const std::wstring product = log.product_text.empty() ? product_name(true) : log.product_text;

    const log_verdict verdict = check_log(log, options.uninstaller, removal_roots_of(log));
    if (!verdict.sound) {
        if (!options.silent)
            message_box(format_text(text(log.found ? IDS_LOG_DAMAGED : IDS_LOG_MISSING), {log_file.wstring()}),
                        caption(product), MB_OK | MB_ICONERROR);
        return log.found ? uninstall_damaged_log : uninstall_no_log;
    }

    if (!options.silent &&
        message_box(format_text(text(IDS_CONFIRM_REMOVAL), {product}), caption(product),
                    MB_YESNO | MB_ICONQUESTION) != IDYES)
        return uninstall_cancelled;

    // Every program of the product counts itself while it runs, this one too:
    // files of a running program cannot go.
    while (instance_counter::instance().running_instances() > 1) {
        if (options.silent)
            return uninstall_product_running;
        if (message_box(format_text(text(IDS_CLOSE_PRODUCT), {product_name(false)}), caption(product),
                        MB_RETRYCANCEL | MB_ICONWARNING) != IDRETRY)
            return uninstall_cancelled;
    }

    // Files and links first; the product stays listed among the installed
    // programs, with its uninstaller and log, until they are all gone, so
    // that an uninstallation stopped by a file in use can be run again.
    left_items left;
    remove_files_and_links(log, options.uninstaller, left);
    if (left.empty()) {
        remove_uninstaller(options.uninstaller, left);
        if (left.empty())
            remove_registration(log, options.uninstaller);
    }
    remove_created_folders(log, left);

    if (!left.empty()) {
        if (!options.silent)
            message_box(format_text(text(IDS_NOT_ALL_REMOVED), {product, joined_lines(left)}), caption(product),
                        MB_OK | MB_ICONWARNING);
        return uninstall_incomplete;
    }
    if (!options.silent)
        message_box(format_text(text(IDS_REMOVED), {product}), caption(product), MB_OK | MB_ICONINFORMATION);
    return uninstall_done;
}

} // namespace

uninstall_result run_uninstaller(const uninstaller_options& options)
{
    try {
        return uninstall(options);
    } catch (const std::exception& e) {
        // A registry or file-system call failed in a way no step expects.
        if (!options.silent) {
            const auto* system = dynamic_cast<const std::system_error*>(&e);
            const std::wstring message =
                system && system->code().category() == std::system_category()
                    ? system_error_text(DWORD(system->code().value()), language_langid(language_settings::instance().language))
                    : std::wstring(e.what(), e.what() + std::strlen(e.what()));
            message_box(message, caption(product_name(true)), MB_OK | MB_ICONERROR);
        }
        return uninstall_failed;
    }
}
