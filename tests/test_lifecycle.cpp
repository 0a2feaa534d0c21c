// The demo product's whole life on machines of their own: each scenario runs
// in a fresh Wine prefix, drives the real Tablewright8Setup.exe (with the
// generated demo payload) through its wizard as a user does, from another
// process, and ends with the installed Uninstall.exe. Afterwards the
// machine's file tree and registry are what they were before the first
// installation, except the shared data that other products of the maker use,
// what the product's own registration wrote, and the wizard's window size.
// The prefix is a 64-bit Windows: the 32-bit build runs under WOW64.

#include "app/language.h"
#include "bitness.h"
#include "resources/product.h"
#include "demo/uninstaller/uninstall_log_reader.h"
#include "demo_machine.h"
#include "payload/file_utils.h"
#include "payload_test_support.h"
#include "resources/dialog_ids.h"
#include "support/registry.h"

#include <gtest/gtest.h>

#include <knownfolders.h>

#include <algorithm>
#include <fstream>
#include <map>
#include <optional>
#include <set>

using namespace demo_machine;
using namespace payload_test;

namespace {

class Lifecycle : public demo_machine_test {};

const fs::path planted_log = L"C:\\planted-libraries.log";

std::string read_all(const fs::path& path)
{
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

// What a program of the user, without administrator rights, can plant for
// the elevated installer and uninstaller: libraries under the names of
// system libraries beside the installer (saved in a browser's Downloads
// folder), in its current folder and in the temporary folder, with Wine
// preferring such libraries as Windows' search order does; and a journal of
// a "cut" run in the temporary folder that would delete one system file and
// replace another.
class planted_traps {
public:
    planted_traps()
    {
        const fs::path planted = fs::path(built_installer()).parent_path() / L"tests" / L"planted";
        made_downloads_ = fs::create_directories(downloads_);
        fs::create_directories(current_);
        fs::copy_file(built_installer(), installer());
        // Wine's own user32, unlike Windows', imports version.dll: a copy
        // beside any program is loaded before its first instruction, so that
        // one is left to the import check of tools/check-pe32.sh.
        for (const fs::path& folder : {downloads_, current_, fs::temp_directory_path()})
            for (const wchar_t* library : {L"version.dll", L"bcrypt.dll"})
                if (folder != downloads_ || library != std::wstring_view(L"version.dll"))
                    fs::copy_file(planted / library, folder / library, fs::copy_options::overwrite_existing);
        std::ofstream(victim_) << "victim";
        std::ofstream(target_) << "target";
        std::ofstream(evil_) << "evil";
        const std::wstring journal = L"vt-journal 1\nE|1|1|0|" + victim_.wstring() + L"|\nE|1|1|0|" +
                                     target_.wstring() + L"|" + evil_.wstring() + L"\nS\n";
        std::ofstream(forged_, std::ios::binary)
            .write(reinterpret_cast<const char*>(journal.data()), std::streamsize(journal.size() * sizeof(wchar_t)));
        // Wine takes a program's library load order from its environment at
        // the start of the machine's first process: the test's entry sets it.
        wchar_t overrides[256] = {};
        ::GetEnvironmentVariableW(L"WINEDLLOVERRIDES", overrides, 256);
        EXPECT_NE(std::wstring(overrides).find(L"version=n,b"), std::wstring::npos)
            << "Wine is not told to prefer the planted libraries";
        ::GetCurrentDirectoryW(MAX_PATH, previous_folder_);
        ::SetCurrentDirectoryW(current_.c_str());
    }
    planted_traps(const planted_traps&) = delete;
    planted_traps& operator=(const planted_traps&) = delete;
    ~planted_traps()
    {
        ::SetCurrentDirectoryW(previous_folder_);
        std::error_code ignored;
        // Downloads may be a link out of the machine: only what was put there goes.
        for (const fs::path& path : {fs::path(installer()), downloads_ / L"bcrypt.dll",
                                     current_, planted_log, victim_, target_, evil_, forged_,
                                     fs::temp_directory_path() / L"version.dll",
                                     fs::temp_directory_path() / L"bcrypt.dll"})
            fs::remove_all(path, ignored);
        if (made_downloads_)
            fs::remove(downloads_, ignored);
    }

    std::wstring installer() const { return (downloads_ / L"Setup.exe").wstring(); }
    // What the installer leaves in its folders, but for the planted journal.
    std::vector<std::wstring> ours_left_behind() const
    {
        std::vector<std::wstring> left = demo_machine::ours_left_behind();
        std::erase(left, forged_.filename().wstring());
        return left;
    }

    void expect_nothing_loaded_or_obeyed() const
    {
        const std::string loaded = read_all(planted_log); // UTF-16 lines
        EXPECT_EQ(narrow(std::wstring(reinterpret_cast<const wchar_t*>(loaded.data()), loaded.size() / 2)), "")
            << "a planted library was loaded";
        EXPECT_EQ(read_all(victim_), "victim");
        EXPECT_EQ(read_all(target_), "target");
        EXPECT_TRUE(fs::exists(forged_)) << "the forged journal was acted on";
    }

private:
    const fs::path downloads_ = L"C:\\users\\Public\\Downloads";
    const fs::path current_ = L"C:\\users\\Public\\Current";
    const fs::path victim_ = L"C:\\windows\\victim.txt", target_ = L"C:\\windows\\target.dll";
    const fs::path evil_ = fs::temp_directory_path() / L"evil.dll";
    const fs::path forged_ =
        fs::temp_directory_path() / L"vantrel_{11111111-2222-3333-4444-555555555555}.journal";
    wchar_t previous_folder_[MAX_PATH] = {};
    bool made_downloads_ = false;
};

} // namespace

// A first installation in a folder of the user's choice, whose desktop link
// cannot be made (a folder of the user's lies where the link would go), a
// second run of the same installer without a desktop link, and the
// uninstallation, which accepts the log's line of the link that was not made.
// All of it with libraries and a journal planted where any program of the
// user can write: none of them is loaded or obeyed. A 64-bit installer of the
// product left a stale path in the 64-bit registry view, and a 64-bit
// D3DX9_43.dll lies in the 32-bit system folder: the installation keeps
// neither.
TEST_F(Lifecycle, FreshInstallationReinstallationAndUninstallation)
{
    const fs::path folder = L"C:\\Apps\\Tablewright";
    const fs::path blocked_link = desktop_link();
    ASSERT_TRUE(fs::create_directory(blocked_link));
    std::optional<planted_traps> traps(std::in_place);
    record_product_path_only_in(KEY_WOW64_64KEY, L"C:\\Old\\Tablewright.exe");
    // Wine keeps a 32-bit d3dx9_43.dll of its own there: it waits beside it.
    const fs::path d3dx9 = L"C:\\windows\\syswow64\\d3dx9_43.dll";
    const fs::path wine_d3dx9 = d3dx9.wstring() + L".wine";
    const bool wine_has_d3dx9 = fs::exists(d3dx9);
    if (wine_has_d3dx9)
        fs::rename(d3dx9, wine_d3dx9);
    write_file(d3dx9, pe_image(true));
    {
        wizard setup(traps->installer());
        ASSERT_TRUE(setup.open());
        EXPECT_EQ(setup.text(page_kind::start, IDC_INFORMATION), L"'Tablewright 8.11n' Installation.");
        setup.next();
        setup.click(setup.page(page_kind::mode), IDC_ADVANCED);
        setup.next();
        ASSERT_TRUE(setup.showing(page_kind::options));
        EXPECT_TRUE(setup.enabled(setup.page(page_kind::options), IDC_BROWSE));
        EXPECT_EQ(setup.text(page_kind::options, IDC_FOLDER_EDIT), expected_default_folder().wstring());
        setup.type_folder(folder.wstring());
        EXPECT_TRUE(setup.checked(page_kind::options, IDC_DESKTOP_SHORTCUT));
        setup.next();
        ASSERT_TRUE(setup.showing(page_kind::install));
        const install_outcome outcome = setup.run_install();
        ASSERT_TRUE(outcome.succeeded) << narrow(outcome.status) << "\n" << narrow(outcome.log);
        EXPECT_NE(outcome.log.find(L"Shortcuts Creation...Failed\r\n"), std::wstring::npos) << narrow(outcome.log);
        setup.next();
        EXPECT_EQ(setup.text(page_kind::end, IDC_INFORMATION), L"Installation is complete.");
        setup.leave();
    }

    expect_payload_installed(folder);
    expect_registration(folder);
    EXPECT_FALSE(fs::exists(d3dx9)) << "the 64-bit D3DX9_43.dll is deleted before the DirectX setup runs";
    EXPECT_TRUE(same_path(link_target(start_menu_link()), folder / L"Tablewright.exe")) << "the other link";
    EXPECT_TRUE(fs::is_directory(blocked_link)) << "the user's folder stays as it was";
    EXPECT_TRUE(fs::is_empty(blocked_link));
    EXPECT_EQ(registrations(), L"/Register /Background | installer lock: free\n")
        << "the installer releases its lock while the product registers itself";

    // The log lists every installed file with its kind, the link, the key,
    // the registration and the DirectX update, all done, and the desktop link
    // that could not be made, not done and without a path.
    const uninstall_log log = read_uninstall_log(folder / L"Uninstall.ulog");
    ASSERT_TRUE(log.complete);
    EXPECT_EQ(log.install_folder, folder.wstring());
    EXPECT_EQ(log.shortcut_folder, known(FOLDERID_CommonPrograms));
    std::map<std::wstring, std::int32_t> logged_files;
    std::set<journal_type> logged_types;
    for (const journal_entry& entry : log.entries) {
        logged_types.insert(entry.type);
        const bool unmade_link = entry.type == journal_type::desktop_shortcut;
        EXPECT_EQ(entry.done, !unmade_link) << narrow(entry.path);
        if (unmade_link) {
            EXPECT_EQ(entry.path, L"");
        }
        if (entry.type == journal_type::file)
            logged_files[entry.path] = entry.parameter;
    }
    EXPECT_EQ(std::count_if(log.entries.begin(), log.entries.end(),
                            [](const journal_entry& e) { return e.type == journal_type::desktop_shortcut; }), 1);
    EXPECT_EQ(logged_files.size(), 74u);
    for (const payload_file& file : payload) {
        if (file.kind != 5) {
            EXPECT_EQ(logged_files[destination_of(file, folder).wstring()], std::int32_t(file.kind)) << narrow(file.name);
        }
    }
    EXPECT_EQ(logged_types, (std::set<journal_type>{journal_type::folder, journal_type::file,
                                                    journal_type::start_menu_shortcut, journal_type::desktop_shortcut,
                                                    journal_type::uninstall_key, journal_type::registration,
                                                    journal_type::directx}));

    // The same installer again: a reinstallation into the same folder, now
    // without a desktop link (offered, since the log lists one); every file
    // it replaces is backed up until the log is written. A 32-bit
    // D3DX9_43.dll in the 32-bit system folder stays.
    std::ofstream(folder / L"Lang" / L"TablewrightFRA.dll", std::ios::binary | std::ios::trunc) << "damaged";
    write_file(d3dx9, pe_image(false));
    // The product's registration runs after the last file and before the log,
    // whose writing ends the backups: held there, the run has all of them.
    const std::wstring hold = L"vt-lifecycle-registration-" + std::to_wstring(::GetCurrentProcessId());
    vt::unique_handle release(::CreateEventW(nullptr, TRUE, FALSE, hold.c_str()));
    ::SetEnvironmentVariableW(L"VT_TABLEWRIGHT_HOLD", hold.c_str());
    {
        wizard setup(traps->installer());
        ASSERT_TRUE(setup.open());
        EXPECT_EQ(setup.text(page_kind::start, IDC_INFORMATION),
                  L"'Tablewright 8.11n' is already installed.\nDo you confirm Reinstallation ?");
        EXPECT_EQ(setup.text(page_kind::start, IDC_STATUS),
                  L"Click on 'Next' to continue or on 'Cancel' to exit Installation.");
        setup.next();
        setup.click(setup.page(page_kind::mode), IDC_ADVANCED);
        setup.next();
        ASSERT_TRUE(setup.showing(page_kind::options));
        EXPECT_EQ(setup.text(page_kind::options, IDC_FOLDER_EDIT), folder.wstring());
        EXPECT_FALSE(setup.enabled(setup.page(page_kind::options), IDC_BROWSE));
        EXPECT_TRUE(setup.checked(page_kind::options, IDC_DESKTOP_SHORTCUT));
        EXPECT_TRUE(setup.checked(page_kind::options, IDC_MENU_SHORTCUT));
        setup.click(setup.page(page_kind::options), IDC_DESKTOP_SHORTCUT);
        setup.next();
        std::size_t backups = 0;
        ASSERT_TRUE(setup.install([&] {
            const std::wstring started = registrations();
            if (!backups && std::count(started.begin(), started.end(), L'\n') == 2) {
                backups = traps->ours_left_behind().size();
                ::SetEvent(release.get());
            }
        }));
        ::SetEnvironmentVariableW(L"VT_TABLEWRIGHT_HOLD", nullptr);
        // The program, the uninstaller, the language modules and the samples
        // were there already; the shared data is kept as it is.
        EXPECT_GE(backups, 51u);
        setup.next();
        setup.leave();
    }
    EXPECT_TRUE(traps->ours_left_behind().empty()) << "committed: no backup is left";
    expect_payload_installed(folder);
    expect_registration(folder);
    EXPECT_EQ(read_file(d3dx9), pe_image(false));
    fs::remove(d3dx9);
    if (wine_has_d3dx9)
        fs::rename(wine_d3dx9, d3dx9);
    EXPECT_TRUE(fs::is_directory(blocked_link) && fs::is_empty(blocked_link));
    EXPECT_EQ(registrations(), L"/Register /Background | installer lock: free\n"
                               L"/Register /Background | installer lock: free\n");
    {
        // The new log keeps the earlier run's line of the link not made.
        const uninstall_log again = read_uninstall_log(folder / L"Uninstall.ulog");
        EXPECT_EQ(again.product_text, L"Tablewright 8.11n");
        EXPECT_TRUE(std::any_of(again.entries.begin(), again.entries.end(), [](const journal_entry& entry) {
            return entry.type == journal_type::desktop_shortcut && !entry.done && entry.path.empty();
        }));
    }

    uninstall(folder);
    traps->expect_nothing_loaded_or_obeyed();
    traps.reset();
    EXPECT_FALSE(fs::exists(start_menu_link()));
    EXPECT_FALSE(fs::exists(L"C:\\Apps")) << "made by the installation";
    EXPECT_TRUE(fs::is_directory(blocked_link)) << "not the installation's to remove";
    fs::remove(blocked_link);
    expect_machine_as_before();
}

// Tablewright 8.11.13.9 is installed, its path recorded in the 64-bit
// registry view only: the installer finds it there, updates it in place,
// leaves the samples alone and tells the new program which version it
// replaced.
TEST_F(Lifecycle, UpdateOfAnOlderVersion)
{
    install_other_version(L"Tablewright_8_11_13_9.exe", payload, [](const payload_file& file) {
        return file.kind != 0 || file.name == L"TablewrightFRA.dll";
    }, "8.11m sample ");
    const fs::path folder = default_install_folder();
    ASSERT_EQ(folder, expected_default_folder());
    ASSERT_TRUE(fs::exists(folder / L"Tablewright.exe"));
    record_product_path_only_in(KEY_WOW64_64KEY, (folder / L"Tablewright.exe").wstring());
    {
        wizard setup;
        ASSERT_TRUE(setup.open());
        EXPECT_EQ(setup.text(page_kind::start, IDC_INFORMATION),
                  L"Update from 'Tablewright 8.11m' to 'Tablewright 8.11n'.");
        setup.next();
        setup.next(); // quick installation
        ASSERT_TRUE(setup.showing(page_kind::install));
        ASSERT_TRUE(setup.install());
        setup.next();
        setup.leave();
    }

    expect_payload_installed(folder, false);
    expect_registration(folder);
    for (const payload_file& file : payload) {
        if (file.kind == 4) {
            EXPECT_TRUE(read_file(destination_of(file, folder)) == "8.11m sample " + read_file(file.staged))
                << "the samples of 8.11m stay as they were: " << narrow(file.name);
        }
    }
    // The older version's registration first, then the new program's, told
    // what it replaced.
    EXPECT_EQ(registrations(), L"/Register /Background | installer lock: free\n"
                               L"/Register /Background /update=0008000b000d0009 | installer lock: free\n");
    EXPECT_TRUE(same_path(link_target(desktop_link()), folder / L"Tablewright.exe")) << "the earlier choice";

    uninstall(folder);
    EXPECT_FALSE(fs::exists(desktop_link()));
    EXPECT_FALSE(fs::exists(fs::path(known(FOLDERID_PublicDesktop)) / L"Tablewright Examples"))
        << "the older samples go too: the new log carries the older entries";
    expect_machine_as_before();
}

// Tablewright 8.12 is installed: the installer only offers to leave, and
// changes nothing.
TEST_F(Lifecycle, RefusalOverANewerVersion)
{
    install_other_version(L"Tablewright_8_12_0_0.exe", payload, [](const payload_file& file) {
        return file.kind != 0 && file.kind != 4;
    }, "");
    const fs::path folder = default_install_folder();
    const machine_state installed = snapshot();
    {
        wizard setup;
        ASSERT_TRUE(setup.open());
        EXPECT_EQ(setup.text(page_kind::start, IDC_INFORMATION),
                  L"'Tablewright 8.11n' Installation.\nA more recent Version (Tablewright 8.12) is already installed.");
        EXPECT_EQ(setup.text(page_kind::start, IDC_STATUS), L"Click on 'Cancel' to exit Installation.");
        EXPECT_FALSE(setup.enabled(setup.frame(), IDC_NEXT));
        EXPECT_FALSE(setup.enabled(setup.frame(), IDC_BACK));
        setup.leave(); // no question
    }
    expect_unchanged_since(installed, "the refusal changed the machine");

    uninstall(folder);
    expect_machine_as_before();
}
