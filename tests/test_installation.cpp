// One installation from start to end on Wine's real file system, registry and
// shell: the files, the registry values read back, the links resolved to
// their target, the lines of the log in order, the progress, and the DirectX
// step.

#include "app/installer_context.h"
#include "app/language.h"
#include "resources/product.h"
#include "dialog_watch.h"
#include "engine/directx_setup.h"
#include "engine/installation_sequence.h"
#include "engine/registration.h"
#include "payload/compress_error.h"
#include "payload/file_utils.h"
#include "payload_test_support.h"
#include "support/registry.h"

#include <gtest/gtest.h>

#include <knownfolders.h>
#include <shlobj.h>
#include <shobjidl.h>

#include <algorithm>
#include <cstring>
#include <cwchar>
#include <functional>
#include <sstream>
#include <system_error>
#include <tuple>

using namespace payload_test;

namespace {

const std::wstring uninstall_key = L"Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\Tablewright 8";

std::wstring known_folder(REFKNOWNFOLDERID id)
{
    PWSTR path = nullptr;
    ::SHGetKnownFolderPath(id, KF_FLAG_DONT_VERIFY, nullptr, &path);
    vt::unique_cotaskmem owned(path);
    return path ? path : L"";
}

std::string program_bytes(const wchar_t* relative)
{
    return read_file(fs::path(build_folder()) / relative);
}

class Installation : public ::testing::Test {
protected:
    void SetUp() override
    {
        set_language(language_english);
        context.install_folder = (root.path() / L"Program Files\\Vantrel Software\\Tablewright 8").wstring();
        context.start_menu_folder = (root.path() / L"Start Menu\\Tablewright").wstring();
        context.desktop_shortcut = false; // the public desktop is shared; one test turns it on
        ::RegDeleteTreeW(HKEY_LOCAL_MACHINE, uninstall_key.c_str());
        ::SetEnvironmentVariableW(L"VT_DSETUP_LOG", (root.path() / L"dsetup.log").c_str());
        ::SetEnvironmentVariableW(L"VT_DSETUP_VERSION", nullptr);
        ::SetEnvironmentVariableW(L"VT_DSETUP_REVISION", nullptr);
        ::SetEnvironmentVariableW(L"VT_DSETUP_RESULT", nullptr);
    }
    void TearDown() override
    {
        ::RegDeleteTreeW(HKEY_LOCAL_MACHINE, uninstall_key.c_str());
        ::RegDeleteTreeW(HKEY_CLASSES_ROOT, L".twp");
        ::RegDeleteTreeW(HKEY_CLASSES_ROOT, L"Tablewright.Project.8");
        if (vt::unique_hkey maker = vt::open_key(vt::registry_root::local_machine, maker_key))
            ::RegDeleteValueW(maker.get(), L"Tablewright 8 Path");
        remove_tree(samples_folder());
        remove_tree(fs::path(known_folder(FOLDERID_PublicDesktop)) / L"Tablewright 8.11n.lnk");
        ::SetEnvironmentVariableW(L"VT_DSETUP_LOG", nullptr);
        ::SetEnvironmentVariableW(L"VT_DSETUP_VERSION", nullptr);
        ::SetEnvironmentVariableW(L"VT_DSETUP_REVISION", nullptr);
        ::SetEnvironmentVariableW(L"VT_DSETUP_RESULT", nullptr);
    }

    static fs::path samples_folder()
    {
        return fs::path(known_folder(FOLDERID_PublicDesktop)) / L"Tablewright Examples";
    }

    // The product as the payload carries it: temporary setup files first, then
    // shared data and samples, the uninstaller, language modules, the program.
    std::vector<file_spec> product_files(const wchar_t* program = L"demo\\Tablewright.exe") const
    {
        std::u16string shared = u16(L"<CommonData>\\Vantrel Software\\" + shared_folder.name());
        return {
            {u"C:\\build\\dx\\DSETUP.dll", u"<Temporary>", program_bytes(L"demo\\DSETUP.dll"), 5},
            {u"C:\\build\\dx\\dxupdate.cab", u"<Temporary>", realistic_bytes(3000, 1), 5},
            {u"C:\\build\\shared\\materials.twl", shared, realistic_bytes(20000, 2), 3},
            {u"C:\\build\\samples\\Kitchen.twp", u"<SamplePath>", realistic_bytes(9000, 3), 4},
            {u"C:\\build\\Uninstall.exe", u"<InstallPath>", realistic_bytes(5000, 4), 2},
            {u"C:\\build\\lang\\Tablewright_fr.dll", u"<InstallPath>\\Lang", realistic_bytes(4000, 5), 0},
            {u"C:\\build\\lang\\Tablewright_de.dll", u"<InstallPath>\\Lang", realistic_bytes(4100, 6), 0},
            {u"C:\\build\\Tablewright.exe", u"<InstallPath>", program_bytes(program), 1},
        };
    }

    bool install(const std::string& compressed)
    {
        vt::imemstream payload(compressed.data(), compressed.size());
        return run_installation(context, view, payload);
    }

