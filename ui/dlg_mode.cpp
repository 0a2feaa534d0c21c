#include "ui/dlg_mode.h"

#include "app/installer_context.h"
#include "app/language.h"
#include "resources/dialog_ids.h"
#include "ui/window_utilities.h"

dlg_mode& dlg_mode::instance()
{
    static dlg_mode page;
    return page;
}

void dlg_mode::on_init()
{
    ::CheckRadioButton(hwnd, IDC_QUICK, IDC_ADVANCED,
                       installer_context::instance().advanced_mode ? IDC_ADVANCED : IDC_QUICK);
}

void dlg_mode::update_texts()
{
    set_text(item(IDC_MODE_GROUP), text(1015));
    set_text(item(IDC_QUICK), text(1016));
    set_text(item(IDC_ADVANCED), text(1017));
    set_text(item(IDC_STATUS), format_text(text(1106), {text(1006)}));
}

void dlg_mode::on_size(int cx, int cy)
{
    const anchor entries[] = {
        {anchor_size_x, item(IDC_MODE_GROUP)},
        {anchor_size_x, item(IDC_QUICK)},
        {anchor_size_x, item(IDC_ADVANCED)},
        {anchor_move_y | anchor_size_x, item(IDC_STATUS)},
    };
    layout_children(cx, cy, entries);
}

bool dlg_mode::on_command(unsigned, unsigned)
{
    // Whatever the page reports, the choice is what the buttons show.
    installer_context::instance().advanced_mode = ::IsDlgButtonChecked(hwnd, IDC_ADVANCED) == BST_CHECKED;
    return true;
}
