#include "ui/dlg_end.h"

#include "app/language.h"
#include "resources/dialog_ids.h"
#include "ui/window_utilities.h"

dlg_end& dlg_end::instance()
{
    static dlg_end page;
    return page;
}

void dlg_end::update_texts()
{
    set_text(item(IDC_INFORMATION), L"");
    set_text(item(IDC_STATUS), format_text(text(1107), {text(1004)}));
}

void dlg_end::on_size(int cx, int cy)
{
    const anchor entries[] = {
        {anchor_size_x | anchor_size_y, item(IDC_INFORMATION)},
        {anchor_move_y | anchor_size_x, item(IDC_STATUS)},
    };
    layout_children(cx, cy, entries);
}

void dlg_end::show_result()
{
    set_text(item(IDC_INFORMATION), text(1120));
}
