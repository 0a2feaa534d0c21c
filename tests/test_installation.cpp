// One installation from start to end on Wine's real file system, registry and
// shell: the files, the registry values read back, the links resolved to
// their target, the lines of the log in order, the progress, the DirectX
// step, and what the wizard's install page shows of it.

#include "engine/coalescing_view.h"
#include "engine/directx_setup.h"
#include "engine/registration.h"
#include "installation_test.h"
#include "payload/file_utils.h"
#include "resources/dialog_ids.h"
#include "ui/dlg_install.h"
#include "ui/window_utilities.h"

#include <commctrl.h>

#include <algorithm>
#include <thread>

using namespace payload_test;

namespace {

class Installation : public installation_test {
protected:
    void SetUp() override
    {
        installation_test::SetUp();
        ::SetEnvironmentVariableW(L"VT_DSETUP_LOG", (root.path() / L"dsetup.log").c_str());
    }
};

} // namespace

TEST_F(Installation, FullRunWritesFilesRegistryLinksAndLog)
{
    context.desktop_shortcut = true;
    auto files = product_files();
    ASSERT_TRUE(install(files));

    // Every file, byte for byte, where its macro points, in the payload's
    // order; the temporary ones are gone with the run's folder.
    const fs::path temporary(context.temporary_folder);
    const fs::path destinations[] = {temporary / L"DSETUP.dll",
                                     temporary / L"dxupdate.cab",
                                     shared_folder.path() / L"materials.twl",
                                     samples_folder() / L"Kitchen.twp",
                                     textures.path() / L"Tablewright\\Oak.bmp",
                                     installed(L"Uninstall.exe"),
                                     installed(L"Lang\\Tablewright_fr.dll"),
                                     installed(L"Lang\\Tablewright_de.dll"),
                                     installed(L"Tablewright.exe")};
    for (std::size_t i = 2; i < files.size(); ++i)
        EXPECT_EQ(read_file(destinations[i]), files[i].data) << destinations[i].string();
    EXPECT_TRUE(::GetFileAttributesW(installed(L"Tablewright.exe").c_str()) & FILE_ATTRIBUTE_READONLY);
    EXPECT_TRUE(::GetFileAttributesW(installed(L"Uninstall.exe").c_str()) & FILE_ATTRIBUTE_READONLY);
    EXPECT_FALSE(fs::exists(context.temporary_folder)) << "the run's temporary folder is deleted at the end";

    expect_registration(context.install_folder);
    // The product registered its file type when it was started.
    vt::unique_hkey file_type = vt::open_key(vt::registry_root::classes_root, L".twp");
    ASSERT_TRUE(file_type);
    EXPECT_EQ(vt::read_string(file_type.get(), nullptr), L"Tablewright.Project.8");

    // Links resolve to the installed program.
    fs::path start_link = fs::path(context.start_menu_folder) / L"Tablewright 8.11n.lnk";
    fs::path desktop_link = public_desktop() / L"Tablewright 8.11n.lnk";
    EXPECT_TRUE(same_path(link_target(start_link), installed(L"Tablewright.exe")));
    EXPECT_TRUE(same_path(link_target(desktop_link), installed(L"Tablewright.exe")));
    // Logged as a desktop link: the next installation offers it again from that.
    const auto& entries = context.journal.current_entries();
    EXPECT_TRUE(std::any_of(entries.begin(), entries.end(), [&](const journal_entry& e) {
        return e.type == journal_type::desktop_shortcut && e.done && same_path(e.path, desktop_link);
    }));

    // The DirectX setup ran from the temporary folder with the runtime flags;
    // a message that waited for the window meanwhile was let through.
    std::string dsetup_log = read_file(root.path() / L"dsetup.log");
    EXPECT_NE(dsetup_log.find("flags=00010018"), std::string::npos) << dsetup_log;
    EXPECT_NE(dsetup_log.find("Answers ok=4, left waiting 0"), std::string::npos) << dsetup_log;

    // The log box, line by line.
    std::vector<std::wstring> expected = {
        std::wstring(45, L'\u2500'),
        L"Preparing Installation...OK",
    };
    for (const fs::path& destination : destinations)
        expected.push_back(L"Copying File \"" + destination.wstring() + L"\"...OK");
    expected.insert(expected.end(), {L"Shortcuts Creation...OK", L"Updating DirectX...OK",
                                     L"Registry Data Writing...OK", L"Installation Data Writing...OK"});
    EXPECT_EQ(view.lines(), expected);
    EXPECT_EQ(view.status, L"Click on 'Next' to continue.");

    // Progress never goes back and shows 100 only once everything is in.
    ASSERT_FALSE(view.positions.empty());
    EXPECT_TRUE(std::is_sorted(view.positions.begin(), view.positions.end()));
    EXPECT_EQ(view.positions.back(), 100u);
    EXPECT_EQ(std::count(view.positions.begin(), view.positions.end(), 100u), 1);
}

