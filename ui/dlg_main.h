#pragma once
// The wizard's frame: the resizable top-level dialog with the side image, the
// page area and the Back, Next and Exit buttons. It creates the five pages
// once, shows one at a time, runs the installation from the install page,
// remembers its size between runs and offers an About box in its system menu.

#include "support/unique_any.h"
#include "ui/basic_dialog.h"

#include <array>
#include <functional>
#include <memory>

class background_payload_check;

class dlg_main final : public basic_dialog {
public:
    static dlg_main& instance();
    ~dlg_main() override;

    // Page indexes, in the order the wizard runs them.
    static constexpr unsigned page_start = 0;
    static constexpr unsigned page_mode = 1;
    static constexpr unsigned page_options = 2; // advanced installation only
    static constexpr unsigned page_install = 3;
    static constexpr unsigned page_end = 4;

    // Re-translates the caption, the system menu, the buttons and every page.
    void update_texts() override;
    void on_init() override;
    void on_destroy() override;
    void on_size(int cx, int cy) override;
    void on_min_max_info(MINMAXINFO& info) override;
    void on_dpi_changed(unsigned dpi, const RECT& suggested) override;
    bool on_command(unsigned id, unsigned code) override;
    bool on_sys_command(unsigned command) override;
    bool on_close() override;

    void update_buttons();
    void go_to_page(unsigned index);

    std::array<basic_dialog*, 5> pages;
    int min_width = 0;  // outer size below which the frame cannot be shrunk
    int min_height = 0;
    unsigned dpi = 96;  // the scale the frame is laid out for
    unsigned current_page = page_start;
    // What Install runs: the install page's do_installation when empty. The
    // wizard's tests put a stand-in here, and then no payload is checked.
    std::function<bool()> installation;
    // An installation is running: no navigation and no way out meanwhile.
    bool installing() const { return installing_; }

private:
    dlg_main();
    void size_frame();
    void fit_pictures();
    void install();
    void leave();
    // The payload's check starts once the first page has been painted, and
    // at the latest when Install is clicked; it stops with the frame.
    void start_payload_check();
    static void CALLBACK payload_check_timer(HWND window, UINT, UINT_PTR timer, DWORD);
    std::unique_ptr<background_payload_check> payload_check_;
    bool installing_ = false;
    // The dialog font as the templates made it, at the scale of the start;
    // after a change of scale every control has a copy of another height.
    LOGFONTW template_font_{};
    unsigned template_dpi_ = 96;
    vt::unique_gdi font_;
    vt::unique_gdi side_image_;
    vt::unique_icon small_icon_;
    vt::unique_icon big_icon_;
};
