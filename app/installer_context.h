#pragma once
// The one context of an installer run: the product's identity and every choice
// that the wizard pages and the installation engine read and write.

#include "app/named_mutex.h"
#include "engine/install_journal.h"

#include <cstdint>
#include <string>

class installer_context {
public:
    // The process's context, built on first use.
    static installer_context& instance();

    // Builds a context with its single-installer lock created but not owned.
    installer_context();
    installer_context(const installer_context&) = delete;
    installer_context& operator=(const installer_context&) = delete;

    // The start-up checks, language and default folders; true lets the wizard open.
    bool initialise();
    // The part of initialise after the checks and the language: finds an
    // earlier installation (its log gives the folders and desktop choice)
    // and fills in the default folders. False after telling the user why.
    bool settle_choices();

    // Localised text of a string id in the current language.
    std::wstring text(unsigned id) const;
    // "Installer", or "Installer – Tablewright 8.11n" with the product.
    std::wstring caption(bool with_product) const;
    // previous_state; with version_text, the installed version's text for states 2 and -1.
    std::int32_t previous_installation(std::wstring* version_text = nullptr) const;
    // Names a new per-run temporary folder (without creating it).
    bool make_temporary_folder(std::wstring& error_text);
    // 0 program files, 1 Start-menu programs, 2 desktop; empty when unavailable.
    std::wstring shell_folder(int kind) const;

    std::uint16_t product_code;
    named_mutex instance_lock;
    std::wstring install_folder;
    std::wstring start_menu_folder;
    std::wstring temporary_folder;
    bool start_menu_shortcut = true;
    bool desktop_shortcut = true;
    bool advanced_mode = false;
    install_journal journal;
    bool finished = false;
    std::uint64_t installed_version = 0;
    std::int32_t previous_state = 0;
    std::wstring installed_version_text;
};

// Set by the process start-up once the processor has been checked.
extern bool processor_check_passed;

// Shows the system's text for an error code with the warning icon.
void report_error(DWORD code, const std::wstring& caption = {});

// Dispatches every message waiting in this thread's queue, then returns;
// true when there was any.
bool pump_messages();

// Waits without time limit until object is signalled, dispatching every
// message meanwhile, so that the window stays alive however long it takes.
// Raises a system error when the wait itself fails.
void wait_dispatching(HANDLE object);

// The window of the wizard frame while it exists; pump_messages hands its
// dialog messages to it.
extern HWND frame_window;
