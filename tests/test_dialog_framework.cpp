// The dialog framework on real windows under Wine: binding of an object to
// its dialog, routing of messages, anchored layout, and the window helpers.

#include "ui/basic_dialog.h"
#include "ui/window_utilities.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <ostream>
#include <string>
#include <vector>

// RECT is the system's: its comparison and printing for the checks below
// live where lookup finds them.
static bool operator==(const RECT& a, const RECT& b)
{
    return a.left == b.left && a.top == b.top && a.right == b.right && a.bottom == b.bottom;
}

static std::ostream& operator<<(std::ostream& out, const RECT& r)
{
    return out << '(' << r.left << ',' << r.top << ")-(" << r.right << ',' << r.bottom << ')';
}

namespace {

// A dialog template built in memory: a resizable popup with static children.
class dialog_template {
public:
    dialog_template(DWORD style, short cx, short cy)
    {
        append_dword(style | DS_SETFONT);
        append_dword(0); // extended style
        count_at_ = data_.size();
        append_word(0);
        append_words({0, 0, WORD(cx), WORD(cy)});
        append_words({0, 0}); // no menu, default class
        append_text(L"Framework");
        append_word(8);
        append_text(L"MS Shell Dlg");
    }

    void add_static(WORD id, short x, short y, short cx, short cy)
    {
        while (data_.size() % 2)
            data_.push_back(0);
        append_dword(WS_CHILD | WS_VISIBLE | SS_LEFT);
        append_dword(0);
        append_words({WORD(x), WORD(y), WORD(cx), WORD(cy), id});
        append_words({0xFFFF, 0x0082}); // the Static class
        append_text(L"child");
        append_word(0);
        ++data_[count_at_];
    }

    const DLGTEMPLATE* get() const { return reinterpret_cast<const DLGTEMPLATE*>(data_.data()); }

private:
    void append_word(WORD value) { data_.push_back(value); }
    void append_words(std::initializer_list<WORD> values) { data_.insert(data_.end(), values); }
    void append_dword(DWORD value) { append_words({LOWORD(value), HIWORD(value)}); }
    void append_text(const wchar_t* text)
    {
        for (; *text; ++text)
            data_.push_back(WORD(*text));
        data_.push_back(0);
    }

    std::vector<WORD> data_; // WORD elements keep the template aligned
    std::size_t count_at_ = 0;
};

struct probe_dialog : basic_dialog {
    std::vector<std::string> calls;
    std::vector<std::pair<unsigned, unsigned>> commands;
    std::vector<unsigned> system_commands;
    std::vector<anchor> layout;

