#pragma once
// The one context of an installer run: the product's identity and every choice
// that the wizard pages and the installation engine read and write.

#include "support/protected_folder.h"
#include "engine/installation_choices.h"
#include "support/message_pump.h"
#include "support/named_mutex.h"

#include <cstdint>
#include <functional>
#include <string>

class installer_context final : public installation_choices {
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
    std::wstring text(unsigned id) const override;
    std::uint32_t language() const override;
    // "Installer", or "Installer – Tablewright 8.11n" with the product.
    std::wstring caption(bool with_product) const;
    // previous_state; with version_text, the installed version's text for states 2 and -1.
    std::int32_t previous_installation(std::wstring* version_text = nullptr) const;
    // Names a new per-run temporary folder (without creating it).
    bool make_temporary_folder(std::wstring& error_text) override;
    // 0 program files, 1 Start-menu programs, 2 desktop; empty when unavailable.
    std::wstring shell_folder(int kind) const override;
    vt::named_mutex& installer_lock() override { return instance_lock; }

    // Shows the system's text for an error code with the warning icon.
    void report_error(DWORD code, const std::wstring& caption = {}) const;

    // How start-up tells and asks the user: a message box with text, caption
    // and style that returns the pressed button. The program hands in the
    // wizard's message box; a context without one shows the system's own.
    std::function<int(const std::wstring& text, const std::wstring& caption, UINT style)> message_box;

    std::uint16_t product_code;
    vt::named_mutex instance_lock;
    // The installer's own folder, held open from the first run on (see
    // engine/installer_folder.h).
    vt::protected_folder installer_folder;
    bool advanced_mode = false;
    bool finished = false;
    std::wstring installed_version_text;
};

// Set by the process start-up once the processor has been checked.
extern bool processor_check_passed;
