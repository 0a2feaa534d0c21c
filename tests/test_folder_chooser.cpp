// The folder chooser: the rule that proposes the product's folder inside the
// folder the user picks, the check of a typed folder, and the system's real
// folder browser under Wine, worked as a user works it.

#include "app/language.h"
#include "dialog_watch.h"
#include "support/unique_any.h"
#include "ui/folder_chooser.h"
#include "ui/message_box.h"
#include "ui/window_utilities.h"

#include <commctrl.h>
#include <gtest/gtest.h>
#include <shlobj.h>

#include <filesystem>
#include <string>

namespace fs = std::filesystem;

namespace {

std::wstring appended(const std::wstring& path, const std::wstring& product)
{
    folder_chooser chooser;
    chooser.product_folder = product;
    std::wstring result = path;
    chooser.append_product_folder(result);
    return result;
}

BOOL CALLBACK find_class(HWND child, LPARAM param)
{
    auto search = reinterpret_cast<std::pair<const wchar_t*, HWND>*>(param);
    wchar_t name[64] = {};
    ::GetClassNameW(child, name, 64);
    if (::lstrcmpiW(name, search->first) != 0)
        return TRUE;
    search->second = child;
    return FALSE;
}

HWND child_of_class(HWND parent, const wchar_t* name)
{
    std::pair<const wchar_t*, HWND> search{name, nullptr};
    ::EnumChildWindows(parent, find_class, reinterpret_cast<LPARAM>(&search));
    return search.second;
}

std::wstring selected_tree_item(HWND browser)
{
    HWND tree = child_of_class(browser, WC_TREEVIEWW);
    auto item = reinterpret_cast<HTREEITEM>(::SendMessageW(tree, TVM_GETNEXTITEM, TVGN_CARET, 0));
    wchar_t text[MAX_PATH] = {};
    TVITEMW query{};
    query.mask = TVIF_TEXT;
    query.hItem = item;
    query.pszText = text;
    query.cchTextMax = MAX_PATH;
    ::SendMessageW(tree, TVM_GETITEMW, 0, reinterpret_cast<LPARAM>(&query));
    return text;
}

// A folder tree of the test's own, made once: Wine's browser refreshes its
// tree, and loses its selection, when it learns late of folders made or
// removed just before it opened.
class Browser : public ::testing::Test {
protected:
    static void SetUpTestSuite()
    {
        fs::remove_all(root());
        fs::create_directories(root() / L"Apps");
        fs::create_directories(root() / L"Tools" / L"Tablewright 8");
        // The first browser of a process under Wine sometimes cannot select
        // anything below My Computer; a browser opened and closed once first
        // makes the tests see what the user sees.
        ::CoInitialize(nullptr);
        dialog_script close([](HWND browser) { ::SendMessageW(browser, WM_COMMAND, IDCANCEL, 0); });
        folder_chooser().choose(path(L"Apps"), L"", L"");
        ::CoUninitialize();
    }
    static void TearDownTestSuite() { fs::remove_all(root()); }
    void SetUp() override { ::CoInitialize(nullptr); }
    void TearDown() override { ::CoUninitialize(); }

    // Outside the profile folders, whose tree Wine fills differently.
    static fs::path root() { return L"C:\\vt-folder-chooser"; }
    static std::wstring path(const wchar_t* relative) { return (root() / relative).wstring(); }
};

} // namespace

TEST(FolderChooser, ProposesTheProductFolderInsideTheChosenParent)
{
    EXPECT_EQ(appended(L"D:\\Apps", L"Tablewright 8"), L"D:\\Apps\\Tablewright 8");
    EXPECT_EQ(appended(L"D:\\Apps\\", L"Tablewright 8"), L"D:\\Apps\\Tablewright 8");
    EXPECT_EQ(appended(L"D:\\", L"Tablewright 8"), L"D:\\Tablewright 8");
    EXPECT_EQ(appended(L"D:\\Apps\\Tablewright 8", L"Tablewright 8"), L"D:\\Apps\\Tablewright 8");
    EXPECT_EQ(appended(L"D:\\Apps\\TABLEWRIGHT 8\\", L"Tablewright 8"), L"D:\\Apps\\TABLEWRIGHT 8\\");
    // Only what the path does not end with yet is added.
    EXPECT_EQ(appended(L"D:\\Apps\\Vantrel Software", L"Vantrel Software\\Tablewright 8"),
              L"D:\\Apps\\Vantrel Software\\Tablewright 8");
    EXPECT_EQ(appended(L"D:\\Apps\\Vantrel Software\\Tablewright 8", L"Vantrel Software\\Tablewright 8"),
              L"D:\\Apps\\Vantrel Software\\Tablewright 8");
    EXPECT_EQ(appended(L"D:\\Vantrel", L"Vantrel Software\\Tablewright 8"),
              L"D:\\Vantrel\\Vantrel Software\\Tablewright 8");
    EXPECT_EQ(appended(L"D:\\Apps", L""), L"D:\\Apps");
    // A path that would not fit is left as it is.
    std::wstring long_path = L"D:\\" + std::wstring(250, L'x');
    EXPECT_EQ(appended(long_path, L"Tablewright 8"), long_path);
}

