#include "engine/installation_sequence.h"

#include "engine/directx_setup.h"
#include "engine/journal_file.h"
#include "engine/registration.h"
#include "engine/shortcut.h"
#include "payload/background_payload_check.h"
#include "payload/compress_error.h"
#include "payload/file_utils.h"
#include "payload/payload_reader.h"
#include "payload/security.h"
#include "resources/product.h"
#include "support/format.h"
#include "support/message_pump.h"

#include <chrono>
#include <cmath>
#include <filesystem>
#include <functional>
#include <optional>
#include <vector>

namespace fs = std::filesystem;

namespace {

constexpr std::uint32_t shared_file_access = 0x0013019F;
const std::wstring line_end = L"\r\n";

// The wait cursor for the length of the installation; the previous one comes
// back however the installation ends.
class wait_cursor {
public:
    wait_cursor() : wait_(::LoadCursorW(nullptr, IDC_WAIT)), previous_(::SetCursor(wait_)) {}
    wait_cursor(const wait_cursor&) = delete;
    wait_cursor& operator=(const wait_cursor&) = delete;
    ~wait_cursor() { ::SetCursor(previous_); }
    void again() const { ::SetCursor(wait_); }

private:
    HCURSOR wait_;
    HCURSOR previous_;
};

// Files needed only while installing, and their folder; deleted last first
// when the installation ends, however it ends.
class cleanup_list {
public:
    explicit cleanup_list(fs::path folder) { paths_.push_back(std::move(folder)); }
    cleanup_list(const cleanup_list&) = delete;
    cleanup_list& operator=(const cleanup_list&) = delete;
    ~cleanup_list()
    {
        for (auto it = paths_.rbegin(); it != paths_.rend(); ++it) {
            std::error_code ignored;
            fs::remove_all(*it, ignored);
        }
    }
    void add(const fs::path& path) { paths_.push_back(path); }

private:
    std::vector<fs::path> paths_;
};

// The journal on disk for the length of the run, from before the first
// change to after the run's temporary folder is gone.
class journal_record {
public:
    journal_record(install_journal& journal, const std::wstring& run_folder, const journal_run& run)
        : journal_(journal)
    {
        journal_.record_to(journal_file_path(run_folder), run);
    }
    journal_record(const journal_record&) = delete;
    journal_record& operator=(const journal_record&) = delete;
    ~journal_record() { journal_.end_record(); }

private:
    install_journal& journal_;
};

// Whatever is still gathered reaches the page however the run ends: the
// last lines are the ones that tell what happened.
class final_flush {
public:
    explicit final_flush(installation_view& view) : view_(view) {}
    final_flush(const final_flush&) = delete;
    final_flush& operator=(const final_flush&) = delete;
    ~final_flush()
    {
        try {
            view_.flush();
        } catch (...) {
            // The page is going away with the installation's error.
        }
    }

private:
    installation_view& view_;
};

class installation {
public:
    installation(installation_choices& context, installation_view& view, std::istream& payload,
                 background_payload_check* checked_in_background)
        : context_(context), view_(view), payload_(payload), checked_in_background_(checked_in_background)
    {
    }

    bool run()
    {
        final_flush flush_at_end(view_);
        wait_cursor cursor;
        view_.append_log(std::wstring(45, L'\u2500') + line_end);
        view_.set_status(text(1114));
        // The payload's blocks are decoded on other threads; while this one
        // waits for them (in the check too) the window stays alive as it does
        // after every notification. The cursor is set again only after a
        // message was dispatched: the messages are what may change it, and
        // setting it costs as much as writing a chunk.
        keep_alive_ = [this, &cursor] {
            view_.tick();
            if (pump_messages())
                cursor.again();
        };
        // What is left of the check that ran beside the wizard comes first:
        // the preparation below is a series of calls to the system, each of
        // which would otherwise queue behind the check's threads.
        if (checked_in_background_)
            verdict_from_background_ = wait_for_background_check();

        std::wstring error;
        if (!context_.make_temporary_folder(error)) {
            cannot_start(error);
            return false;
        }
        cleanup_list cleanup(context_.temporary_folder);
        std::optional<journal_record> record;
        try {
            record.emplace(context_.journal, context_.temporary_folder, this_run());
        } catch (const std::system_error& e) {
            // Nothing is changed unrecorded.
            cannot_start(vt::format(L"{:08x} ({})", {unsigned(e.code().value()), L"journal"}));
            return false;
        }
        cleanup_ = &cleanup;

        view_.show_progress();
        std::wstring samples = format_text(text(1018), {product_name(false)});
        // A look at the queue is a call to the Wine server, and a notification
        // comes after every 4 kB: the queue is looked at after a notification
        // once a millisecond has passed since the last look, which no user
        // can tell from every time.
        auto last_look = std::chrono::steady_clock::time_point();
        bool extracted = extract_payload(payload_, context_.install_folder, samples, context_.temporary_folder,
                                         [&](notification n) {
                                             notification::result result = handle(n);
                                             if (stoppable(n) && view_.stop_requested())
                                                 result = notification::result::abort;
                                             const auto now = std::chrono::steady_clock::now();
                                             if (now - last_look >= std::chrono::milliseconds(1)) {
                                                 last_look = now;
                                                 keep_alive_();
                                             }
                                             return result;
                                         },
                                         keep_alive_);
        if (extracted) {
            try {
                context_.journal.keep_changes();
            } catch (const std::system_error& e) {
                // Unrecorded, a cut from here on would be undone as if the
                // extraction had never completed: it is undone now instead.
                extracted = false;
                view_.append_log(text(1012) + line_end);
                view_.set_status(format_text(text(1121), {error_code_text(e.code())}));
            }
        }
        if (!extracted) {
            try {
                context_.journal.roll_back(keep_alive_);
            } catch (const std::exception&) {
                // A file that cannot be removed stops the rollback there; the
                // journal keeps the rest for the next start, and the failure
                // message is already on the page.
            }
            return false;
        }

        set_read_only(product_, true);
        set_read_only(uninstaller_, true);
        shortcut_step();
        directx_step();
        registry_step();
        log_step();
        view_.set_status(format_text(text(1106), {text(1006)}));
        return true;
    }

private:
    std::wstring text(unsigned id) const { return context_.text(id); }