    fs::path installed(const wchar_t* relative) const { return fs::path(context.install_folder) / relative; }

    scratch_folder root{L"vt-install"};
    folder_below shared_folder{known_folder(FOLDERID_ProgramData) + L"\\Vantrel Software", L"test"};
    installer_context context;
    recording_view view;
};

} // namespace

TEST_F(Installation, FullRunWritesFilesRegistryLinksAndLog)
{
    context.desktop_shortcut = true;
    auto files = product_files();
    ASSERT_TRUE(install(compressed_archive(files)));

    // Every file, byte for byte, where its macro points.
    EXPECT_EQ(read_file(installed(L"Tablewright.exe")), files[7].data);
    EXPECT_EQ(read_file(installed(L"Uninstall.exe")), files[4].data);
    EXPECT_EQ(read_file(installed(L"Lang\\Tablewright_de.dll")), files[6].data);
    EXPECT_EQ(read_file(shared_folder.path() / L"materials.twl"), files[2].data);
    EXPECT_EQ(read_file(samples_folder() / L"Kitchen.twp"), files[3].data);
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
    fs::path desktop_link = fs::path(known_folder(FOLDERID_PublicDesktop)) / L"Tablewright 8.11n.lnk";
    EXPECT_TRUE(same_path(link_target(start_link), installed(L"Tablewright.exe")));
    EXPECT_TRUE(same_path(link_target(desktop_link), installed(L"Tablewright.exe")));
    EXPECT_TRUE(fs::exists(installed(L"Uninstall.ulog")));

    // The DirectX setup ran from the temporary folder with the runtime flags.
    std::string dsetup_log = read_file(root.path() / L"dsetup.log");
    EXPECT_NE(dsetup_log.find("flags=00010018"), std::string::npos) << dsetup_log;
    EXPECT_NE(dsetup_log.find("Answers ok=4"), std::string::npos) << dsetup_log;

    // The log box, line by line.
    std::vector<std::wstring> expected = {
        std::wstring(45, L'\u2500'),
        L"Preparing Installation...OK",
    };
    for (std::size_t i : {0u, 1u, 2u, 3u, 4u, 5u, 6u, 7u}) {
        fs::path destination = i < 2 ? fs::path(context.temporary_folder) / fs::path(files[i].source).filename()
                               : i == 2 ? shared_folder.path() / L"materials.twl"
                               : i == 3 ? samples_folder() / L"Kitchen.twp"
                               : i == 4 ? installed(L"Uninstall.exe")
                               : i == 5 ? installed(L"Lang\\Tablewright_fr.dll")
                               : i == 6 ? installed(L"Lang\\Tablewright_de.dll")
                                        : installed(L"Tablewright.exe");
        expected.push_back(L"Copying File \"" + destination.wstring() + L"\"...OK");
    }
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
    ASSERT_TRUE(install(compressed_archive(product_files())));
    for (const std::wstring& line : view.lines())
        EXPECT_EQ(line.find(L"Shortcuts Creation"), std::wstring::npos);
    EXPECT_FALSE(fs::exists(context.start_menu_folder)) << "no folder for a shortcut that is not made";
}

