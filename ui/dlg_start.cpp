#include "ui/dlg_start.h"

#include "app/installer_context.h"
#include "app/language.h"
#include "resources/dialog_ids.h"
#include "resources/product.h"
#include "support/unique_any.h"
#include "support/version_info.h"
#include "ui/change_language.h"
#include "ui/dpi.h"
#include "ui/pictures.h"
#include "ui/window_utilities.h"

#include <algorithm>

dlg_start& dlg_start::instance()
{
    static dlg_start page;
    return page;
}

std::array<unsigned, 20> offered_languages()
{
    std::array<unsigned, 20> order{};
    for (unsigned index = 0; index < language_count; ++index)
        if (int position = language_table[index].list_position; position > 0)
            order[std::size_t(position - 1)] = index;
    return order;
}

std::wstring native_language_name(unsigned index)
{
    wchar_t name[128] = {};
    if (!::GetLocaleInfoW(language_lcid(index), LOCALE_SNATIVELANGNAME, name, 128))
        name[0] = L'\0';
    if (name[0] != L'\0')
        ::CharUpperBuffW(name, DWORD(::CharNextW(name) - name));
    return name;
}

// Image i is the flag of the list's entry i; one that cannot be loaded stays
// blank, so that the others keep their places.
void dlg_start::show_flags(unsigned dpi)
{
    const int flag_width = scale_dpi(16, base_dpi, dpi);
    const int flag_height = scale_dpi(12, base_dpi, dpi);
    const auto languages = offered_languages();
    vt::unique_any<HIMAGELIST, ImageList_Destroy> images(
        ImageList_Create(scale_dpi(18, base_dpi, dpi), flag_height, ILC_COLOR24, int(languages.size()), 1));
    if (!images)
        return;
    ImageList_SetImageCount(images.get(), UINT(languages.size()));
    HMODULE module = language_settings::instance().resource_module();
    int position = 0;
    for (unsigned index : languages) {
        vt::unique_icon flag = load_icon(module, language_table[index].flag_icon, flag_width, flag_height);
        if (flag)
            ImageList_ReplaceIcon(images.get(), position, flag.get());
        ++position;
    }
    ::SendMessageW(item(IDC_LANGUAGE_LIST), CBEM_SETIMAGELIST, 0, reinterpret_cast<LPARAM>(images.get()));
    flag_images = std::move(images); // the list no longer shows the old ones
}

void dlg_start::on_init()
{
    show_flags(window_dpi(hwnd));

    HWND list = item(IDC_LANGUAGE_LIST);
    unsigned current = language_settings::instance().language;
    LRESULT selected = -1;
    INT_PTR next_position = 0;
    for (unsigned index : offered_languages()) {
        std::wstring name = native_language_name(index);
        int image = int(next_position);

        COMBOBOXEXITEMW entry{};
        entry.mask = CBEIF_TEXT | CBEIF_IMAGE | CBEIF_SELECTEDIMAGE | CBEIF_LPARAM;
        entry.iItem = next_position++;
        entry.pszText = name.data();
        entry.iImage = image;
        entry.iSelectedImage = image;
        entry.lParam = LPARAM(index);
        LRESULT position = ::SendMessageW(list, CBEM_INSERTITEMW, 0, reinterpret_cast<LPARAM>(&entry));
        if (index == current)
            selected = position;
    }
    if (HWND combo = reinterpret_cast<HWND>(::SendMessageW(list, CBEM_GETCOMBOCONTROL, 0, 0)))
        ::SetWindowLongW(combo, GWL_STYLE, ::GetWindowLongW(combo, GWL_STYLE) & ~CBS_NOINTEGRALHEIGHT);
    // No selection when the current language is not offered.
    ::SendMessageW(list, CB_SETCURSEL, WPARAM(selected), 0);
}

void dlg_start::update_texts()
{
    auto& context = installer_context::instance();
    set_text(item(IDC_LANGUAGE_LABEL), text(1014));
    set_text(item(IDC_COPYRIGHT), vt::version_info::own().string_value(L"LegalCopyright"));

    std::wstring product = product_name(true);
    std::wstring installed;
    std::wstring information;
    std::wstring status;
    switch (context.previous_installation(&installed)) {
    case 1: // the same version: reinstallation
        information = format_text(text(1102), {product}) + L"\n" + text(1104);
        status = format_text(text(1105), {text(1006), text(1002)});
        break;
    case 2: // an older version: update
        information = format_text(text(1101), {installed, product});
        status = format_text(text(1106), {text(1006)});
        break;
    case -1: // a newer version: nothing to do but leave
        information = format_text(text(1100), {product}) + L"\n" + format_text(text(1103), {installed});
        status = format_text(text(1107), {text(1002)});
        break;
    default: // nothing installed
        information = format_text(text(1100), {product});
        status = format_text(text(1106), {text(1006)});
        break;
    }
    set_text(item(IDC_INFORMATION), information);
    set_text(item(IDC_STATUS), status);
}

void dlg_start::on_size(int cx, int cy)
{
    const anchor entries[] = {
        {anchor_size_x, item(IDC_LANGUAGE_LIST)},
        {anchor_size_x, item(IDC_COPYRIGHT)},
        {anchor_size_x | anchor_size_y, item(IDC_INFORMATION)},
        {anchor_move_y | anchor_size_x, item(IDC_STATUS)},
    };
    layout_children(cx, cy, entries);
}

bool dlg_start::on_command(unsigned id, unsigned code)
{
    if (id != IDC_LANGUAGE_LIST || code != CBN_SELCHANGE)
        return false;
    HWND list = item(IDC_LANGUAGE_LIST);
    LRESULT position = ::SendMessageW(list, CB_GETCURSEL, 0, 0);
    if (position == CB_ERR)
        return true;
    COMBOBOXEXITEMW entry{};
    entry.mask = CBEIF_LPARAM;
    entry.iItem = position;
    if (!::SendMessageW(list, CBEM_GETITEMW, 0, reinterpret_cast<LPARAM>(&entry)))
        return true;
    change_language(unsigned(entry.lParam));
    return true;
}
