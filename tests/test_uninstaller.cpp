// The uninstaller over the logs that real installations write: run in
// process after an installation on Wine's file system and registry, it
// removes what the log names and nothing else, keeps shared data, asks in the
// product's language, stops at a damaged log, and leaves a retry possible
// when a file is in use. The last group starts the built Uninstall.exe, which
// removes its own file and folder through its temporary copy.

#include "app/application_id.h"
#include "app/installer_context.h"
#include "app/instance_counter.h"
#include "app/language.h"
#include "resources/product.h"
#include "demo/uninstaller/log_check.h"
#include "demo/uninstaller/removal.h"
#include "demo/uninstaller/uninstall_log_reader.h"
#include "demo/uninstaller/uninstaller.h"
#include "dialog_watch.h"
#include "engine/installation_sequence.h"
#include "payload/file_utils.h"
#include "payload_test_support.h"
#include "support/known_folder.h"
#include "support/memstream.h"
#include "support/registry.h"
#include "support/txtf_stream.h"

#include <gtest/gtest.h>

#include <knownfolders.h>

#include <algorithm>
#include <chrono>
#include <sstream>
#include <thread>

using namespace payload_test;
using namespace std::chrono_literals;

namespace {

const std::wstring uninstall_key = L"Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\Tablewright 8";

class silent_view final : public installation_view {
public:
    void append_log(const std::wstring& text) override { log += text; }
    void set_status(const std::wstring&) override {}
    void show_progress() override {}
    void set_progress(unsigned) override {}
    HWND owner() const override { return nullptr; }
    std::wstring log;
};

std::string built(const wchar_t* relative)
{
    return read_file(fs::path(build_folder()) / relative);
}

std::wstring public_desktop()
{
    return vt::known_folder(FOLDERID_PublicDesktop);
}

std::wstring read_log_text(const fs::path& file)
{
    vt::txtf::wifstream in(file, vt::txtf::encoding_automatic);
    std::wostringstream text;
    text << in.rdbuf();
    return text.str();
}

void write_log_text(const fs::path& file, const std::wstring& text)
{
    ::SetFileAttributesW(file.c_str(), FILE_ATTRIBUTE_NORMAL);
    vt::txtf::wofstream out(file, vt::txtf::encoding_utf16, std::ios_base::binary | std::ios_base::trunc);
    out << text;
}

std::wstring replaced(std::wstring text, const std::wstring& from, const std::wstring& to)
{
    const auto at = text.find(from);
    EXPECT_NE(at, std::wstring::npos) << "the log has no text to replace";
    if (at != std::wstring::npos)
        text.replace(at, from.size(), to);
    return text;
}

bool product_registered()
{
    return bool(vt::open_key(vt::registry_root::local_machine, uninstall_key));
}

std::optional<std::wstring> product_path_value()
{
    vt::unique_hkey maker = vt::open_key(vt::registry_root::local_machine, maker_key);
    return maker ? vt::read_string(maker.get(), L"Tablewright 8 Path") : std::nullopt;
}

// Every file and folder below the given roots, with content, to compare
// before and after a run that must not remove anything.
std::vector<std::pair<std::wstring, std::string>> snapshot(std::initializer_list<fs::path> roots)
{
    std::vector<std::pair<std::wstring, std::string>> out;
    for (const fs::path& root : roots)
        for (const std::wstring& relative : tree(root)) {
            const fs::path path = root / relative;
            out.emplace_back(path.wstring(), fs::is_regular_file(path) ? read_file(path) : std::string("<folder>"));
        }
    return out;
}

class Uninstallation : public ::testing::Test {
protected:
    void SetUp() override
    {
        set_language(language_english);
        context.install_folder = (root.path() / L"Program Files\\Vantrel Software\\Tablewright 8").wstring();
        context.start_menu_folder = (root.path() / L"Start Menu\\Tablewright").wstring();
        context.desktop_shortcut = false;
        clean_registry();
        ::SetEnvironmentVariableW(L"VT_DSETUP_LOG", nullptr);
    }
    void TearDown() override
    {
        clean_registry();
        remove_tree(samples_folder());
        remove_tree(fs::path(public_desktop()) / L"Tablewright 8.11n.lnk");
        remove_tree(textures.path().parent_path());
        set_language(language_english);
    }
    static void clean_registry()
    {
        ::RegDeleteTreeW(HKEY_LOCAL_MACHINE, uninstall_key.c_str());
        ::RegDeleteTreeW(HKEY_CLASSES_ROOT, L".twp");
        ::RegDeleteTreeW(HKEY_CLASSES_ROOT, L"Tablewright.Project.8");
        if (vt::unique_hkey maker = vt::open_key(vt::registry_root::local_machine, maker_key))
            ::RegDeleteValueW(maker.get(), L"Tablewright 8 Path");
    }

