#include "ui/dlg_install.h"

#include "app/installer_context.h"
#include "app/language.h"
#include "engine/coalescing_view.h"
#include "engine/installation_sequence.h"
#include "payload/background_payload_check.h"
#include "payload/payload_reader.h"
#include "resources/dialog_ids.h"
#include "resources/product.h"
#include "ui/window_utilities.h"

#include <commctrl.h>

#include <algorithm>

dlg_install& dlg_install::instance()
{
    static dlg_install page;
    return page;
}

void dlg_install::on_init()
{
    HWND progress = item(IDC_PROGRESS);
    ::SendMessageW(progress, PBM_SETRANGE, 0, MAKELPARAM(0, 100));
    ::ShowWindow(progress, SW_HIDE); // until the installation runs
    // The default limit of an edit control would cut the log of a large
    // payload off in the middle of a line, with the later steps missing.
    ::SendMessageW(item(IDC_LOG), EM_SETLIMITTEXT, 0, 0);
}

void dlg_install::update_texts()
{
    set_text(item(IDC_STATUS), format_text(text(1108), {text(1007)}));
}

void dlg_install::on_size(int cx, int cy)
{
    const anchor entries[] = {
        {anchor_size_x | anchor_size_y, item(IDC_LOG)},
        {anchor_move_y | anchor_size_x, item(IDC_PROGRESS)},
        {anchor_move_y | anchor_size_x, item(IDC_STATUS)},
    };
    layout_children(cx, cy, entries);
}

void dlg_install::show_summary()
{
    const auto& context = installer_context::instance();
    constexpr const wchar_t* line_end = L"\r\n";
    std::wstring summary = format_text(text(1100), {product_name(true)}) + line_end;
    summary += L"\u2500\u2500\u2500\u00A0" + text(1122) + L"\u00A0" + std::wstring(29, L'\u2500') + line_end;
    summary += format_text(text(1123), {context.install_folder}) + line_end;
    if (context.start_menu_shortcut)
        summary += text(1124) + line_end;
    if (context.desktop_shortcut)
        summary += text(1125) + line_end;
    set_text(item(IDC_LOG), summary);
}

void dlg_install::append_log(const std::wstring& text)
{
    HWND log = item(IDC_LOG);
    ::SendMessageW(log, EM_SETSEL, 0x7FFFFFFF, -1);
    ::SendMessageW(log, EM_REPLACESEL, FALSE, reinterpret_cast<LPARAM>(text.c_str()));
    // Text arrives gathered, several lines at once: the log follows its end
    // by as many lines as it grew.
    const auto lines = std::max<std::ptrdiff_t>(1, std::count(text.begin(), text.end(), L'\n'));
    ::SendMessageW(log, EM_LINESCROLL, 0, LPARAM(lines));
}

void dlg_install::set_status(const std::wstring& text)
{
    set_text(item(IDC_STATUS), text);
}

void dlg_install::show_progress()
{
    HWND progress = item(IDC_PROGRESS);
    ::SendMessageW(progress, PBM_SETPOS, 0, 0);
    ::ShowWindow(progress, SW_SHOW);
}

void dlg_install::set_progress(unsigned percent)
{
    ::SendMessageW(item(IDC_PROGRESS), PBM_SETPOS, WPARAM(percent), 0);
}

namespace {

// The install page as the view of the installation.
class page_view final : public installation_view {
public:
    explicit page_view(dlg_install& page) : page_(page) {}
    void append_log(const std::wstring& text) override { page_.append_log(text); }
    void set_status(const std::wstring& text) override { page_.set_status(text); }
    void show_progress() override { page_.show_progress(); }
    void set_progress(unsigned percent) override { page_.set_progress(percent); }
    HWND owner() const override { return page_.hwnd; }

private:
    dlg_install& page_;
};

} // namespace

bool dlg_install::do_installation(background_payload_check* checked_in_background)
{
    vt::imemstream payload = open_payload_resource(language_settings::instance().resource_module());
    if (checked_in_background && !checked_in_background->covers(payload.data(), payload.size()))
        checked_in_background = nullptr;
    return do_installation(installer_context::instance(), payload, checked_in_background);
}

bool dlg_install::do_installation(installation_choices& choices, std::istream& payload,
                                  background_payload_check* checked_in_background)
{
    page_view page(*this);
    coalescing_view view(page);
    return run_installation(choices, view, payload, checked_in_background);
}
