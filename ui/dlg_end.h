#pragma once
// Page 4 of the wizard: the final message after a successful installation.

#include "ui/basic_dialog.h"

class dlg_end final : public basic_dialog {
public:
    static dlg_end& instance();

    void update_texts() override;
    void on_size(int cx, int cy) override;

    // Sets the final message; the frame calls it after every installation run.
    void show_result();

private:
    dlg_end() = default;
};
