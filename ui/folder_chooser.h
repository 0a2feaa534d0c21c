#pragma once
// The system's folder browser, run once for the options page's Browse
// button. It proposes the product's own folder inside whatever parent the
// user clicks, and accepts a typed folder that does not exist yet.

#include "support/unique_any.h"

#include <windows.h>

#include <optional>
#include <string>

class folder_chooser {
public:
    folder_chooser() = default;
    folder_chooser(const folder_chooser&) = delete;
    folder_chooser& operator=(const folder_chooser&) = delete;

    // The chosen folder, or empty when the user cancels. start: the folder
    // proposed first; product: the product's folder name, appended to the
    // parent folder the user picks; title: the text above the folder tree.
    std::wstring choose(const std::wstring& start, const std::wstring& product, const std::wstring& title);

    // Appends product_folder to path unless path already ends with it; when
    // path ends with a leading part of it, only the rest is appended.
    void append_product_folder(std::wstring& path) const;

    static int CALLBACK browse_callback(HWND browser, UINT message, LPARAM lparam, LPARAM data);

    std::wstring selected;
    std::wstring product_folder;
    std::wstring title;
    HWND edit = nullptr;
    bool com_initialised = false;
    // Holds COM from the first choose() to the chooser's end.
    std::optional<vt::com_scope> com;
    bool initialised = false;
    bool typed = false;
};

// Checks a folder typed into the browser's edit box: blanks and a trailing
// backslash are removed, an empty text means the current directory, and the
// result is made a full path. 0 and the full path, or the error code.
DWORD qualify_typed_folder(const std::wstring& text, std::wstring& qualified);
