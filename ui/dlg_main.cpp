#include "ui/dlg_main.h"

#include "app/installer_context.h"
#include "app/language.h"
#include "payload/background_payload_check.h"
#include "payload/payload_reader.h"
#include "resources/dialog_ids.h"
#include "resources/product.h"
#include "resources/resource_ids.h"
#include "support/error.h"
#include "support/registry.h"
#include "support/unique_any.h"
#include "ui/about_box.h"
#include "ui/dlg_end.h"
#include "ui/dlg_install.h"
#include "ui/dlg_mode.h"
#include "ui/dlg_options.h"
#include "ui/dlg_start.h"
#include "ui/dpi.h"
#include "ui/message_box.h"
#include "ui/pictures.h"
#include "ui/window_utilities.h"

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <exception>
#include <initializer_list>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace {

// The frame's outer size of the last run, per user, in the maker's key; in
// pixels at 96 dpi, so that it means the same size at every scale.
const std::wstring size_key = maker_key;
constexpr const wchar_t* size_value = L"InstallerSize";

// The stored width and height: a REG_BINARY of exactly two little-endian
// 32-bit integers. Anything else counts as not stored.
std::optional<SIZE> stored_size()
{
    try {
        vt::unique_hkey key = vt::open_key(HKEY_CURRENT_USER, size_key);
        std::int32_t size[2] = {};
        if (!key || !vt::read_exact(key.get(), size_value, REG_BINARY, size, sizeof(size)))
            return std::nullopt;
        return SIZE{size[0], size[1]};
    } catch (const std::system_error&) {
        return std::nullopt;
    }
}

void store_size(SIZE outer)
{
    std::int32_t size[2] = {outer.cx, outer.cy};
    try {
        vt::set_binary(vt::create_key(HKEY_CURRENT_USER, size_key).get(), size_value, size, sizeof(size));
    } catch (const std::system_error&) {
        // The next run opens at its minimum size.
    }
}

constexpr unsigned page_templates[] = {IDD_START, IDD_MODE, IDD_OPTIONS, IDD_INSTALL, IDD_END};

// A timer's message comes only when nothing else waits, the first page's
// painting included: the check then starts without delaying the wizard.
constexpr UINT_PTR payload_check_timer_id = 1;

} // namespace

dlg_main& dlg_main::instance()
{
    static dlg_main frame;
    return frame;
}

dlg_main::dlg_main()
    : pages{&dlg_start::instance(), &dlg_mode::instance(), &dlg_options::instance(), &dlg_install::instance(),
            &dlg_end::instance()}
{
}

dlg_main::~dlg_main() = default;

void dlg_main::start_payload_check()
{
    ::KillTimer(hwnd, payload_check_timer_id);
    if (payload_check_ || installation)
        return;
    const vt::imemstream payload = open_payload_resource(language_settings::instance().resource_module());
    try {
        payload_check_ = std::make_unique<background_payload_check>(payload.data(), payload.size());
    } catch (const std::exception&) {
        // No thread to spare: the installation checks the payload itself.
    }
}

void CALLBACK dlg_main::payload_check_timer(HWND, UINT, UINT_PTR, DWORD)
{
    vt::exception_barrier(0, [] {
        instance().start_payload_check();
        return 0;
    });
}

void dlg_main::on_init()
{
    frame_window = hwnd;
    current_page = page_start;

    RECT outer = window_rect(hwnd);
    min_width = outer.right - outer.left;
    min_height = outer.bottom - outer.top;

    dpi = window_dpi(hwnd);
    template_dpi_ = dpi;
    take_over_dpi_scaling(hwnd);
    ::GetObjectW(reinterpret_cast<HGDIOBJ>(::SendMessageW(hwnd, WM_GETFONT, 0, 0)), sizeof(template_font_),
                 &template_font_);
    fit_pictures();

    // The page templates are not visible: every page starts hidden.
    for (std::size_t index = 0; index < pages.size(); ++index)
        if (HWND page = reinterpret_cast<HWND>(pages[index]->create(hwnd, page_templates[index])))
            take_over_dpi_scaling(page);

    size_frame();
    update_texts();

    ::ShowWindow(pages[page_start]->hwnd, SW_SHOW);
    ::EnableWindow(item(IDC_BACK), FALSE);
    // Over a newer version the user can only leave, and nothing is checked.
    if (installer_context::instance().previous_state == -1)
        ::EnableWindow(item(IDC_NEXT), FALSE);
    else
        ::SetTimer(hwnd, payload_check_timer_id, USER_TIMER_MINIMUM, payload_check_timer);
}