    static fs::path samples_folder() { return fs::path(public_desktop()) / L"Tablewright Examples"; }

    // The product's kinds of files; the uninstaller's own file is given by
    // the test (the built one, or stand-in bytes for the in-process runs).
    void install(const std::string& uninstaller_bytes = realistic_bytes(5000, 4))
    {
        const std::u16string shared = u16(L"<CommonData>\\Vantrel Software\\" + shared_folder.name());
        const std::u16string texture_folder = u16(L"<CommonData>\\Vantrel Software\\" +
                                                  textures.path().parent_path().filename().wstring() + L"\\" +
                                                  textures.name());
        const std::vector<file_spec> files = {
            {u"Redist\\DSETUP.dll", u"<Temporary>", built(L"demo\\DSETUP.dll"), 5},
            {u"Samples\\Kitchen.twp", u"<SamplePath>", realistic_bytes(9000, 3), 4},
            {u"Samples\\Oak.bmp", texture_folder, realistic_bytes(7000, 7), 4},
            {u"Shared\\materials.twl", shared, realistic_bytes(20000, 2), 3},
            {u"Tablewright\\Installer\\Uninstall.exe", u"<InstallPath>", uninstaller_bytes, 2},
            {u"Tablewright\\Lang\\TablewrightDEU.dll", u"<InstallPath>\\Lang", built(L"demo\\Lang\\TablewrightDEU.dll"), 0},
            {u"Tablewright\\Tablewright.exe", u"<InstallPath>", built(L"demo\\Tablewright.exe"), 1},
        };
        const std::string compressed = compressed_archive(files);
        vt::imemstream payload(compressed.data(), compressed.size());
        silent_view view;
        ASSERT_TRUE(run_installation(context, view, payload)) << std::string(view.log.begin(), view.log.end());
        ASSERT_TRUE(fs::exists(log_file()));
    }

    fs::path installed(const wchar_t* relative) const { return fs::path(context.install_folder) / relative; }
    fs::path uninstaller() const { return installed(L"Uninstall.exe"); }
    fs::path log_file() const { return installed(L"Uninstall.ulog"); }
    fs::path start_menu_link() const { return fs::path(context.start_menu_folder) / L"Tablewright 8.11n.lnk"; }

    uninstall_result uninstall(bool silent = true) { return run_uninstaller({uninstaller(), silent}); }

    void set_stored_language(DWORD index)
    {
        vt::unique_hkey key = vt::open_key(vt::registry_root::local_machine, uninstall_key);
        ASSERT_TRUE(key);
        vt::set_dword(key.get(), L"VtLanguage", index);
    }

    scratch_folder root{L"vt-uninstall"};
    folder_below shared_folder{vt::known_folder(FOLDERID_ProgramData) + L"\\Vantrel Software", L"shared"};
    // Two levels the installation creates: the texture folder and its parent.
    folder_below textures{fs::path(vt::known_folder(FOLDERID_ProgramData) + L"\\Vantrel Software") /
                              fs::path(std::wstring(L"textures-") + std::to_wstring(::GetCurrentProcessId())),
                          L"Tablewright"};
    installer_context context;
};

} // namespace

