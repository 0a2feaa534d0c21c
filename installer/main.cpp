#include "app/installer_context.h"
#include "app/language.h"
#include "app/startup.h"
#include "resources/dialog_ids.h"
#include "resources/resource_ids.h"
#include "support/unique_any.h"
#include "ui/basic_dialog.h"
#include "ui/dlg_main.h"
#include "ui/message_box.h"

#include <windows.h>

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, PWSTR, int)
{
    if (auto exit_code = start_process())
        return *exit_code;

    vt::unique_icon icon(static_cast<HICON>(
        ::LoadImageW(instance, MAKEINTRESOURCEW(IDI_APPLICATION_ICON), IMAGE_ICON, 0, 0, LR_DEFAULTCOLOR)));
    ui_settings::instance().icon_provider = [&icon] { return icon.get(); };

    // Start-up speaks through the wizard's message box too.
    installer_context& context = installer_context::instance();
    context.message_box = [](const std::wstring& text, const std::wstring& caption, UINT style) {
        return message_box(text, caption, style);
    };
    // The whole wizard runs inside the frame's modal loop; what it returns
    // does not change the exit code.
    if (context.initialise())
        ::DialogBoxParamW(language_settings::instance().resource_module(), MAKEINTRESOURCEW(IDD_MAIN), nullptr,
                          dialog_proc, reinterpret_cast<LPARAM>(&dlg_main::instance()));
    ui_settings::instance().icon_provider = nullptr;
    return 0;
}