TEST(FolderChooser, QualifiesATypedFolderOrNamesTheError)
{
    std::wstring qualified;
    EXPECT_EQ(qualify_typed_folder(L"  C:\\Apps\\Tablewright 8\\  ", qualified), 0u);
    EXPECT_EQ(qualified, L"C:\\Apps\\Tablewright 8");
    EXPECT_EQ(qualify_typed_folder(L"D:", qualified), 0u);
    EXPECT_EQ(qualified, L"D:\\");
    EXPECT_EQ(qualify_typed_folder(L"C:\\Apps\\..\\Tools", qualified), 0u);
    EXPECT_EQ(qualified, L"C:\\Tools");

    wchar_t current[MAX_PATH] = {};
    ::GetCurrentDirectoryW(MAX_PATH, current);
    EXPECT_EQ(qualify_typed_folder(L"", qualified), 0u);
    EXPECT_EQ(qualified, current);

    qualified = L"unchanged";
    EXPECT_EQ(qualify_typed_folder(L"C:\\Apps\\Table*", qualified), DWORD(ERROR_BAD_PATHNAME));
    EXPECT_EQ(qualify_typed_folder(L"C:\\Apps\\Table?", qualified), DWORD(ERROR_BAD_PATHNAME));
    EXPECT_EQ(qualify_typed_folder(L"C:\\" + std::wstring(300, L'x'), qualified), 0x800700CEu);
    EXPECT_EQ(qualified, L"unchanged");
}

TEST_F(Browser, ProposesTheFullFolderAndSelectsItsDeepestExistingParent)
{
    std::wstring shown, tree_item, after_own, after_parent;
    dialog_script user([&](HWND browser) {
        HWND edit = child_of_class(browser, L"Edit");
        shown = get_window_text(edit);
        tree_item = selected_tree_item(browser);
        // Clicking a folder that already is the product's keeps it; clicking
        // a parent folder proposes the product's folder inside it.
        ::SendMessageW(browser, BFFM_SETSELECTIONW, TRUE,
                       reinterpret_cast<LPARAM>(path(L"Tools\\Tablewright 8").c_str()));
        after_own = get_window_text(edit);
        ::SendMessageW(browser, BFFM_SETSELECTIONW, TRUE, reinterpret_cast<LPARAM>(path(L"Apps").c_str()));
        after_parent = get_window_text(edit);
        ::SendMessageW(browser, WM_COMMAND, IDCANCEL, 0);
    });
    folder_chooser chooser;
    std::wstring chosen = chooser.choose(path(L"Apps\\New\\Tablewright 8"), L"Tablewright 8", L"Choose");
    EXPECT_EQ(user.boxes_seen(), 1);
    EXPECT_EQ(shown, path(L"Apps\\New\\Tablewright 8"));
    EXPECT_EQ(tree_item, L"Apps");
    EXPECT_EQ(after_own, path(L"Tools\\Tablewright 8"));
    EXPECT_EQ(after_parent, path(L"Apps\\Tablewright 8"));
    EXPECT_EQ(chosen, L"") << "cancelled";
}

TEST_F(Browser, ConfirmingAnExistingFolderReturnsIt)
{
    dialog_script user([](HWND browser) { ::SendMessageW(browser, WM_COMMAND, IDOK, 0); });
    folder_chooser chooser;
    EXPECT_EQ(chooser.choose(path(L"Tools\\Tablewright 8"), L"Tablewright 8", L"Choose"),
              path(L"Tools\\Tablewright 8"));
    // A relative start folder is no proposal: the browser opens elsewhere.
    EXPECT_EQ(chooser.choose(L"Tools", L"Tablewright 8", L"Choose").find(L"Tools\\Tablewright 8"),
              std::wstring::npos);
}

TEST_F(Browser, CancellingChoosesNothing)
{
    dialog_script user([](HWND browser) { ::SendMessageW(browser, WM_COMMAND, IDCANCEL, 0); });
    folder_chooser chooser;
    EXPECT_EQ(chooser.choose(path(L"Apps"), L"Tablewright 8", L"Choose"), L"");
}

// When the user confirms a text that names no existing folder, the system's
// browser asks the chooser (BFFM_VALIDATEFAILEDW). Wine's browser never asks
// (it returns the selected tree item), so the test asks as the browser would.
TEST_F(Browser, ARejectedTypedFolderIsCheckedAndKeptOrExplained)
{
    std::vector<seen_box> refusals;
    int wildcard_answer = -1, typed_answer = -1;
    folder_chooser chooser;
    dialog_script user([&](HWND box) {
        if (!child_of_class(box, WC_TREEVIEWW)) { // the refusal
            refusals.push_back(read_box(box));
            ::SendMessageW(box, WM_COMMAND, IDOK, 0);
            return;
        }
        std::wstring wildcard = path(L"Apps\\Table*");
        wildcard_answer = folder_chooser::browse_callback(box, BFFM_VALIDATEFAILEDW,
                                                          reinterpret_cast<LPARAM>(wildcard.c_str()),
                                                          reinterpret_cast<LPARAM>(&chooser));
        std::wstring typed = L"  " + path(L"Apps\\Typed Folder\\") + L" ";
        typed_answer = folder_chooser::browse_callback(box, BFFM_VALIDATEFAILEDW,
                                                       reinterpret_cast<LPARAM>(typed.c_str()),
                                                       reinterpret_cast<LPARAM>(&chooser));
        ::SendMessageW(box, WM_COMMAND, IDOK, 0);
    });
    std::wstring chosen = chooser.choose(path(L"Apps"), L"Tablewright 8", L"Choose");
    EXPECT_EQ(wildcard_answer, 1) << "the browser stays open";
    ASSERT_EQ(refusals.size(), 1u);
    // In the installer's language, as every message.
    EXPECT_EQ(refusals[0].text,
              system_error_text(ERROR_BAD_PATHNAME, LANGIDFROMLCID(language_settings::instance().lcid)));
    EXPECT_TRUE(refusals[0].has_icon);
    EXPECT_EQ(typed_answer, 0) << "a valid text closes the browser";
    EXPECT_TRUE(chooser.typed);
    EXPECT_EQ(chosen, path(L"Apps\\Typed Folder")) << "the typed folder, not the selected one";
}