TEST_F(Installation, UpdateLeavesSamplesAndKeepsExistingSharedData)
{
    context.previous_state = 2;
    context.installed_version = 0x0008000B000D0009;
    write_file(shared_folder.path() / L"materials.twl", "the user's own materials");
    ASSERT_TRUE(install(compressed_archive(product_files())));

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

TEST_F(Installation, AProductWhoseRegistrationFailsStillEndsTheInstallation)
{
    ASSERT_TRUE(install(compressed_archive(product_files(L"tests\\Tablewright_exit0.exe"))));
    auto lines = view.lines();
    EXPECT_NE(std::find(lines.begin(), lines.end(), L"Registry Data Writing...Failed"), lines.end());
    EXPECT_NE(std::find(lines.begin(), lines.end(), L"Installation Data Writing...OK"), lines.end());
    EXPECT_TRUE(context.instance_lock.owned()) << "the lock is taken back after the product ran";
}

namespace {

// What the DirectX step of one installation did.
struct directx_run {
    bool ended = false;
    std::wstring line; // its line in the log; empty when the step did not run
    bool setup_called = false;
    std::vector<journal_entry> entries; // the journal's DirectX entries
};

// The DirectX step, driven through the stand-in setup library, which takes
// its version, revision and result from the environment.
class DirectX : public Installation {
protected:
    // A whole installation with a context of its own, prepared by prepare.
    directx_run run(const std::function<void(installer_context&)>& prepare = {})
    {
        installer_context run_context;
        run_context.install_folder = context.install_folder;
        run_context.start_menu_folder = context.start_menu_folder;
        run_context.desktop_shortcut = false;
        if (prepare)
            prepare(run_context);
        fs::remove(root.path() / L"dsetup.log");
        recording_view run_view;
        const std::string compressed = compressed_archive(product_files());
        vt::imemstream payload(compressed.data(), compressed.size());
        directx_run result;
        result.ended = run_installation(run_context, run_view, payload);
        for (const std::wstring& line : run_view.lines())
            if (line.rfind(L"Updating DirectX...", 0) == 0)
                result.line = line;
        result.setup_called = read_file(root.path() / L"dsetup.log").find("Setup owner=") != std::string::npos;
        for (const journal_entry& entry : run_context.journal.current_entries())
            if (entry.type == journal_type::directx)
                result.entries.push_back(entry);
        return result;
    }
};

} // namespace

// DirectX 8 (4.8), or 9 before revision 903: the step is skipped silently.
TEST_F(DirectX, RunsOnlyOverDirectX9Revision903OrLater)
{
    const std::tuple<const wchar_t*, const wchar_t*, bool> cases[] = {
        {L"40008", L"904", false}, {L"40009", L"902", false}, {L"40009", L"903", true}, {L"4000a", L"903", true}};
    for (const auto& [version, revision, runs] : cases) {
        SCOPED_TRACE(std::string(version, version + 5) + " revision " + std::string(revision, revision + 3));
        ::SetEnvironmentVariableW(L"VT_DSETUP_VERSION", version);
        ::SetEnvironmentVariableW(L"VT_DSETUP_REVISION", revision);
        const directx_run r = run();
        ASSERT_TRUE(r.ended);
        EXPECT_EQ(r.line, runs ? L"Updating DirectX...OK" : L"");
        EXPECT_EQ(r.setup_called, runs);
        EXPECT_EQ(r.entries.size(), runs ? 1u : 0u);
    }
}

// 0 and 1 (a restart wanted) succeed; a negative or any other result fails
// the step only.
TEST_F(DirectX, ResultsZeroAndOneSucceedAnyOtherFailsTheStepOnly)
{
    const std::pair<const wchar_t*, bool> cases[] = {{L"1", true}, {L"0", true}, {L"-1", false}, {L"2", false}};
    for (const auto& [result, ok] : cases) {
        SCOPED_TRACE(std::string(result, result + std::wcslen(result)));
        ::SetEnvironmentVariableW(L"VT_DSETUP_RESULT", result);
        const directx_run r = run();
        ASSERT_TRUE(r.ended) << "the installation goes on";
        EXPECT_EQ(r.line, ok ? L"Updating DirectX...OK" : L"Updating DirectX...Failed");
        ASSERT_EQ(r.entries.size(), 1u);
        EXPECT_EQ(r.entries[0].done, ok);
    }
}

// An earlier log whose DirectX update was done skips it, except when the
// same version is reinstalled (a repair); one not done runs it again.
TEST_F(DirectX, ThePreviousLogDecidesWhetherItRunsAgain)
{
    const fs::path previous = root.path() / L"previous.ulog";
    const std::tuple<std::int32_t, bool, bool> cases[] = {
        {2, true, false}, {0, true, false}, {1, true, true}, {2, false, true}};
    for (const auto& [state, done_before, runs] : cases) {
        SCOPED_TRACE("previous state " + std::to_string(state) + (done_before ? ", done" : ", not done"));
        const directx_run r = run([&, state = state, done_before = done_before](installer_context& c) {
            c.previous_state = state;
            write_file(previous, std::string("// Uninstall Log File v1\n// -\n// Install Tablewright 8.11m\n") +
                                     "0000:07ff:" + (done_before ? "1" : "0") + " -- DirectX Update\n");
            c.journal.read_log(previous);
            ASSERT_EQ(c.journal.previous_done(journal_type::directx), done_before);
        });
        ASSERT_TRUE(r.ended);
        EXPECT_EQ(r.line, runs ? L"Updating DirectX...OK" : L"");
        EXPECT_EQ(r.setup_called, runs);
        EXPECT_EQ(r.entries.size(), 1u) << "the new log lists it once: this run's or the earlier one";
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
        ASSERT_EQ(known_folder(FOLDERID_Desktop), L"");
        ASSERT_TRUE(install(compressed_archive(files)));
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
    EXPECT_EQ(progress_percent(1000000, 1000000), 100u);
    EXPECT_EQ(progress_percent(12, 12), 100u);
    EXPECT_EQ(progress_percent(5, 1000), 1u); // 0.5 rounds up
    EXPECT_EQ(progress_percent(4, 1000), 0u);
    EXPECT_EQ(progress_percent(0, 0), 0u);
    EXPECT_EQ(progress_percent(~0ull - 1, ~0ull), 99u);
}

TEST(InstallationRules, RegistrationCommandLine)
{
    EXPECT_EQ(registration_command_line(L"C:\\P\\Tablewright.exe", 0), L"\"C:\\P\\Tablewright.exe\" /Register /Background");
    EXPECT_EQ(registration_command_line(L"C:\\P\\Tablewright.exe", 0x0008000A00030000),
              L"\"C:\\P\\Tablewright.exe\" /Register /Background /update=0008000a00030000");
}
