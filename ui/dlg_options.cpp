#include "ui/dlg_options.h"

#include "app/installer_context.h"
#include "app/language.h"
#include "resources/dialog_ids.h"
#include "resources/product.h"
#include "support/known_folder.h"
#include "support/unique_any.h"
#include "ui/folder_chooser.h"
#include "ui/message_box.h"
#include "ui/window_utilities.h"

#include <knownfolders.h>
#include <shlobj.h>

#include <utility>

dlg_options& dlg_options::instance()
{
    static dlg_options page;
    return page;
}

std::wstring typed_install_folder(const std::filesystem::path& base, const std::wstring& typed)
{
    std::filesystem::path folder(typed);
    if (!folder.is_absolute())
        folder = base / folder;
    return folder.lexically_normal().wstring();
}

void dlg_options::show_folder(const std::wstring& folder)
{
    bool previous = std::exchange(updating_text, true);
    set_text(item(IDC_FOLDER_EDIT), folder);
    updating_text = previous;
}

void dlg_options::on_init()
{
    auto& context = installer_context::instance();
    HRESULT result = S_OK;
    base_folder = vt::known_folder(FOLDERID_ProgramFiles, &result);
    if (base_folder.empty()) {
        message_box(system_error_text(DWORD(result), current_langid()),
                    context.caption(true), MB_OK | MB_ICONWARNING);
    }

    show_folder(context.install_folder);

    // An update or a reinstallation goes into the folder already installed.
    if (context.previous_state != 0) {
        ::EnableWindow(item(IDC_FOLDER_LABEL), FALSE);
        ::SendMessageW(item(IDC_FOLDER_EDIT), EM_SETREADONLY, TRUE, 0);
        ::EnableWindow(item(IDC_BROWSE), FALSE);
    }
    ::CheckDlgButton(hwnd, IDC_MENU_SHORTCUT, context.start_menu_shortcut ? BST_CHECKED : BST_UNCHECKED);
    ::CheckDlgButton(hwnd, IDC_DESKTOP_SHORTCUT, context.desktop_shortcut ? BST_CHECKED : BST_UNCHECKED);
}

void dlg_options::update_texts()
{
    set_text(item(IDC_FOLDER_GROUP), text(1010));
    set_text(item(IDC_FOLDER_LABEL), format_text(text(1111), {product_name(false)}));
    set_text(item(IDC_BROWSE), text(1008));
    set_text(item(IDC_MENU_SHORTCUT), text(1112));
    set_text(item(IDC_DESKTOP_SHORTCUT), text(1113));
    set_text(item(IDC_STATUS), format_text(text(1106), {text(1006)}));
}

void dlg_options::on_size(int cx, int cy)
{
    const anchor entries[] = {
        {anchor_size_x, item(IDC_FOLDER_GROUP)},
        {anchor_size_x, item(IDC_FOLDER_LABEL)},
        {anchor_size_x, item(IDC_FOLDER_EDIT)},
        {anchor_move_x, item(IDC_BROWSE)},
        {anchor_size_x, item(IDC_MENU_SHORTCUT)},
        {anchor_size_x, item(IDC_DESKTOP_SHORTCUT)},
        {anchor_move_y | anchor_size_x, item(IDC_STATUS)},
    };
    layout_children(cx, cy, entries);
}

bool dlg_options::on_command(unsigned id, unsigned code)
{
    auto& context = installer_context::instance();
    switch (id) {
    case IDC_MENU_SHORTCUT:
        context.start_menu_shortcut = ::IsDlgButtonChecked(hwnd, IDC_MENU_SHORTCUT) == BST_CHECKED;
        return true;
    case IDC_DESKTOP_SHORTCUT:
        context.desktop_shortcut = ::IsDlgButtonChecked(hwnd, IDC_DESKTOP_SHORTCUT) == BST_CHECKED;
        return true;
    case IDC_FOLDER_EDIT:
        // Any text is accepted here; whether the folder can be used shows
        // when the installation runs.
        if (code != EN_UPDATE || updating_text)
            return false;
        context.install_folder = typed_install_folder(base_folder, get_window_text(item(IDC_FOLDER_EDIT)));
        return true;
    case IDC_BROWSE:
        browse();
        return true;
    default:
        return false;
    }
}

void dlg_options::browse()
{
    auto& context = installer_context::instance();
    folder_chooser chooser;
    std::wstring folder = chooser.choose(context.install_folder, product_title(context.product_code),
                                         format_text(text(1111), {product_name(false)}));
    if (folder.empty())
        return; // cancelled: the folder stays
    context.install_folder = folder;
    show_folder(folder);
}
