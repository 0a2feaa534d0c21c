#pragma once
// Page 2 of the wizard, advanced installation only: the installation folder,
// typed in or chosen with the folder chooser, and the shortcuts to create.

#include "ui/basic_dialog.h"

#include <filesystem>

class dlg_options final : public basic_dialog {
public:
    static dlg_options& instance();

    void update_texts() override;
    void on_init() override;
    void on_size(int cx, int cy) override;
    bool on_command(unsigned id, unsigned code) override;

    // The Program Files folder: a folder typed as a relative path lies in it.
    std::filesystem::path base_folder;
    // Set while the page itself writes the folder text, whose edit
    // notifications are then not the user's typing.
    bool updating_text = false;

private:
    dlg_options() = default;
    void show_folder(const std::wstring& folder);
    void browse();
};

// The installation folder for a typed text: relative to base, in lexically
// normal form.
std::wstring typed_install_folder(const std::filesystem::path& base, const std::wstring& typed);