TEST_F(Installation, WithoutShortcutOptionsThereIsNoShortcutStep)
{
    context.start_menu_shortcut = false;
    ASSERT_TRUE(install(product_files()));
    for (const std::wstring& line : view.lines())
        EXPECT_EQ(line.find(L"Shortcuts Creation"), std::wstring::npos);
    EXPECT_FALSE(fs::exists(context.start_menu_folder)) << "no folder for a shortcut that is not made";
}

TEST_F(Installation, UpdateLeavesSamplesAndKeepsExistingSharedData)
{
    context.previous_state = 2;
    context.installed_version = 0x0008000B000D0009;
    write_file(shared_folder.path() / L"materials.twl", "the user's own materials");
    ASSERT_TRUE(install(product_files()));

    EXPECT_FALSE(fs::exists(samples_folder() / L"Kitchen.twp"));
    EXPECT_EQ(read_file(shared_folder.path() / L"materials.twl"), "the user's own materials");
    for (const std::wstring& line : view.lines()) {
        EXPECT_EQ(line.find(L"Kitchen.twp"), std::wstring::npos);
        EXPECT_EQ(line.find(L"materials.twl"), std::wstring::npos);
    }
    // The kept shared file is still listed, as done, for the uninstaller.
    const auto& entries = context.journal.current_entries();
    auto kept = std::find_if(entries.begin(), entries.end(), [&](const journal_entry& e) {
        return same_path(e.path, shared_folder.path() / L"materials.twl");
    });
    ASSERT_NE(kept, entries.end());
    EXPECT_TRUE(kept->done);
    EXPECT_EQ(kept->parameter, 3);
}

namespace {

// The wizard's install page, made from its template in a window of this
// thread as the frame holds it, with the installation reporting to it as
// in the installer.
class install_page {
public:
    install_page()
        : frame_(::CreateWindowExW(0, L"Static", L"", WS_OVERLAPPEDWINDOW, 0, 0, 640, 480, nullptr, nullptr, nullptr,
                                   nullptr))
    {
        page_.create(frame_.get(), IDD_INSTALL);
    }
    bool install(installation_choices& context, const std::string& compressed)
    {
        vt::imemstream payload(compressed.data(), compressed.size());
        return page_.do_installation(context, payload);
    }
    std::wstring status() const { return get_window_text(page_.item(IDC_STATUS)); }
    std::wstring log() const { return get_window_text(page_.item(IDC_LOG)); }
    unsigned bar() const { return unsigned(::SendMessageW(page_.item(IDC_PROGRESS), PBM_GETPOS, 0, 0)); }

private:
    dlg_install& page_ = dlg_install::instance();
    vt::unique_window frame_;
};

} // namespace

