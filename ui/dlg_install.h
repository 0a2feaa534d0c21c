#pragma once
// Page 3 of the wizard: first a summary of the chosen options; once the user
// clicks Install, the log, the status line and the progress bar of the
// running installation.

#include "ui/basic_dialog.h"

#include <istream>
#include <string>

class background_payload_check;
class installation_choices;

class dlg_install final : public basic_dialog {
public:
    static dlg_install& instance();

    void update_texts() override;
    void on_init() override;
    void on_size(int cx, int cy) override;

    // Replaces the whole log with the installation options.
    void show_summary();
    // Appends text (with its own CR LF line ends) at the end of the log and
    // scrolls; earlier content is never rewritten.
    void append_log(const std::wstring& text);
    // Replaces the status line; a long path in it is shortened in its middle.
    void set_status(const std::wstring& text);
    // Resets the progress bar to 0 and shows it; it stays visible from the
    // first installation run on.
    void show_progress();
    // Progress bar position, 0 to 100.
    void set_progress(unsigned percent);

    // The installation itself, run by the frame's Install button; true when
    // it reached its end. Reports through the operations above. The
    // payload's verdict comes from checked_in_background when it covers the
    // payload.
    bool do_installation(background_payload_check* checked_in_background = nullptr);
    // The same with other choices and payload (a bzip2 archive stream).
    bool do_installation(installation_choices& choices, std::istream& payload,
                         background_payload_check* checked_in_background = nullptr);

private:
    dlg_install() = default;
};
