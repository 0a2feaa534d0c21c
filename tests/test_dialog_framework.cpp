// The dialog framework on real windows under Wine: anchored layout.

#include "ui/basic_dialog.h"
#include "ui/window_utilities.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

namespace {

struct probe_dialog : basic_dialog {
    std::vector<anchor> layout;
    void update_texts() override {}
    void on_size(int cx, int cy) override { layout_children(cx, cy, layout); }
};

// Grows the client area by (dx, dy).
void resize_client(HWND window, int dx, int dy)
{
    RECT outer = window_rect(window);
    ::SetWindowPos(window, nullptr, 0, 0, outer.right - outer.left + dx, outer.bottom - outer.top + dy,
                   SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
}

} // namespace

TEST(DialogFramework, AnchorsMoveAndSizeChildrenByTheChangeOfTheClientArea)
{
    // A resizable popup without controls: no menu, class or title follow the header.
    alignas(4) const struct {
        DLGTEMPLATE header;
        WORD menu, window_class, title;
    } form{{WS_POPUP | WS_CAPTION | WS_THICKFRAME | WS_VISIBLE, 0, 0, 0, 0, 200, 120}, 0, 0, 0};
    probe_dialog dialog;
    HWND window = ::CreateDialogIndirectParamW(nullptr, &form.header, nullptr, dialog_proc,
                                               reinterpret_cast<LPARAM>(&dialog));
    ASSERT_TRUE(window);
    const std::uint32_t flags[] = {0, anchor_move_x, anchor_move_y, anchor_size_x, anchor_size_y,
                                   anchor_size_x | anchor_size_y, anchor_move_x | anchor_move_y};
    std::vector<RECT> before;
    for (int i = 0; i < int(std::size(flags)); ++i) {
        HWND child = ::CreateWindowExW(0, L"Static", L"", WS_CHILD | WS_VISIBLE, 10 + i * 30, 10 + i * 15,
                                       25, 30, window, nullptr, nullptr, nullptr);
        dialog.layout.push_back({flags[i], child});
        before.push_back(window_rect(child));
    }
    const int initial_width = dialog.width;
    const int initial_height = dialog.height;
    // Each child against where the change of the client area since the
    // start puts it.
    auto check = [&](const char* step) {
        RECT client{};
        ::GetClientRect(window, &client);
        EXPECT_EQ(dialog.width, client.right) << step;
        const int dx = client.right - initial_width;
        const int dy = client.bottom - initial_height;
        for (std::size_t i = 0; i < std::size(flags); ++i) {
            RECT want = before[i];
            ::OffsetRect(&want, flags[i] & anchor_move_x ? dx : 0, flags[i] & anchor_move_y ? dy : 0);
            want.right += flags[i] & anchor_size_x ? dx : 0;
            want.bottom += flags[i] & anchor_size_y ? dy : 0;
            RECT now = window_rect(dialog.layout[i].window);
            EXPECT_TRUE(::EqualRect(&now, &want)) << step << ", flags " << flags[i];
        }
    };
    resize_client(window, 40, 30);
    ASSERT_EQ(dialog.width - initial_width, 40);
    check("grown");
    RECT client{};
    ::GetClientRect(window, &client);
    ::SendMessageW(window, WM_SIZE, SIZE_RESTORED, MAKELPARAM(client.right, client.bottom));
    check("the same size again");
    resize_client(window, -60, -45);
    check("shrunk below the first size");
    ::DestroyWindow(window);
}
