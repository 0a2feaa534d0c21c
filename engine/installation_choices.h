#pragma once

#include "engine/install_journal.h"

#include <cstdint>
#include <string>

namespace vt {
class named_mutex;
}

// What one installation is to do: the user's choices and what start-up
// found, the journal of its changes, and the few services of the installer's
// context that the steps use. The installer's context is one.
class installation_choices {
public:
    virtual ~installation_choices() = default;

    // Localised text of a string id in the installer's language.
    virtual std::wstring text(unsigned id) const = 0;
    // The installer's language index, stored for the product and the next run.
    virtual std::uint32_t language() const = 0;
    // Names a new per-run temporary folder (without creating it).
    virtual bool make_temporary_folder(std::wstring& error_text) = 0;
    // 0 program files, 1 Start-menu programs, 2 desktop; empty when unavailable.
    virtual std::wstring shell_folder(int kind) const = 0;
    // The single-installer lock, given up while the product registers itself.
    virtual vt::named_mutex& installer_lock() = 0;

    std::wstring install_folder;
    std::wstring start_menu_folder;
    std::wstring temporary_folder;
    bool start_menu_shortcut = true;
    bool desktop_shortcut = true;
    install_journal journal;
    std::uint64_t installed_version = 0;
    std::int32_t previous_state = 0;
};
