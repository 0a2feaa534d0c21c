// The dialog framework on real windows under Wine: anchored layout.

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
    std::vector<anchor> layout;
    void update_texts() override {}
    void on_size(int cx, int cy) override
    {
        if (!layout.empty())
            layout_children(cx, cy, layout);
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
