// The folder chooser: the rule that proposes the product's folder inside the
// folder the user picks, the check of a typed folder, and the system's real
// folder browser under Wine, worked as a user works it.

#include "dialog_watch.h"
#include "support/unique_any.h"
#include "ui/folder_chooser.h"

#include <gtest/gtest.h>

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

} // namespace

TEST(FolderChooser, ProposesTheProductFolderInsideTheChosenParent)
{
    EXPECT_EQ(appended(L"D:\\Apps", L"Tablewright 8"), L"D:\\Apps\\Tablewright 8");
    EXPECT_EQ(appended(L"D:\\", L"Tablewright 8"), L"D:\\Tablewright 8");
    EXPECT_EQ(appended(L"D:\\Apps\\Tablewright 8", L"Tablewright 8"), L"D:\\Apps\\Tablewright 8");
    EXPECT_EQ(appended(L"D:\\Apps\\TABLEWRIGHT 8\\", L"Tablewright 8"), L"D:\\Apps\\TABLEWRIGHT 8\\");
    // Only what the path does not end with yet is added.
    EXPECT_EQ(appended(L"D:\\Apps\\Vantrel Software", L"Vantrel Software\\Tablewright 8"),
              L"D:\\Apps\\Vantrel Software\\Tablewright 8");
    EXPECT_EQ(appended(L"D:\\Vantrel", L"Vantrel Software\\Tablewright 8"),
              L"D:\\Vantrel\\Vantrel Software\\Tablewright 8");
    // A path that would not fit is left as it is.
    std::wstring long_path = L"D:\\" + std::wstring(250, L'x');
    EXPECT_EQ(appended(long_path, L"Tablewright 8"), long_path);
}

TEST(FolderChooser, QualifiesATypedFolderOrNamesTheError)
{
    std::wstring qualified;
    EXPECT_EQ(qualify_typed_folder(L"  C:\\Apps\\Tablewright 8\\  ", qualified), 0u);
    EXPECT_EQ(qualified, L"C:\\Apps\\Tablewright 8");
    EXPECT_EQ(qualify_typed_folder(L"C:\\Apps\\..\\Tools", qualified), 0u);
    EXPECT_EQ(qualified, L"C:\\Tools");

    wchar_t current[MAX_PATH] = {};
    ::GetCurrentDirectoryW(MAX_PATH, current);
    EXPECT_EQ(qualify_typed_folder(L"", qualified), 0u);
    EXPECT_EQ(qualified, current);

    qualified = L"unchanged";
    EXPECT_EQ(qualify_typed_folder(L"C:\\Apps\\Table*", qualified), DWORD(ERROR_BAD_PATHNAME));
    EXPECT_EQ(qualify_typed_folder(L"C:\\" + std::wstring(300, L'x'), qualified), 0x800700CEu);
    EXPECT_EQ(qualified, L"unchanged");
}

// The system's folder browser, on a folder tree of the test's own outside
// the profile folders, whose tree Wine fills differently.
TEST(FolderChooser, TheBrowserReturnsTheConfirmedFolder)
{
    const fs::path root = L"C:\\vt-folder-chooser";
    const std::wstring proposed = (root / L"Tools" / L"Tablewright 8").wstring();
    fs::remove_all(root);
    fs::create_directories(proposed);
    fs::create_directories(root / L"Apps");
    vt::com_scope com; // one COM life for both browsers
    // The first browser of a process under Wine sometimes cannot select
    // anything below My Computer, and Wine's browser loses its selection when
    // it learns late of folders made just before it opened: a browser opened
    // on another folder and closed once first makes the test see what the
    // user sees.
    {
        box_watcher cancel([](const seen_box&) { return IDCANCEL; });
        folder_chooser().choose((root / L"Apps").wstring(), L"", L"");
    }
    box_watcher user([](const seen_box&) { return IDOK; });
    folder_chooser chooser;
    EXPECT_EQ(chooser.choose(proposed, L"Tablewright 8", L"Choose"), proposed);
    // A relative start folder is no proposal: the browser opens elsewhere.
    EXPECT_EQ(chooser.choose(L"Tools", L"Tablewright 8", L"Choose").find(L"Tools\\Tablewright 8"),
              std::wstring::npos);
    fs::remove_all(root);
}