    void cannot_start(const std::wstring& error)
    {
        std::wstring message = format_text(text(1121), {error});
        view_.set_status(message);
        view_.append_log(message + line_end);
    }

    journal_run this_run() const
    {
        FILETIME now{};
        ::GetSystemTimeAsFileTime(&now);
        return {(std::uint64_t(now.dwHighDateTime) << 32) | now.dwLowDateTime, context_.install_folder,
                context_.start_menu_folder};
    }

    // The notifications that may be answered with abort.
    static bool stoppable(const notification& n)
    {
        return std::holds_alternative<notification::entry_begin>(n) ||
               std::holds_alternative<notification::entry_end>(n) ||
               std::holds_alternative<notification::progress>(n);
    }

    notification::result handle(const notification& n)
    {
        using result = notification::result;
        switch (n.index()) {
        case 0: // started
            step(text(1114));
            if (!payload_verified())
                throw_compress_error(compress_errc::invalid_archive, "check_payload");
            outcome(true);
            return result::proceed;
        case 2: return entry_begin(std::get<notification::entry_begin>(n).entry);
        case 3: entry_end(std::get<notification::entry_end>(n).entry); return result::proceed;
        case 4: {
            const auto& p = std::get<notification::progress>(n);
            view_.set_progress(progress_percent(p.done, p.total));
            return result::proceed;
        }
        case 5: {
            context_.journal.close_entry(false);
            view_.append_log(text(1012) + line_end);
            view_.set_status(format_text(text(1121), {error_code_text(std::get<notification::failed>(n).code)}));
            return result::abort;
        }
        default: return result::proceed;
        }
    }

    // Whether the whole payload decodes, before anything is written.
    bool payload_verified()
    {
        if (verdict_from_background_)
            return *verdict_from_background_;
        const bool verified = check_payload(payload_, keep_alive_);
        payload_.clear();
        payload_.seekg(0);
        return verified;
    }

    // The check that ran while the wizard was shown is usually done by now;
    // what is left of it shows on the progress bar, which the extraction
    // then starts again from 0.
    bool wait_for_background_check()
    {
        bool shown = false;
        return checked_in_background_->wait([&](std::uint64_t done, std::uint64_t total) {
            if (!shown)
                view_.show_progress();
            shown = true;
            view_.set_progress(progress_percent(done, total));
            keep_alive_();
        });
    }

    notification::result entry_begin(const payload_entry& entry)
    {
        const fs::path& destination = entry.destination;
        switch (static_cast<entry_kind>(entry.kind)) {
        case entry_kind::program: product_ = destination; break;
        case entry_kind::uninstaller: uninstaller_ = destination; break;
        case entry_kind::shared_data: {
            // Shared data stays as other products of the maker left it.
            if (context_.previous_state != 0 && context_.journal.previous_file_done(destination)) {
                grant_users_access(destination, shared_file_access, 0);
                return notification::result::skip;
            }
            std::error_code ignored;
            if (fs::exists(destination, ignored)) {
                context_.journal.begin_file(destination, std::int32_t(entry.kind), true);
                context_.journal.close_entry(true);
                grant_users_access(destination, shared_file_access, 0);
                return notification::result::skip;
            }
            context_.journal.begin_file(destination, std::int32_t(entry.kind), true);
            copying(destination);
            return notification::result::proceed;
        }
        case entry_kind::sample:
            if (context_.previous_state == 2)
                return notification::result::skip; // an update keeps the user's samples
            break;
        case entry_kind::temporary:
            cleanup_->add(destination);
            copying(destination);
            return notification::result::proceed;
        default: break;
        }
        context_.journal.begin_file(destination, std::int32_t(entry.kind), false);
        copying(destination);
        return notification::result::proceed;
    }