TEST_F(Uninstallation, RemovesWhatTheInstallationMadeAndKeepsSharedData)
{
    context.desktop_shortcut = true;
    install();

    const fs::path desktop_link = fs::path(public_desktop()) / L"Tablewright 8.11n.lnk";
    ASSERT_TRUE(fs::exists(desktop_link));
    ASSERT_TRUE(fs::exists(start_menu_link()));
    ASSERT_EQ(product_path_value(), installed(L"Tablewright.exe").wstring());

    EXPECT_EQ(uninstall(), uninstall_done);

    // Every folder the installation created is gone with what it held; the
    // scratch root existed before and stays, empty.
    EXPECT_EQ(tree(root.path()), std::vector<std::wstring>{});
    EXPECT_FALSE(fs::exists(desktop_link));
    EXPECT_FALSE(fs::exists(samples_folder()));
    EXPECT_FALSE(fs::exists(textures.path())) << "samples' textures go, and the folders made for them";
    EXPECT_FALSE(fs::exists(textures.path().parent_path()));
    // Shared data stays for the maker's other products, in its folder.
    EXPECT_EQ(tree(shared_folder.path()), std::vector<std::wstring>{L"materials.twl"});

    EXPECT_FALSE(product_registered());
    EXPECT_FALSE(product_path_value());
    // The product's own registration of its file type is the product's.
    EXPECT_TRUE(vt::open_key(vt::registry_root::classes_root, L".twp"));
}

TEST_F(Uninstallation, LeavesWhatTheLogDoesNotName)
{
    // A folder the installation found in place is not its to remove.
    const fs::path existing = root.path() / L"Start Menu";
    fs::create_directories(existing);
    install();
    write_file(installed(L"My notes.txt"), "the user's");
    write_file(installed(L"Lang\\Custom.dll"), "a module of the user's");

    EXPECT_EQ(uninstall(), uninstall_done);

    EXPECT_EQ(tree(installed(L"")), (std::vector<std::wstring>{L"Lang", L"Lang\\Custom.dll", L"My notes.txt"}));
    EXPECT_FALSE(fs::exists(start_menu_link()));
    EXPECT_FALSE(fs::exists(context.start_menu_folder)) << "made by the installation, empty now";
    EXPECT_TRUE(fs::exists(existing));
    EXPECT_FALSE(product_registered());
}