// The real install page. A run stopped by a damaged file leaves its failure
// as the last line and the status, and the bar where it stopped. Run again
// with the product's registration held until the page has answered a
// message (as Windows asks a window whether it hangs): the lock is given up
// meanwhile and taken back, and a failed registration still ends the run.
TEST_F(Installation, ThePageShowsTheEndOfARunAndAnswersWhileTheProductRegisters)
{
    install_page page;
    const std::vector<file_spec> damaged = {
        {u"Tablewright_fr.dll", u"<InstallPath>\\Lang", realistic_bytes(30000, 1), 0},
        {u"Tablewright.exe", u"<InstallPath>", realistic_bytes(60000, 2), 1},
    };
    const std::string archive = archive_bytes(damaged, {{0, 0x12345678}});
    EXPECT_FALSE(page.install(context, bzip2_compress(archive)));
    EXPECT_TRUE(page.log().ends_with(L"Copying File \"" + installed(L"Lang\\Tablewright_fr.dll").wstring() +
                                     L"\"...Failed\r\n"));
    EXPECT_EQ(page.status(), L"Installation failed (Error Code 3).");
    EXPECT_EQ(page.bar(), progress_percent(archive.size() - 60000, archive.size()));

    ASSERT_TRUE(context.instance_lock.try_lock());
    const fs::path product_log = root.path() / L"product.log";
    const std::wstring hold = L"vt-test-registration-" + std::to_wstring(::GetCurrentProcessId());
    vt::unique_handle release(::CreateEventW(nullptr, TRUE, FALSE, hold.c_str()));
    ::SetEnvironmentVariableW(L"VT_TABLEWRIGHT_LOG", product_log.c_str());
    ::SetEnvironmentVariableW(L"VT_TABLEWRIGHT_HOLD", hold.c_str());
    bool answered = false;
    std::thread user([&] {
        for (int tries = 0; tries < 3000 && !fs::exists(product_log); ++tries)
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
        DWORD_PTR result = 0;
        answered = ::SendMessageTimeoutW(dlg_install::instance().hwnd, WM_NULL, 0, 0, SMTO_NORMAL, 5000, &result) != 0;
        ::SetEvent(release.get());
    });
    const bool installed = page.install(context, compressed_archive(product_files(L"tests\\Tablewright_exit0.exe")));
    user.join();
    EXPECT_TRUE(installed);
    EXPECT_TRUE(answered) << "the page did not answer while the product registered";
    const std::string logged = read_file(product_log);
    EXPECT_NE(std::wstring(reinterpret_cast<const wchar_t*>(logged.data()), logged.size() / sizeof(wchar_t))
                  .find(L"/Register /Background | installer lock: free"),
              std::wstring::npos);
    EXPECT_TRUE(context.instance_lock.owned()) << "the lock is taken back after the product ran";
    EXPECT_NE(page.log().find(L"Registry Data Writing...Failed\r\n"), std::wstring::npos);
    EXPECT_TRUE(page.log().ends_with(L"Installation Data Writing...OK\r\n"));
    EXPECT_EQ(page.status(), L"Click on 'Next' to continue.");
    EXPECT_EQ(page.bar(), 100u);
}

