// The uninstaller over the logs that real installations write: run in
// process after an installation on Wine's file system and registry, it
// removes what the log names, keeps shared data, waits for the product's
// other programs, and leaves a retry possible when a file is in use. (The
// built Uninstall.exe, which removes itself through a temporary copy, ends
// every whole-product scenario.)

#include "app/application_id.h"
#include "app/instance_counter.h"
#include "demo/uninstaller/log_check.h"
#include "demo/uninstaller/uninstaller.h"
#include "dialog_watch.h"
#include "installation_test.h"

using namespace payload_test;

namespace {

bool product_registered()
{
    return bool(vt::open_key(vt::registry_root::local_machine, uninstall_key));
}

std::optional<std::wstring> product_path_value()
{
    vt::unique_hkey maker = vt::open_key(vt::registry_root::local_machine, maker_key);
    return maker ? vt::read_string(maker.get(), L"Tablewright 8 Path") : std::nullopt;
}

class Uninstallation : public installation_test {
protected:
    void install()
    {
        ASSERT_TRUE(installation_test::install(product_files())) << std::string(view.log.begin(), view.log.end());
        ASSERT_TRUE(fs::exists(installed(L"Uninstall.ulog")));
    }
    fs::path start_menu_link() const { return fs::path(context.start_menu_folder) / L"Tablewright 8.11n.lnk"; }
    uninstall_result uninstall(bool silent = true) { return run_uninstaller({installed(L"Uninstall.exe"), silent}); }
};

} // namespace

TEST_F(Uninstallation, RemovesWhatTheInstallationMadeAndKeepsSharedData)
{
    context.desktop_shortcut = true;
    install();

    const fs::path desktop_link = public_desktop() / L"Tablewright 8.11n.lnk";
    ASSERT_TRUE(fs::exists(desktop_link));
    ASSERT_TRUE(fs::exists(start_menu_link()));
    ASSERT_EQ(product_path_value(), installed(L"Tablewright.exe").wstring());

    EXPECT_EQ(uninstall(), uninstall_done);

    // Every folder the installation created is gone with what it held; the
    // scratch root existed before and stays, empty.
    EXPECT_EQ(tree(root.path()), std::vector<std::wstring>{});
    EXPECT_FALSE(fs::exists(desktop_link));
    EXPECT_FALSE(fs::exists(samples_folder()));
    EXPECT_FALSE(fs::exists(textures.path() / L"Tablewright")) << "samples' textures go, and the folders made for them";
    EXPECT_FALSE(fs::exists(textures.path()));
    // Shared data stays for the maker's other products, in its folder.
    EXPECT_EQ(tree(shared_folder.path()), std::vector<std::wstring>{L"materials.twl"});

    EXPECT_FALSE(product_registered());
    EXPECT_FALSE(product_path_value());
    // The product's own registration of its file type is the product's.
    EXPECT_TRUE(vt::open_key(vt::registry_root::classes_root, L".twp"));
}