TEST_F(Uninstallation, AFileInUseKeepsTheUninstallerItsLogAndTheKeyForAnotherRun)
{
    install();
    HANDLE in_use = ::CreateFileW(installed(L"Lang\\TablewrightDEU.dll").c_str(), GENERIC_READ, 0, nullptr,
                                  OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(in_use, INVALID_HANDLE_VALUE);
    EXPECT_EQ(uninstall(), uninstall_incomplete);
    ::CloseHandle(in_use);

    EXPECT_EQ(tree(installed(L"")), (std::vector<std::wstring>{L"Lang", L"Lang\\TablewrightDEU.dll",
                                                               L"Uninstall.exe", L"Uninstall.ulog"}));
    EXPECT_TRUE(product_registered());
    EXPECT_FALSE(fs::exists(samples_folder()));

    // Once the file is free, the same log finishes the work.
    EXPECT_EQ(uninstall(), uninstall_done);
    EXPECT_TRUE(tree(root.path()).empty());
    EXPECT_FALSE(product_registered());
}

TEST_F(Uninstallation, ADamagedLogRemovesNothing)
{
    install();
    const std::wstring log_text = read_log_text(log_file());
    const std::wstring program = installed(L"Tablewright.exe").wstring();
    ASSERT_NE(log_text.find(L":0101:1 -- " + program + L"\n"), std::wstring::npos);
    const std::wstring next_position = [&] {
        // The line that follows the last entry, with the next number.
        std::size_t count = std::count(log_text.begin(), log_text.end(), L'\n') - 6;
        wchar_t buffer[16];
        swprintf(buffer, 16, L"%04zu", count);
        return std::wstring(buffer);
    }();

    struct damage {
        const char* what;
        std::wstring text;
    };
    const damage damages[] = {
        {"a system file", log_text + next_position + L":0100:1 -- C:\\windows\\system32\\kernel32.dll\n"},
        {"a way out of the installation folder",
         log_text + next_position + L":0100:1 -- " + context.install_folder + L"\\..\\..\\..\\outside.dat\n"},
        {"an alternate stream", log_text + next_position + L":0100:1 -- " + program + L":hidden\n"},
        {"a relative path", log_text + next_position + L":0100:1 -- Tablewright.exe\n"},
        {"a link that is no link", log_text + next_position + L":02ff:1 -- " + context.start_menu_folder + L"\\a.exe\n"},
        {"a desktop link off the desktops", log_text + next_position + L":04ff:1 -- " + program + L".lnk\n"},
        {"a line that breaks the rules", replaced(log_text, L":0101:1 --", L":0101:1 ==")},
        {"an unknown type", log_text + next_position + L":0900:1 -- " + program + L"\n"},
        {"another installation folder",
         replaced(log_text, L"// Install Path : " + context.install_folder, L"// Install Path : " +
                                                                                  root.path().wstring())},
        {"a later version", replaced(log_text, L"Log File v1", L"Log File v2")},
    };
    for (const damage& d : damages) {
        SCOPED_TRACE(d.what);
        write_log_text(log_file(), d.text);
        const auto before = snapshot({root.path(), shared_folder.path(), samples_folder(), textures.path()});
        EXPECT_EQ(uninstall(), uninstall_damaged_log);
        EXPECT_EQ(snapshot({root.path(), shared_folder.path(), samples_folder(), textures.path()}), before);
        EXPECT_TRUE(product_registered());
        EXPECT_TRUE(product_path_value());

        const uninstall_log log = read_uninstall_log(log_file());
        const log_verdict verdict = check_log(log, uninstaller(), removal_roots_of(log));
        EXPECT_FALSE(verdict.sound);
        EXPECT_FALSE(verdict.reason.empty());
    }

    // The log as the installer wrote it is sound, and without it there is
    // nothing to go by.
    write_log_text(log_file(), log_text);
    const uninstall_log log = read_uninstall_log(log_file());
    EXPECT_TRUE(check_log(log, uninstaller(), removal_roots_of(log)).sound);
    ::SetFileAttributesW(log_file().c_str(), FILE_ATTRIBUTE_NORMAL);
    fs::remove(log_file());
    EXPECT_EQ(uninstall(), uninstall_no_log);
    EXPECT_TRUE(fs::exists(installed(L"Tablewright.exe")));
    EXPECT_TRUE(product_registered());
}

TEST_F(Uninstallation, AsksAndTellsInTheProductsLanguage)
{
    install();
    std::vector<seen_box> boxes;
    auto answer = [&boxes](int button) {
        return [&boxes, button](const seen_box& box) {
            boxes.push_back(box);
            return box.buttons.size() > 1 ? button : IDOK;
        };
    };

    set_stored_language(2); // German
    {
        box_watcher watcher(answer(IDNO));
        EXPECT_EQ(uninstall(false), uninstall_cancelled);
    }
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(boxes[0].caption, L"Deinstallationsprogramm \u2013 Tablewright 8.11n");
    EXPECT_EQ(boxes[0].text.substr(0, 52), L"Möchten Sie 'Tablewright 8.11n' von diesem Computer ");
    EXPECT_EQ(boxes[0].buttons, (std::vector<int>{IDYES, IDNO}));
    EXPECT_TRUE(fs::exists(installed(L"Tablewright.exe"))) << "no means no";

    // Polish has no texts of the uninstaller's own: English, as the installer does.
    set_stored_language(15);
    {
        box_watcher watcher(answer(IDNO));
        EXPECT_EQ(uninstall(false), uninstall_cancelled);
    }
    ASSERT_EQ(boxes.size(), 2u);
    EXPECT_EQ(boxes[1].text.substr(0, 48), L"Do you want to remove 'Tablewright 8.11n' from t");

    set_stored_language(0); // French, to the end
    {
        box_watcher watcher(answer(IDYES));
        EXPECT_EQ(uninstall(false), uninstall_done);
    }
    ASSERT_EQ(boxes.size(), 4u);
    EXPECT_EQ(boxes[2].caption, L"Désinstalleur \u2013 Tablewright 8.11n");
    EXPECT_EQ(boxes[3].text, L"'Tablewright 8.11n' a été supprimé de cet ordinateur.");
    EXPECT_FALSE(product_registered());
}

TEST_F(Uninstallation, TellsWhenTheLogIsDamagedOrMissing)
{
    install();
    std::vector<seen_box> boxes;
    box_watcher watcher([&boxes](const seen_box& box) {
        boxes.push_back(box);
        return IDOK;
    });
    write_log_text(log_file(), L"// Uninstall Log File v1\n0000:0100:1 -- C:\\windows\\win.ini\n");
    EXPECT_EQ(uninstall(false), uninstall_damaged_log);
    ::SetFileAttributesW(log_file().c_str(), FILE_ATTRIBUTE_NORMAL);
    fs::remove(log_file());
    EXPECT_EQ(uninstall(false), uninstall_no_log);
    ASSERT_EQ(boxes.size(), 2u);
    EXPECT_EQ(boxes[0].text, L"The uninstall information \"" + log_file().wstring() +
                                 L"\" is damaged. Nothing has been removed.");
    EXPECT_EQ(boxes[1].text, L"The uninstall information \"" + log_file().wstring() +
                                 L"\" cannot be found. Nothing has been removed.");
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

TEST(UninstallLog, ReadAllOrNothing)
{
    scratch_folder folder{L"vt-ulog"};
    const fs::path file = folder / L"Uninstall.ulog";
    const std::wstring header = L"// Uninstall Log File v1\n// ###\n// Install Tablewright 8.11n\n"
                                L"// Install Path : C:\\P\n// Shortcut Path : C:\\S\n// ---\n";

    write_log_text(file, header + L"0000:00ff:1 -- C:\\P\n0001:0101:1 -- C:\\P\\Tablewright.exe\n");
    uninstall_log log = read_uninstall_log(file);
    EXPECT_TRUE(log.found && log.complete);
    EXPECT_EQ(log.product_text, L"Tablewright 8.11n");
    EXPECT_EQ(log.install_folder, L"C:\\P");
    EXPECT_EQ(log.shortcut_folder, L"C:\\S");
    ASSERT_EQ(log.entries.size(), 2u);
    EXPECT_EQ(log.entries[1].path, L"C:\\P\\Tablewright.exe");
    EXPECT_EQ(logged_program(log), fs::path(L"C:\\P\\Tablewright.exe"));

    // The last line without its line end is a line still.
    write_log_text(file, header + L"0000:00ff:1 -- C:\\P");
    log = read_uninstall_log(file);
    EXPECT_TRUE(log.complete);
    EXPECT_EQ(log.entries.size(), 1u);

    // A line longer than any path, a bad line, a later version, no header.
    for (const std::wstring& bad : {header + L"0000:0100:1 -- C:\\P\\" + std::wstring(40000, L'x') + L"\n",
                                    header + L"0000:0100:1 -- C:\\P\\a\nnonsense\n0001:0100:1 -- C:\\P\\b\n",
                                    replaced(header, L"v1", L"v2") + L"0000:0100:1 -- C:\\P\\a\n",
                                    std::wstring(L"0000:0100:1 -- C:\\P\\a\n")}) {
        write_log_text(file, bad);
        log = read_uninstall_log(file);
        EXPECT_TRUE(log.found);
        EXPECT_FALSE(log.complete);
    }

    EXPECT_FALSE(read_uninstall_log(folder / L"none.ulog").found);
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

// The built Uninstall.exe, installed and started as the list of programs
// starts it. It runs in a process of its own: the in-process runs above
// count this test program among the product's programs.
TEST_F(Uninstallation, TheInstalledUninstallerRemovesItselfAndItsFolder)
{
    install(built(L"demo\\Uninstall.exe"));
    const fs::path temporary = fs::temp_directory_path();
    auto copies = [&temporary] {
        int count = 0;
        for (const auto& entry : fs::directory_iterator(temporary))
            count += entry.path().filename().wstring().rfind(L"vantrel_uninstall_", 0) == 0;
        return count;
    };
    ASSERT_EQ(copies(), 0);

    started_process origin;
    start_program(uninstaller().wstring(), L"/silent", origin);
    ASSERT_TRUE(origin.process);
    EXPECT_EQ(origin.wait(20s), 0u) << "the installed uninstaller hands over and ends";

    // The copy works on; it is gone once it has ended.
    const auto deadline = std::chrono::steady_clock::now() + 30s;
    while ((copies() > 0 || fs::exists(root.path() / L"Program Files")) && std::chrono::steady_clock::now() < deadline)
        std::this_thread::sleep_for(100ms);
    EXPECT_EQ(copies(), 0) << "the temporary copy deletes itself";
    EXPECT_TRUE(tree(root.path()).empty());
    EXPECT_FALSE(product_registered());
    EXPECT_FALSE(product_path_value());
    EXPECT_EQ(tree(shared_folder.path()), std::vector<std::wstring>{L"materials.twl"});
}