// The DirectX step, through the stand-in setup library, which takes its
// version, revision and result from the environment. It runs over DirectX 9
// from revision 903 on, not over 8 (4.8) or an older revision; 0 and 1 (a
// restart wanted) succeed, any other result fails the step only. An earlier
// log whose update was done skips it, except when the same version is
// reinstalled (a repair); one not done runs it again.
TEST_F(Installation, DirectXRunsWhenItShould)
{
    struct directx_case {
        const wchar_t *version, *revision, *result;
        int previous_state; // -1: no earlier installation
        bool done_before;
        std::wstring line; // empty: the step is skipped silently
    };
    const std::wstring ok = L"Updating DirectX...OK", failed = L"Updating DirectX...Failed";
    const directx_case cases[] = {
        {L"40008", L"904", nullptr, -1, false, L""}, {L"40009", L"902", nullptr, -1, false, L""},
        {L"40009", L"903", nullptr, -1, false, ok},  {L"4000a", L"903", nullptr, -1, false, ok},
        {nullptr, nullptr, L"1", -1, false, ok},     {nullptr, nullptr, L"-1", -1, false, failed},
        {nullptr, nullptr, L"2", -1, false, failed}, {nullptr, nullptr, nullptr, 2, true, L""},
        {nullptr, nullptr, nullptr, 0, true, L""},   {nullptr, nullptr, nullptr, 1, true, ok},
        {nullptr, nullptr, nullptr, 2, false, ok},
    };
    const fs::path previous = root.path() / L"previous.ulog";
    for (const directx_case& c : cases) {
        SCOPED_TRACE(testing::Message() << (c.version ? c.version : L"-") << " " << (c.revision ? c.revision : L"-")
                                        << " result " << (c.result ? c.result : L"-") << " previous "
                                        << c.previous_state << (c.done_before ? " done" : ""));
        ::SetEnvironmentVariableW(L"VT_DSETUP_VERSION", c.version);
        ::SetEnvironmentVariableW(L"VT_DSETUP_REVISION", c.revision);
        ::SetEnvironmentVariableW(L"VT_DSETUP_RESULT", c.result);
        fs::remove(root.path() / L"dsetup.log");
        installer_context run_context;
        run_context.install_folder = context.install_folder;
        run_context.start_menu_folder = context.start_menu_folder;
        run_context.desktop_shortcut = false;
        if (c.previous_state >= 0) {
            run_context.previous_state = c.previous_state;
            write_file(previous, std::string("// Uninstall Log File v1\n// -\n// Install Tablewright 8.11m\n") +
                                     "0000:07ff:" + (c.done_before ? "1" : "0") + " -- DirectX Update\n");
            run_context.journal.read_log(previous);
        }
        recording_view run_view;
        const std::string compressed = compressed_archive(product_files());
        vt::imemstream payload(compressed.data(), compressed.size());
        ASSERT_TRUE(run_installation(run_context, run_view, payload)) << "the installation goes on";

        const auto lines = run_view.lines();
        const auto line = std::find_if(lines.begin(), lines.end(), [](const std::wstring& l) {
            return l.rfind(L"Updating DirectX...", 0) == 0;
        });
        EXPECT_EQ(line == lines.end() ? L"" : *line, c.line);
        EXPECT_EQ(read_file(root.path() / L"dsetup.log").find("Setup owner=") != std::string::npos, !c.line.empty());
        std::vector<journal_entry> entries;
        for (const journal_entry& entry : run_context.journal.current_entries())
            if (entry.type == journal_type::directx)
                entries.push_back(entry);
        // The new log lists the step once, this run's or the earlier one.
        ASSERT_EQ(entries.size(), c.line.empty() && c.previous_state < 0 ? 0u : 1u);
        if (!c.line.empty()) {
            EXPECT_EQ(entries[0].done, c.line == ok);
        }
    }
}

namespace {

// Makes a shell folder unavailable for the life of the object: its "User
// Shell Folders" value empty, so that the shell answers with an empty path
// (as Wine does, with success).
class unavailable_shell_folder {
public:
    unavailable_shell_folder(HKEY root, const wchar_t* name) : root_(root), name_(name)
    {
        DWORD size = sizeof(saved_);
        had_ = ::RegGetValueW(root_, key, name_, RRF_RT_ANY | RRF_NOEXPAND, &type_, saved_, &size) == ERROR_SUCCESS;
        saved_size_ = size;
        EXPECT_EQ(::RegSetKeyValueW(root_, key, name_, REG_EXPAND_SZ, L"", sizeof(wchar_t)), ERROR_SUCCESS);
    }
    unavailable_shell_folder(const unavailable_shell_folder&) = delete;
    unavailable_shell_folder& operator=(const unavailable_shell_folder&) = delete;
    ~unavailable_shell_folder()
    {
        if (had_)
            ::RegSetKeyValueW(root_, key, name_, type_, saved_, saved_size_);
        else
            ::RegDeleteKeyValueW(root_, key, name_);
    }

private:
    static constexpr const wchar_t* key = L"Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\User Shell Folders";
    HKEY root_;
    const wchar_t* name_;
    bool had_ = false;
    DWORD type_ = 0;
    wchar_t saved_[MAX_PATH * 2] = {};
    DWORD saved_size_ = 0;
};

// Removes a file or folder at the end of a test.
struct removed_at_end {
    fs::path path;
    ~removed_at_end() { remove_tree(path); }
};

} // namespace