TEST_F(Uninstallation, AFileInUseKeepsTheUninstallerItsLogAndTheKeyForAnotherRun)
{
    install();
    HANDLE in_use = ::CreateFileW(installed(L"Lang\\Tablewright_de.dll").c_str(), GENERIC_READ, 0, nullptr,
                                  OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(in_use, INVALID_HANDLE_VALUE);
    EXPECT_EQ(uninstall(), uninstall_incomplete);
    ::CloseHandle(in_use);

    EXPECT_EQ(tree(installed(L"")), (std::vector<std::wstring>{L"Lang", L"Lang\\Tablewright_de.dll",
                                                               L"Uninstall.exe", L"Uninstall.ulog"}));
    EXPECT_TRUE(product_registered());
    EXPECT_FALSE(fs::exists(samples_folder()));

    // Once the file is free, the same log finishes the work.
    EXPECT_EQ(uninstall(), uninstall_done);
    EXPECT_TRUE(tree(root.path()).empty());
    EXPECT_FALSE(product_registered());
}

TEST_F(Uninstallation, WaitsWhileAnotherProgramOfTheProductRuns)
{
    install();
    {
        // Another program of the product, counted as every one is.
        instance_counter other(L"Global\\" + application_id() + L".{a3526b56-ca7c-4e16-8a26-da7758a378fd}");
        EXPECT_EQ(uninstall(true), uninstall_product_running);
        std::vector<seen_box> boxes;
        box_watcher watcher([&boxes](const seen_box& box) {
            boxes.push_back(box);
            return box.buttons.size() == 2 && box.buttons[0] == IDYES ? IDYES : IDCANCEL;
        });
        EXPECT_EQ(uninstall(false), uninstall_cancelled);
        ASSERT_EQ(boxes.size(), 2u);
        EXPECT_EQ(boxes[1].text, L"You should close 'Tablewright' before continuing Uninstallation.");
        EXPECT_EQ(boxes[1].buttons, (std::vector<int>{IDRETRY, IDCANCEL}));
    }
    EXPECT_TRUE(fs::exists(installed(L"Tablewright.exe")));
    EXPECT_EQ(uninstall(true), uninstall_done);
}

// An unmade link is logged not done and without a path: the log is sound.
// A not-done line that names a path is checked like any other: doctored to
// name a file outside the installation's folders, the log is refused and
// the file stays.
TEST_F(Uninstallation, AnUnmadeLinkHasNoPathAndANotDoneLineWithOneIsChecked)
{
    install();
    const fs::path log = installed(L"Uninstall.ulog");
    const std::string written = read_file(log);
    const auto log_with = [&](const std::wstring& added) {
        ::SetFileAttributesW(log.c_str(), FILE_ATTRIBUTE_NORMAL);
        write_file(log, written + std::string(reinterpret_cast<const char*>(added.data()), added.size() * 2));
    };
    const fs::path victim = root.path() / L"notes.txt";
    write_file(victim, "the user's");
    log_with(L"9998:04ff:0 -- " + victim.wstring() + L"\r\n");
    EXPECT_EQ(uninstall(), uninstall_damaged_log);
    EXPECT_EQ(read_file(victim), "the user's");

    log_with(L"9999:04ff:0 -- \r\n");
    EXPECT_EQ(uninstall(), uninstall_done);
}

TEST(UninstallLog, PathRules)
{
    EXPECT_TRUE(is_plain_absolute_path(L"C:\\Program Files\\Vantrel Software\\Tablewright 8\\Tablewright.exe"));
    EXPECT_TRUE(is_plain_absolute_path(L"\\\\server\\share\\Tablewright 8"));
    for (const wchar_t* bad : {L"", L"C:", L"C:\\", L"Tablewright.exe", L"\\Tablewright.exe", L"C:relative\\x",
                               L"C:\\P\\..\\Windows", L"C:\\P\\.\\x", L"C:\\P\\x:stream", L"\\\\?\\C:\\P\\x",
                               L"\\\\.\\PhysicalDrive0", L"C:\\P\\*.*", L"C:\\P\\a\tb"})
        EXPECT_FALSE(is_plain_absolute_path(bad)) << std::wstring(bad).size();

    EXPECT_TRUE(lies_below(L"C:\\Program Files\\Tablewright 8\\x.dll", L"c:\\program files\\TABLEWRIGHT 8"));
    EXPECT_TRUE(lies_below(L"C:\\P\\a\\b", L"C:\\P\\"));
    EXPECT_FALSE(lies_below(L"C:\\P", L"C:\\P"));
    EXPECT_FALSE(lies_below(L"C:\\Program Files\\Tablewright 8X\\x.dll", L"C:\\Program Files\\Tablewright 8"));
    EXPECT_FALSE(lies_below(L"D:\\P\\x", L"C:\\P"));
}
