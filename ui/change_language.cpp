#include "ui/change_language.h"

#include "app/installer_context.h"
#include "app/language.h"
#include "resources/product.h"
#include "ui/dlg_main.h"
#include "ui/message_box.h"

void change_language(unsigned index)
{
    set_language(index);
    if (!installer_translated(index))
        message_box(format_text(text(1129), {product_name(false)}), installer_context::instance().caption(true),
                    MB_ICONINFORMATION);
    dlg_main::instance().update_texts();
}