void dlg_main::size_frame()
{
    RECT client{};
    ::GetClientRect(hwnd, &client);
    // The separator spans the frame from edge to edge, however the dialog
    // units of its template round.
    RECT line = window_rect(item(IDC_SEPARATOR));
    set_window_rect(item(IDC_SEPARATOR), 0, line.top, client.right, line.bottom);
    int grip_width = ::GetSystemMetrics(SM_CXVSCROLL);
    int grip_height = ::GetSystemMetrics(SM_CYHSCROLL);
    HWND grip = ::CreateWindowExW(WS_EX_NOPARENTNOTIFY, L"ScrollBar", L"",
                                  WS_CHILD | WS_VISIBLE | WS_CLIPSIBLINGS | WS_GROUP | SBS_SIZEGRIP,
                                  client.right - grip_width, client.bottom - grip_height, grip_width, grip_height,
                                  hwnd, reinterpret_cast<HMENU>(IDC_SIZE_GRIP),
                                  reinterpret_cast<HINSTANCE>(::GetWindowLongPtrW(hwnd, GWLP_HINSTANCE)), nullptr);
    if (grip)
        ::SetWindowPos(grip, HWND_BOTTOM, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);

    // The page area lies right of the side panel and above the separator;
    // the frame grows so that the largest page fits in it.
    int widest = 0;
    int tallest = 0;
    for (basic_dialog* page : pages) {
        if (!page->hwnd)
            continue;
        RECT rect = window_rect(page->hwnd);
        widest = std::max(widest, int(rect.right - rect.left));
        tallest = std::max(tallest, int(rect.bottom - rect.top));
    }
    RECT area{window_rect(item(IDC_SIDE_PANEL)).right, 0, client.right, window_rect(item(IDC_SEPARATOR)).top};
    if (widest > area.right - area.left)
        min_width += widest - (area.right - area.left);
    if (tallest > area.bottom - area.top)
        min_height += tallest - (area.bottom - area.top);
    for (basic_dialog* page : pages)
        if (page->hwnd)
            set_window_rect(page->hwnd, area);

    int wanted_width = min_width;
    int wanted_height = min_height;
    if (auto stored = stored_size()) {
        wanted_width = std::max(scale_dpi(stored->cx, base_dpi, dpi), min_width);
        wanted_height = std::max(scale_dpi(stored->cy, base_dpi, dpi), min_height);
    }
    // Same centre as where the dialog manager placed the template.
    RECT outer = window_rect(hwnd);
    int left = (outer.left + outer.right) / 2 - wanted_width / 2;
    int top = (outer.top + outer.bottom) / 2 - wanted_height / 2;
    set_window_rect(hwnd, left, top, left + wanted_width, top + wanted_height);
    ::SendMessageW(hwnd, DM_REPOSITION, 0, 0);
}

void dlg_main::on_destroy()
{
    RECT outer = window_rect(hwnd);
    store_size(SIZE{scale_dpi(outer.right - outer.left, dpi, base_dpi),
                    scale_dpi(outer.bottom - outer.top, dpi, base_dpi)});
    if (frame_window == hwnd)
        frame_window = nullptr;
    ::KillTimer(hwnd, payload_check_timer_id);
    payload_check_.reset(); // its threads end with the wizard
}

void dlg_main::on_size(int cx, int cy)
{
    constexpr auto corner = anchor_move_x | anchor_move_y;
    constexpr auto fill = anchor_size_x | anchor_size_y;
    const anchor entries[] = {
        {anchor_size_y, item(IDC_SIDE_PANEL)},
        {anchor_move_y | anchor_size_x, item(IDC_SEPARATOR)},
        {corner, item(IDC_BACK)},
        {corner, item(IDC_NEXT)},
        {corner, item(IDC_EXIT)},
        {corner, item(IDC_SIZE_GRIP)},
        {fill, pages[0]->hwnd},
        {fill, pages[1]->hwnd},
        {fill, pages[2]->hwnd},
        {fill, pages[3]->hwnd},
        {fill, pages[4]->hwnd},
    };
    layout_children(cx, cy, entries);
}

void dlg_main::on_min_max_info(MINMAXINFO& info)
{
    info.ptMinTrackSize.x = min_width;
    info.ptMinTrackSize.y = min_height;
}

