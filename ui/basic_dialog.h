#pragma once
// The dialog framework of the wizard: every window of the wizard is a dialog
// template driven by an object derived from basic_dialog. dialog_proc binds
// the object to its window and routes the few messages the wizard uses to the
// object's virtual operations; layout_children moves the children by anchor
// flags when the window is resized.

#include <windows.h>

#include <cstdint>
#include <span>

// How a child follows a change (dx, dy) of its parent's client size.
inline constexpr std::uint32_t anchor_move_x = 1; // follows the right edge
inline constexpr std::uint32_t anchor_move_y = 2; // follows the bottom edge
inline constexpr std::uint32_t anchor_size_x = 4; // widens with the parent
inline constexpr std::uint32_t anchor_size_y = 8; // grows downwards with the parent

struct anchor {
    std::uint32_t flags;
    HWND window;
};

class basic_dialog {
public:
    basic_dialog() = default;
    basic_dialog(const basic_dialog&) = delete;
    basic_dialog& operator=(const basic_dialog&) = delete;
    virtual ~basic_dialog() = default;

    // (Re)applies every localised text of the window: at start and after each
    // change of language.
    virtual void update_texts() = 0;
    virtual void on_init() {}
    virtual void on_destroy() {}
    // The new client size; each window lays out its children here.
    virtual void on_size(int cx, int cy) = 0;
    virtual void on_min_max_info(MINMAXINFO&) {}
    // The window's monitor has another scale now (it moved, or the user
    // changed the setting): dpi and the system's suggested outer rectangle.
    virtual void on_dpi_changed(unsigned, const RECT&) {}
    // A command of a control or menu; false leaves it to the dialog manager.
    virtual bool on_command(unsigned id, unsigned code);
    // A system-menu command with its low four bits cleared; false lets the
    // system perform it.
    virtual bool on_sys_command(unsigned command);
    // The window is asked to close (WM_CLOSE); false lets the dialog manager
    // turn it into the Cancel command (id 2).
    virtual bool on_close();

    // With a parent: creates the window modeless and returns its handle (0 on
    // failure). Without: runs it modal and returns what EndDialog was given.
    INT_PTR create(HWND parent, unsigned template_id);

    // Moves and sizes the listed children for the new client size (cx, cy)
    // by the difference from the size of the previous layout, in one batch.
    void layout_children(int cx, int cy, std::span<const anchor> entries);

    HWND item(int id) const { return ::GetDlgItem(hwnd, id); }

    HWND hwnd = nullptr; // bound from WM_INITDIALOG to WM_DESTROY
    int width = 0;       // client size of the last layout
    int height = 0;
};

// The one dialog procedure of all wizard windows; the creation parameter is
// the window's basic_dialog object.
INT_PTR CALLBACK dialog_proc(HWND window, UINT message, WPARAM wparam, LPARAM lparam);