    void update_texts() override { calls.push_back("texts"); }
    void on_init() override { calls.push_back("init"); }
    void on_destroy() override { calls.push_back("destroy"); }
    void on_size(int cx, int cy) override
    {
        calls.push_back("size");
        if (!layout.empty())
            layout_children(cx, cy, layout);
    }
    void on_min_max_info(MINMAXINFO&) override { calls.push_back("minmax"); }
    bool on_command(unsigned id, unsigned code) override
    {
        commands.emplace_back(id, code);
        return id == 100;
    }
    bool on_sys_command(unsigned command) override
    {
        system_commands.push_back(command);
        return command == 16;
    }
};

constexpr DWORD frame_style = WS_POPUP | WS_CAPTION | WS_SYSMENU | WS_THICKFRAME | WS_VISIBLE;

HWND create(probe_dialog& dialog, const dialog_template& layout)
{
    return ::CreateDialogIndirectParamW(::GetModuleHandleW(nullptr), layout.get(), nullptr, dialog_proc,
                                        reinterpret_cast<LPARAM>(&dialog));
}

SIZE client_size(HWND window)
{
    RECT client{};
    ::GetClientRect(window, &client);
    return {client.right, client.bottom};
}

// Grows the client area by (dx, dy).
void resize_client(HWND window, int dx, int dy)
{
    RECT outer{};
    ::GetWindowRect(window, &outer);
    ::SetWindowPos(window, nullptr, 0, 0, outer.right - outer.left + dx, outer.bottom - outer.top + dy,
                   SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
}

RECT shifted(RECT rect, int left, int top, int right, int bottom)
{
    return {rect.left + left, rect.top + top, rect.right + right, rect.bottom + bottom};
}

} // namespace

TEST(DialogFramework, BindsAtInitialisationAndUnbindsAtDestruction)
{
    dialog_template layout(frame_style, 200, 120);
    probe_dialog dialog;
    HWND window = create(dialog, layout);
    ASSERT_TRUE(window);
    // Sizing messages of the window's creation came before its object was bound.
    ASSERT_FALSE(dialog.calls.empty());
    EXPECT_EQ(dialog.calls.front(), "init");
    EXPECT_EQ(dialog.hwnd, window);
    SIZE client = client_size(window);
    EXPECT_EQ(dialog.width, client.cx);
    EXPECT_EQ(dialog.height, client.cy);

    ::DestroyWindow(window);
    EXPECT_EQ(dialog.calls.back(), "destroy");
    EXPECT_EQ(dialog.hwnd, nullptr);
}

TEST(DialogFramework, RoutesCommandsAndSystemCommands)
{
    dialog_template layout(frame_style, 200, 120);
    probe_dialog dialog;
    HWND window = create(dialog, layout);
    ASSERT_TRUE(window);

    ::SendMessageW(window, WM_COMMAND, MAKEWPARAM(100, 7), 0);
    ::SendMessageW(window, WM_COMMAND, MAKEWPARAM(101, 0), 0);
    EXPECT_EQ(dialog.commands, (std::vector<std::pair<unsigned, unsigned>>{{100, 7}, {101, 0}}));

    // A command added to the system menu arrives as it is; the system's own
    // with their low four bits cleared, and still run when not handled.
    ::SendMessageW(window, WM_SYSCOMMAND, 16, 0);
    ::SendMessageW(window, WM_SYSCOMMAND, SC_MINIMIZE | 3, 0);
    EXPECT_EQ(dialog.system_commands, (std::vector<unsigned>{16, SC_MINIMIZE}));
    EXPECT_TRUE(::IsIconic(window));

    dialog.calls.clear();
    ::SendMessageW(window, WM_SYSCOMMAND, SC_RESTORE, 0);
    EXPECT_FALSE(::IsIconic(window));
    EXPECT_NE(std::find(dialog.calls.begin(), dialog.calls.end(), "size"), dialog.calls.end());
    ::DestroyWindow(window);
}

TEST(DialogFramework, AnchorsMoveAndSizeChildrenByTheChangeOfTheClientArea)
{
    dialog_template layout(frame_style, 200, 120);
    const WORD ids[] = {10, 11, 12, 13, 14, 15, 16};
    for (WORD id : ids)
        layout.add_static(id, 10 + (id - 10) * 20, 10 + (id - 10) * 10, 18, 20);
    probe_dialog dialog;
    HWND window = create(dialog, layout);
    ASSERT_TRUE(window);
    const std::uint32_t flags[] = {0, anchor_move_x, anchor_move_y, anchor_size_x, anchor_size_y,
                                   anchor_size_x | anchor_size_y, anchor_move_x | anchor_move_y};
    std::vector<RECT> before;
    for (std::size_t i = 0; i < std::size(ids); ++i) {
        HWND child = ::GetDlgItem(window, ids[i]);
        dialog.layout.push_back({flags[i], child});
        before.push_back(window_rect(child));
    }

    SIZE initial = client_size(window);
    resize_client(window, 40, 30);
    SIZE grown = client_size(window);
    const int dx = grown.cx - initial.cx;
    const int dy = grown.cy - initial.cy;
    ASSERT_EQ(dx, 40);
    ASSERT_EQ(dy, 30);
    EXPECT_EQ(dialog.width, grown.cx);
    EXPECT_EQ(dialog.height, grown.cy);
    const RECT expected[] = {
        before[0],
        shifted(before[1], dx, 0, dx, 0),
        shifted(before[2], 0, dy, 0, dy),
        shifted(before[3], 0, 0, dx, 0),
        shifted(before[4], 0, 0, 0, dy),
        shifted(before[5], 0, 0, dx, dy),
        shifted(before[6], dx, dy, dx, dy),
    };
    for (std::size_t i = 0; i < std::size(ids); ++i)
        EXPECT_EQ(window_rect(::GetDlgItem(window, ids[i])), expected[i]) << "flags " << flags[i];

    // The same size again moves nothing.
    ::SendMessageW(window, WM_SIZE, SIZE_RESTORED, MAKELPARAM(grown.cx, grown.cy));
    for (std::size_t i = 0; i < std::size(ids); ++i)
        EXPECT_EQ(window_rect(::GetDlgItem(window, ids[i])), expected[i]) << "flags " << flags[i];

    // Shrinking below the template size moves up and left.
    resize_client(window, -60, -45);
    for (std::size_t i = 0; i < std::size(ids); ++i) {
        RECT now = window_rect(::GetDlgItem(window, ids[i]));
        RECT want = before[i];
        if (flags[i] & anchor_move_x)
            want = shifted(want, -20, 0, -20, 0);
        if (flags[i] & anchor_move_y)
            want = shifted(want, 0, -15, 0, -15);
        if (flags[i] & anchor_size_x)
            want.right -= 20;
        if (flags[i] & anchor_size_y)
            want.bottom -= 15;
        EXPECT_EQ(now, want) << "flags " << flags[i];
    }
    ::DestroyWindow(window);
}

TEST(WindowUtilities, RectanglesOfChildrenAreInTheirParentsClientArea)
{
    dialog_template layout(frame_style, 200, 120);
    layout.add_static(10, 20, 10, 30, 8);
    probe_dialog dialog;
    HWND window = create(dialog, layout);
    ASSERT_TRUE(window);
    HWND child = ::GetDlgItem(window, 10);

    RECT on_screen{};
    ::GetWindowRect(child, &on_screen);
    POINT origin{0, 0};
    ::ClientToScreen(window, &origin);
    EXPECT_EQ(window_rect(child), shifted(on_screen, -origin.x, -origin.y, -origin.x, -origin.y));
    RECT frame{};
    ::GetWindowRect(window, &frame);
    EXPECT_EQ(window_rect(window), frame);

    // Reversed edges are put in order.
    set_window_rect(child, 90, 60, 40, 20);
    EXPECT_EQ(window_rect(child), (RECT{40, 20, 90, 60}));
    set_window_rect(window, 300, 200, 100, 50);
    EXPECT_EQ(window_rect(window), (RECT{100, 50, 300, 200}));
    ::DestroyWindow(window);
}

TEST(WindowUtilities, ReadsAndWritesWideWindowTexts)
{
    dialog_template layout(frame_style, 200, 120);
    layout.add_static(10, 20, 10, 30, 8);
    probe_dialog dialog;
    HWND window = create(dialog, layout);
    ASSERT_TRUE(window);
    HWND child = ::GetDlgItem(window, 10);
    set_text(child, L"Gr\u00FC\u00DFe \u2013 \u0627\u0644\u062A\u062B\u0628\u064A\u062A");
    EXPECT_EQ(get_window_text(child), L"Gr\u00FC\u00DFe \u2013 \u0627\u0644\u062A\u062B\u0628\u064A\u062A");
    set_text(child, L"");
    EXPECT_EQ(get_window_text(child), L"");
    EXPECT_EQ(get_window_text(nullptr), L"");
    ::DestroyWindow(window);
}

TEST(WindowUtilities, FitRectOnMonitorMovesOnlyWhatIsMostlyHidden)
{
    MONITORINFO monitor{};
    monitor.cbSize = sizeof(monitor);
    ASSERT_TRUE(::GetMonitorInfoW(::MonitorFromPoint({0, 0}, MONITOR_DEFAULTTOPRIMARY), &monitor));
    const RECT& screen = monitor.rcMonitor;
    const RECT& work = monitor.rcWork;

    // Half of it beyond the right edge: visible enough.
    RECT half{screen.right - 100, 100, screen.right + 100, 300};
    RECT rect = half;
    fit_rect_on_monitor(rect, 50);
    EXPECT_EQ(rect, half);

    // Mostly beyond the right edge: back inside the work area.
    rect = {screen.right - 20, 100, screen.right + 180, 300};
    fit_rect_on_monitor(rect, 50);
    EXPECT_EQ(rect, (RECT{work.right - 200, 100, work.right, 300}));

    // Its corner far off every monitor: brought back to the nearest one.
    rect = {screen.right + 500, screen.bottom + 400, screen.right + 700, screen.bottom + 500};
    fit_rect_on_monitor(rect, 50);
    EXPECT_EQ(rect, (RECT{work.right - 200, work.bottom - 100, work.right, work.bottom}));

    // Larger than the work area: ends on its left and top edges.
    int wide = work.right - work.left + 300;
    int tall = work.bottom - work.top + 200;
    rect = {work.left - 250, work.top - 150, work.left - 250 + wide, work.top - 150 + tall};
    fit_rect_on_monitor(rect, 90);
    EXPECT_EQ(rect.left, work.left);
    EXPECT_EQ(rect.top, work.top);
    EXPECT_EQ(rect.right - rect.left, wide);
}
