#pragma once
// Page 0 of the wizard: the language of the installation, chosen from a list
// with flags, and what the installer is about to do given the earlier
// installation found at start-up.

#include "support/unique_any.h"
#include "ui/basic_dialog.h"

#include <commctrl.h>

#include <array>
#include <string>

class dlg_start final : public basic_dialog {
public:
    static dlg_start& instance();

    void update_texts() override;
    void on_init() override;
    void on_size(int cx, int cy) override;
    bool on_command(unsigned id, unsigned code) override;

    // (Re)makes the language list's flags at the size for dpi.
    void show_flags(unsigned dpi);

    // The flags of the language list, at the size of the last show_flags.
    vt::unique_any<HIMAGELIST, ImageList_Destroy> flag_images;

private:
    dlg_start() = default;
};

// The language indexes of the list, in the order it shows them.
std::array<unsigned, 20> offered_languages();

// The language's own name, its first letter upper-cased.
std::wstring native_language_name(unsigned index);