    void entry_end(const payload_entry& entry)
    {
        if (static_cast<entry_kind>(entry.kind) == entry_kind::shared_data)
            grant_users_access(entry.destination, shared_file_access, 0);
        if (static_cast<entry_kind>(entry.kind) != entry_kind::temporary)
            context_.journal.close_entry(true);
        view_.append_log(text(1011) + line_end);
    }

    void copying(const fs::path& destination)
    {
        std::wstring line = format_text(text(1115), {destination.wstring()});
        view_.set_status(line);
        view_.append_log(line);
    }

    // A step's line: its text now, its outcome when it is known. Both are
    // shown at once, and the window is let through between steps: a step
    // may take long, and the user should see which.
    void step(const std::wstring& line)
    {
        view_.set_status(line);
        view_.append_log(line);
        step_boundary();
    }
    void outcome(bool ok)
    {
        view_.append_log(text(ok ? 1011 : 1012) + line_end);
        step_boundary();
    }
    void step_boundary()
    {
        view_.flush();
        if (keep_alive_)
            keep_alive_();
    }

    bool make_shortcut(bool desktop, const std::wstring& folder)
    {
        try {
            context_.journal.begin_shortcut(desktop, folder);
            fs::path link = create_link(product_, folder, product_name(true));
            context_.journal.close_entry(true, link.wstring());
            return true;
        } catch (const std::exception&) {
            context_.journal.close_entry(false);
            return false;
        }
    }

    void shortcut_step()
    {
        if (!context_.start_menu_shortcut && !context_.desktop_shortcut)
            return;
        step(text(1117));
        bool ok = true;
        if (context_.start_menu_shortcut)
            ok &= make_shortcut(false, context_.start_menu_folder);
        if (context_.desktop_shortcut) // the public desktop, else the user's
            ok &= make_shortcut(true, context_.shell_folder(2));
        outcome(ok);
    }

    void directx_step()
    {
        directx_setup setup(context_.temporary_folder);
        if (!setup.usable())
            return;
        // A DirectX update that an earlier installation made need not run again,
        // except when the same version is reinstalled (a repair).
        if (context_.previous_state != 1 && context_.journal.previous_done(journal_type::directx))
            return;
        step(text(1131));
        bool ok = false;
        try {
            context_.journal.begin_directx();
            ok = setup.run(view_.owner());
            context_.journal.close_entry(ok);
        } catch (const std::exception&) {
            ok = false;
            context_.journal.close_entry(false);
        }
        outcome(ok);
    }

    void registry_step()
    {
        step(text(1118));
        bool registered = false;
        try {
            registered = write_uninstall_registration(context_.journal, product_, uninstaller_, context_.language());
        } catch (const std::exception&) {
            registered = false;
        }
        bool launched = launch_for_registration(context_.journal, context_.installer_lock(), product_,
                                                context_.installed_version);
        outcome(registered && launched);
    }

    void log_step()
    {
        step(text(1119));
        fs::path folder = uninstaller_.empty() ? fs::path(context_.install_folder) : uninstaller_.parent_path();
        bool ok = context_.journal.write_log(folder / uninstall_log_name, context_.install_folder,
                                             context_.start_menu_folder);
        outcome(ok);
    }

    installation_choices& context_;
    installation_view& view_;
    std::istream& payload_;
    background_payload_check* checked_in_background_;
    std::optional<bool> verdict_from_background_;
    cleanup_list* cleanup_ = nullptr;
    std::function<void()> keep_alive_;
    fs::path product_;
    fs::path uninstaller_;
};

} // namespace

unsigned progress_percent(std::uint64_t done, std::uint64_t total)
{
    if (total == 0)
        return 0;
    auto percent = unsigned(std::floor(double(done) / double(total) * 100.0 + 0.5));
    if (percent >= 100 && done < total)
        return 99;
    return percent > 100 ? 100 : percent;
}

std::wstring error_code_text(const std::error_code& code)
{
    if (code.category() == std::system_category())
        return vt::format(L"1:{:08X}", {std::uint32_t(code.value())});
    if (code.category() == std::generic_category())
        return vt::format(L"2:{:08X}", {std::uint32_t(code.value())});
    if (code.category() == compress_category())
        return vt::format(L"{}", {code.value()});
    return L"7";
}

bool run_installation(installation_choices& context, installation_view& view, std::istream& payload,
                      background_payload_check* checked_in_background)
{
    return installation(context, view, payload, checked_in_background).run();
}
