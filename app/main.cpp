#include "app/installer_context.h"
#include "app/language.h"
#include "app/startup.h"
#include "resources/resource_ids.h"
#include "support/unique_any.h"
#include "ui/message_box.h"

#include <windows.h>

namespace {

// Until the wizard opens, show what the start-up settled.
void show_settled_state(installer_context& context)
{
    const auto& settings = language_settings::instance();
    std::wstring summary = L"Language: " + std::wstring(language_table[settings.language].english_name) +
                           L"\nInstallation folder: " + context.install_folder +
                           L"\nStart-menu folder: " + context.start_menu_folder;
    message_box(summary, context.caption(true), MB_OK | MB_ICONINFORMATION);
}

} // namespace

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, PWSTR, int)
{
    if (auto exit_code = start_process())
        return *exit_code;

    vt::unique_icon icon(static_cast<HICON>(
        ::LoadImageW(instance, MAKEINTRESOURCEW(IDI_APPLICATION_ICON), IMAGE_ICON, 0, 0, LR_DEFAULTCOLOR)));
    ui_settings::instance().icon_provider = [&icon] { return icon.get(); };

    auto& context = installer_context::instance();
    if (context.initialise())
        show_settled_state(context);
    ui_settings::instance().icon_provider = nullptr;
    return 0;
}