// The side image for the slot's present size, and the caption's and the
// taskbar's icons at the sizes of the frame's scale.
void dlg_main::fit_pictures()
{
    auto module = reinterpret_cast<HMODULE>(::GetWindowLongPtrW(hwnd, GWLP_HINSTANCE));
    HWND side = item(IDC_SIDE_IMAGE);
    vt::unique_gdi image = side_image_for(side, module);
    ::SendMessageW(side, STM_SETIMAGE, IMAGE_BITMAP, reinterpret_cast<LPARAM>(image.get()));
    side_image_ = std::move(image); // the control no longer shows the old one

    int small_size = scale_dpi(16, base_dpi, dpi);
    int big_size = scale_dpi(32, base_dpi, dpi);
    vt::unique_icon small_icon = load_icon(module, IDI_APPLICATION_ICON, small_size, small_size);
    vt::unique_icon big_icon = load_icon(module, IDI_APPLICATION_ICON, big_size, big_size);
    ::SendMessageW(hwnd, WM_SETICON, ICON_SMALL, reinterpret_cast<LPARAM>(small_icon.get()));
    ::SendMessageW(hwnd, WM_SETICON, ICON_BIG, reinterpret_cast<LPARAM>(big_icon.get()));
    small_icon_ = std::move(small_icon);
    big_icon_ = std::move(big_icon);
}

// Windows suggests the frame's new outer rectangle; the controls, their font,
// the layout's reference sizes, the minimum size and the pictures follow,
// the pages' first so that moving the pages lays out nothing twice.
void dlg_main::on_dpi_changed(unsigned new_dpi, const RECT& suggested)
{
    if (new_dpi == 0 || new_dpi == dpi)
        return;
    const unsigned old_dpi = std::exchange(dpi, new_dpi);
    LOGFONTW scaled = template_font_;
    scaled.lfHeight = scale_dpi(template_font_.lfHeight, template_dpi_, new_dpi);
    vt::unique_gdi font(::CreateFontIndirectW(&scaled));
    auto font_handle = static_cast<HFONT>(font.get());

    for (basic_dialog* page : pages) {
        if (!page->hwnd)
            continue;
        rescale_children(page->hwnd, old_dpi, new_dpi, font_handle);
        // The size the page gets from the frame's rescaling below.
        RECT area = window_rect(page->hwnd);
        page->width = scale_dpi(area.right, old_dpi, new_dpi) - scale_dpi(area.left, old_dpi, new_dpi);
        page->height = scale_dpi(area.bottom, old_dpi, new_dpi) - scale_dpi(area.top, old_dpi, new_dpi);
    }
    rescale_children(hwnd, old_dpi, new_dpi, font_handle);
    width = scale_dpi(width, old_dpi, new_dpi);
    height = scale_dpi(height, old_dpi, new_dpi);
    if (font)
        font_ = std::move(font); // no control holds the previous one any more
    min_width = scale_dpi(min_width, old_dpi, new_dpi);
    min_height = scale_dpi(min_height, old_dpi, new_dpi);

    set_window_rect(hwnd, suggested);
    fit_pictures();
    dlg_start::instance().show_flags(new_dpi);
}

void dlg_main::update_texts()
{
    auto& context = installer_context::instance();
    set_text(hwnd, context.caption(true));

    std::wstring about = format_text(text(1003), {text(1000)});
    if (language_settings::instance().right_to_left)
        about = L"..." + about;
    else
        about = L"&" + about + L"...";
    // Renamed on every change of language, added only the first time.
    if (HMENU menu = ::GetSystemMenu(hwnd, FALSE)) {
        if (!::ModifyMenuW(menu, IDM_ABOUT, MF_BYCOMMAND | MF_STRING, IDM_ABOUT, about.c_str())) {
            ::AppendMenuW(menu, MF_SEPARATOR, 0, nullptr);
            ::AppendMenuW(menu, MF_STRING, IDM_ABOUT, about.c_str());
        }
    }

    update_buttons();
    for (basic_dialog* page : pages)
        if (page->hwnd)
            page->update_texts();
}

void dlg_main::update_buttons()
{
    bool installed = installer_context::instance().finished;
    set_text(item(IDC_NEXT), current_page == page_install && !installed ? text(1007) : text(1006) + L" >");
    set_text(item(IDC_BACK), L"< " + text(1005));
    set_text(item(IDC_EXIT), installed ? text(1004) : text(1002));
}

void dlg_main::go_to_page(unsigned index)
{
    ::ShowWindow(pages[current_page]->hwnd, SW_HIDE);
    current_page = index;
    ::ShowWindow(pages[current_page]->hwnd, SW_SHOW);
    update_buttons();

    bool installed = installer_context::instance().finished;
    ::EnableWindow(item(IDC_BACK), index == page_end || (index != page_start && !installed));
    ::EnableWindow(item(IDC_NEXT), index != page_end);

    // On the end page Enter leaves; everywhere else it goes on.
    int button = index == page_end ? IDC_EXIT : IDC_NEXT;
    ::SetFocus(item(button));
    ::SendMessageW(hwnd, DM_SETDEFID, WPARAM(button), 0);
}

