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
