#include "ui/about_box.h"

#include "app/language.h"
#include "app/version_text.h"
#include "resources/dialog_ids.h"
#include "support/error.h"
#include "support/version_info.h"
#include "ui/window_utilities.h"

INT_PTR show_about_box(HWND owner)
{
    return ::DialogBoxParamW(language_settings::instance().resource_module(), MAKEINTRESOURCEW(IDD_ABOUT), owner,
                             about_box_proc, 0);
}

INT_PTR CALLBACK about_box_proc(HWND box, UINT message, WPARAM wparam, LPARAM)
{
    // A text that cannot be made leaves the box as its template has it.
    return vt::exception_barrier(INT_PTR(FALSE), [&]() -> INT_PTR {
        switch (message) {
        case WM_INITDIALOG: {
            std::wstring caption = format_text(text(1003), {text(1000)});
            if (!caption.empty())
                set_text(box, caption);
            const auto& own = vt::version_info::own();
            set_text(::GetDlgItem(box, IDC_ABOUT_VERSION), version_text(own));
            set_text(::GetDlgItem(box, IDC_ABOUT_COPYRIGHT), own.string_value(L"LegalCopyright"));
            set_text(::GetDlgItem(box, IDOK), text(1001));

            if (HWND owner = ::GetWindow(box, GW_OWNER)) {
                RECT outer = window_rect(owner);
                RECT rect = window_rect(box);
                ::OffsetRect(&rect, ((outer.left + outer.right) - (rect.left + rect.right)) / 2,
                             ((outer.top + outer.bottom) - (rect.top + rect.bottom)) / 2);
                fit_rect_on_monitor(rect, 50);
                set_window_rect(box, rect);
            }
            return TRUE;
        }
        case WM_COMMAND:
            if (LOWORD(wparam) == IDOK || LOWORD(wparam) == IDCANCEL) {
                ::EndDialog(box, LOWORD(wparam));
                return TRUE;
            }
            break;
        default:
            break;
        }
        return FALSE;
    });
}