bool dlg_main::on_command(unsigned id, unsigned)
{
    auto& context = installer_context::instance();
    if (installing_ && (id == IDC_NEXT || id == IDC_BACK || id == IDC_EXIT))
        return true; // whatever sent it, nothing moves while installing
    switch (id) {
    case IDC_NEXT:
        if (current_page == page_install && !context.finished) {
            install();
        } else if (current_page < page_end) {
            unsigned next = current_page + 1;
            if (current_page == page_mode && !context.advanced_mode)
                next = page_install; // quick installation: no options page
            if (next == page_install)
                dlg_install::instance().show_summary();
            go_to_page(next);
        }
        return true;
    case IDC_BACK:
        if (current_page > page_start) {
            unsigned previous = current_page - 1;
            if (current_page == page_install && !context.advanced_mode)
                previous = page_mode;
            go_to_page(previous);
        }
        return true;
    case IDC_EXIT:
        leave();
        return true;
    default:
        return false;
    }
}

namespace {

// While an installation runs: Back, Next and Exit disabled and the system
// menu's Close greyed (which greys the close box too). However the
// installation ends, Close comes back; when it ends with an exception, the
// buttons get back the state they had before, so that the wizard stays
// usable.
class installation_guard {
public:
    installation_guard(HWND frame, std::initializer_list<HWND> buttons, bool& installing)
        : frame_(frame), installing_(installing), exceptions_(std::uncaught_exceptions())
    {
        for (HWND button : buttons)
            buttons_.push_back({button, ::IsWindowEnabled(button) != FALSE});
        installing_ = true;
        for (const auto& button : buttons_)
            ::EnableWindow(button.window, FALSE);
        if (HMENU menu = ::GetSystemMenu(frame_, FALSE))
            ::EnableMenuItem(menu, SC_CLOSE, MF_BYCOMMAND | MF_GRAYED);
    }
    installation_guard(const installation_guard&) = delete;
    installation_guard& operator=(const installation_guard&) = delete;
    ~installation_guard()
    {
        installing_ = false;
        if (HMENU menu = ::GetSystemMenu(frame_, FALSE))
            ::EnableMenuItem(menu, SC_CLOSE, MF_BYCOMMAND | MF_ENABLED);
        if (std::uncaught_exceptions() > exceptions_)
            for (const auto& button : buttons_)
                ::EnableWindow(button.window, button.enabled ? TRUE : FALSE);
    }

private:
    struct saved_button {
        HWND window;
        bool enabled;
    };
    HWND frame_;
    bool& installing_;
    int exceptions_;
    std::vector<saved_button> buttons_;
};

} // namespace

void dlg_main::install()
{
    HWND back = item(IDC_BACK);
    HWND next = item(IDC_NEXT);
    HWND exit = item(IDC_EXIT);
    auto& context = installer_context::instance();
    {
        // The installation dispatches messages while it runs: no navigation
        // and no way out meanwhile. The disabled buttons are not enough: the
        // dialog manager (Wine's at least) still turns Esc, the close box,
        // Alt+F4 and the system menu's Close into the Exit command, so the
        // handlers refuse them too while installing_ is set.
        installation_guard guard(hwnd, {back, next, exit}, installing_);
        start_payload_check();
        context.finished =
            installation ? installation() : dlg_install::instance().do_installation(payload_check_.get());
    }
    ::EnableWindow(exit, TRUE);
    ::EnableWindow(next, TRUE);
    ::SetFocus(next);
    ::SendMessageW(hwnd, DM_SETDEFID, IDC_NEXT, 0);
    update_buttons();
    dlg_end::instance().show_result();
}

void dlg_main::leave()
{
    if (installing_)
        return; // no question, and no way out, while the installation runs
    auto& context = installer_context::instance();
    // No question once installed, over a newer version (nothing can be
    // done), or before anything was chosen for a reinstallation.
    bool ask = !context.finished && context.previous_state != -1 &&
               !(context.previous_state == 1 && current_page == page_start);
    if (ask && message_box(text(1110), context.caption(true), MB_YESNO | MB_ICONQUESTION | MB_DEFBUTTON2) == IDNO)
        return;
    ::EndDialog(hwnd, context.finished ? 1 : 2);
}

bool dlg_main::on_close()
{
    // Otherwise the dialog manager posts the Exit command, which might only
    // arrive once the installation has ended.
    return installing_;
}

bool dlg_main::on_sys_command(unsigned command)
{
    if (command == SC_CLOSE && installing_)
        return true; // Alt+F4, the close box and the system menu's Close
    if (command != IDM_ABOUT)
        return false;
    // The box's modal loop would run inside the installation's message pump
    // and hold the installation up for as long as it stays open.
    if (!installing_)
        show_about_box(hwnd);
    return true;
}