// With no desktop at all the desktop link fails alone: the step says so, the
// Start-menu link is made, and no link lands anywhere else.
TEST_F(Installation, WithoutAnyDesktopOnlyTheDesktopLinkFails)
{
    context.desktop_shortcut = true;
    auto files = product_files();
    files.erase(std::remove_if(files.begin(), files.end(), [](const file_spec& f) { return f.kind == 4; }),
                files.end());
    const fs::path relative_link = fs::current_path() / L"Tablewright 8.11n.lnk";
    removed_at_end cleanup_relative{relative_link};
    {
        unavailable_shell_folder no_public_desktop(HKEY_LOCAL_MACHINE, L"Common Desktop");
        unavailable_shell_folder no_user_desktop(HKEY_CURRENT_USER, L"Desktop");
        ASSERT_EQ(vt::known_folder(FOLDERID_Desktop), L"");
        ASSERT_TRUE(install(files));
    }
    auto lines = view.lines();
    EXPECT_NE(std::find(lines.begin(), lines.end(), L"Shortcuts Creation...Failed"), lines.end());
    EXPECT_TRUE(same_path(link_target(fs::path(context.start_menu_folder) / L"Tablewright 8.11n.lnk"),
                          installed(L"Tablewright.exe")));
    EXPECT_FALSE(fs::exists(relative_link)) << "a link under a relative name, in the current folder";
    const auto& entries = context.journal.current_entries();
    EXPECT_TRUE(std::any_of(entries.begin(), entries.end(), [](const journal_entry& e) {
        return e.type == journal_type::desktop_shortcut && !e.done && e.path.empty();
    }));
}

TEST(InstallationRules, ProgressShows100OnlyAtTheEnd)
{
    EXPECT_EQ(progress_percent(999999, 1000000), 99u);
    EXPECT_EQ(progress_percent(12, 12), 100u);
    EXPECT_EQ(progress_percent(5, 1000), 1u); // 0.5 rounds up
    EXPECT_EQ(progress_percent(0, 0), 0u);
    EXPECT_EQ(progress_percent(~0ull - 1, ~0ull), 99u);
}

TEST(InstallationRules, RegistrationCommandLine)
{
    EXPECT_EQ(registration_command_line(L"C:\\P\\Tablewright.exe", 0),
              L"\"C:\\P\\Tablewright.exe\" /Register /Background");
    EXPECT_EQ(registration_command_line(L"C:\\P\\Tablewright.exe", 0x0008000A00030000),
              L"\"C:\\P\\Tablewright.exe\" /Register /Background /update=0008000a00030000");
}

// The page gets every line once, the last status and only new positions:
// when a step ends, after 50 ms, and before the bar is shown.
TEST(CoalescingView, HandsOnEverythingGatheredAtAStepsEndOrAfter50ms)
{
    recording_view page;
    coalescing_view view(page);
    view.append_log(L"rule\r\n");
    view.show_progress();
    EXPECT_EQ(page.log, L"rule\r\n");
    view.set_status(L"Copying a");
    view.append_log(L"Copying a...");
    view.set_progress(0);
    view.set_progress(40);
    view.append_log(L"OK\r\n");
    view.set_status(L"Copying b");
    std::this_thread::sleep_for(std::chrono::milliseconds(60));
    view.tick();
    EXPECT_EQ(page.log, L"rule\r\nCopying a...OK\r\n");
    EXPECT_EQ(page.status, L"Copying b");
    view.set_progress(40);
    view.flush();
    EXPECT_EQ(page.positions, (std::vector<unsigned>{0, 40}));
}
