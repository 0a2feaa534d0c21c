#pragma once
// Page 1 of the wizard: quick or advanced installation. Only the advanced
// installation shows the options page.

#include "ui/basic_dialog.h"

class dlg_mode final : public basic_dialog {
public:
    static dlg_mode& instance();

    void update_texts() override;
    void on_init() override;
    void on_size(int cx, int cy) override;
    bool on_command(unsigned id, unsigned code) override;

private:
    dlg_mode() = default;
};
