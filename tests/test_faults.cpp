// Installations of the demo product that fail for real, each scenario on a
// machine of its own (a fresh Wine prefix): damaged payloads in copies of the
// real installer, a full disk, a file held open by another program, and a
// stop requested in the middle of the payload. After every failure the
// machine holds exactly what it held before the installer ran: nothing
// added, changed or lost, an earlier installation byte for byte with its
// uninstall log, so that it can still be removed.

#include "app/installer_context.h"
#include "app/language.h"
#include "demo/uninstaller/uninstall_log_reader.h"
#include "demo_machine.h"
#include "engine/installation_sequence.h"
#include "payload/payload_reader.h"
#include "payload_test_support.h"
#include "resources/dialog_ids.h"
#include "support/memstream.h"
#include "support/unique_any.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <set>

using namespace demo_machine;
using namespace payload_test;

namespace {

const std::wstring incomplete_question = L"Installation is not complete.\n\nDo you still confirm exit Installation ?";

std::wstring failure_status(const std::wstring& code)
{
    return L"Installation failed (Error Code " + code + L").";
}

const payload_file& file_named(const std::vector<payload_file>& payload, const std::wstring& name)
{
    const auto found =
        std::find_if(payload.begin(), payload.end(), [&](const payload_file& f) { return f.name == name; });
    if (found == payload.end())
        throw std::runtime_error("no " + narrow(name) + " in the demo payload");
    return *found;
}

// The log text that names the largest file of these kinds.
std::wstring largest_file(const std::vector<payload_file>& payload, const std::set<std::uint32_t>& kinds)
{
    const payload_file* largest = nullptr;
    for (const payload_file& file : payload)
        if (kinds.count(file.kind) && (!largest || fs::file_size(file.staged) > fs::file_size(largest->staged)))
            largest = &file;
    return L"\\" + largest->name + L"\"";
}

std::string flipped(std::string bytes, std::size_t offset)
{
    bytes[offset] = char(bytes[offset] ^ 0x01);
    return bytes;
}

// A copy of this build's installer whose payload resource holds another
// payload (language-neutral, as the build makes it): the damaged installer a
// user may have downloaded. It lies in the build folder, outside the
// machine's drives, while the object lives.
class installer_copy {
public:
    installer_copy(const std::string& name, const std::string& payload)
    {
        const auto* test = ::testing::UnitTest::GetInstance()->current_test_info();
        const fs::path folder = fs::path(build_folder()) / L"faults" / L"installers";
        fs::create_directories(folder);
        path_ = folder / (std::string(test->name()) + "-" + name + ".exe");
        fs::remove(path_);
        fs::copy_file(built_installer(), path_);
        HANDLE update = ::BeginUpdateResourceW(path_.c_str(), FALSE);
        EXPECT_TRUE(update);
        EXPECT_TRUE(::UpdateResourceW(update, MAKEINTRESOURCEW(payload_resource_type),
                                      MAKEINTRESOURCEW(payload_resource_id), MAKELANGID(LANG_NEUTRAL, SUBLANG_NEUTRAL),
                                      const_cast<char*>(payload.data()), DWORD(payload.size())));
        EXPECT_TRUE(::EndUpdateResourceW(update, FALSE));
    }
    ~installer_copy()
    {
        std::error_code error;
        fs::remove(path_, error);
    }
    installer_copy(const installer_copy&) = delete;
    installer_copy& operator=(const installer_copy&) = delete;

    std::wstring path() const { return path_.wstring(); }

private:
    fs::path path_;
};

struct damaged_payload {
    std::string name;
    std::string payload;
    std::wstring code; // as the failure message shows it
};

// Damage on the way to the user. In the bzip2 layer the blocks' and the
// stream's checksums and the check of the stream's end find it before
// anything is written; a byte of a language module under an intact bzip2
// layer fails that file's CRC-32 after many files have been written.
std::vector<damaged_payload> damaged_payloads(const std::vector<payload_file>& payload, bool block_only = false)
{
    const std::string good = read_file(fs::path(build_folder()) / L"demo" / L"demo-payload.bz2");
    std::vector<damaged_payload> damaged = {{"block", flipped(good, good.size() / 2), L"4"}};
    if (block_only)
        return damaged;
    std::vector<file_spec> files;
    for (const payload_file& file : payload)
        files.push_back({u16(L"Demo\\" + file.name), u16(file.destination), read_file(file.staged), file.kind});
    const std::string plain = archive_bytes(files);
    const std::string module = read_file(file_named(payload, L"TablewrightFRA.dll").staged);
    damaged.insert(damaged.end(), {
        // The stream's CRC fills the bytes before the last one, whatever the padding.
        {"stream-crc", flipped(good, good.size() - 2), L"4"},
        {"one-byte-short", good.substr(0, good.size() - 1), L"4"},
        {"one-byte-long", good + '\0', L"4"},
        {"file-data", bzip2_compress(flipped(plain, plain.find(module) + module.size() / 2)), L"3"},
    });
    return damaged;
}

class Faults : public demo_machine_test {
protected:
    // Runs the installer through the quick installation (or, given a folder,
    // the advanced one into that folder), which must fail with code, and
    // leaves it; the machine must then be as it was.
    void expect_failed_installation(const std::wstring& installer, const std::wstring& code,
                                    const std::string& what, const fs::path& folder = {})
    {
        SCOPED_TRACE(what);
        const machine_state then = snapshot();
        {
            wizard setup(installer);
            ASSERT_TRUE(setup.open());
            setup.next();
            if (!folder.empty()) {
                setup.click(setup.page(page_kind::mode), IDC_ADVANCED);
                setup.next();
                setup.type_folder(folder.wstring());
            }
            setup.next();
            ASSERT_TRUE(setup.showing(page_kind::install));
            const install_outcome outcome = setup.run_install();
            ASSERT_TRUE(outcome.ended) << "the installation did not end";
            EXPECT_FALSE(outcome.succeeded);
            EXPECT_EQ(outcome.status, failure_status(code)) << narrow(outcome.log);
            EXPECT_TRUE(setup.showing(page_kind::install)) << "the wizard stays on the install page";
            EXPECT_EQ(setup.leave_incomplete(), incomplete_question);
        }
        expect_unchanged_since(then, what + " left the machine changed");
    }

    // Damaged installers on a machine without the product leave nothing;
    // nor does the intact one, left at once while its payload is still
    // being checked beside the wizard: it ends, and the check with it.
    void expect_damaged_installers_fail(const std::vector<damaged_payload>& damaged)
    {
        {
            wizard setup;
            ASSERT_TRUE(setup.open());
            EXPECT_EQ(setup.leave_incomplete(), incomplete_question);
        }
        for (const damaged_payload& damage : damaged)
            expect_failed_installation(installer_copy(damage.name, damage.payload).path(), damage.code, damage.name);
        EXPECT_FALSE(fs::exists(default_install_folder()));
        expect_unchanged_since(before, "the damaged installers");
    }

    // A quick installation of this build's installer that must succeed.
    void install_with_wizard()
    {
        wizard setup;
        ASSERT_TRUE(setup.open());
        setup.next();
        setup.next();
        ASSERT_TRUE(setup.install());
        setup.next();
        setup.leave();
    }
};

} // namespace

// Installers whose payload was damaged on its way to the user, whether the
// damage is found before the first file or after many. (Over an installed
// copy, the same undoing is proven by the locked file, the stops and the full
// disk below.) The 32-bit run takes the damaged block alone.
TEST_F(Faults, DamagedPayload)
{
    expect_damaged_installers_fail(damaged_payloads(payload));
}

TEST_F(Faults, DamagedBlock)
{
    expect_damaged_installers_fail(damaged_payloads(payload, true));
}

namespace {

// A machine whose drive T: is a small disk of its own (a tmpfs that the
// test's set-up mounts); the snapshots include it.
class FaultsOnSmallDisk : public Faults {
protected:
    void SetUp() override
    {
        ULARGE_INTEGER free{}, total{};
        if (!::GetDiskFreeSpaceExW(L"T:\\", &free, &total, nullptr) || total.QuadPart > 64u << 20)
            GTEST_SKIP() << "no small disk as drive T: (mounting one needs root)";
        Faults::SetUp();
    }
    void TearDown() override
    {
        std::error_code error;
        fs::remove(filler_path(), error);
        fs::remove_all(inode_filler(), error);
        Faults::TearDown();
    }
    std::vector<std::wstring> other_drives() const override { return {L"T:"}; }

    static fs::path filler_path() { return L"T:\\filler.bin"; }
    static fs::path inode_filler() { return L"T:\\inodes"; }

    // Uses up every file entry (inode) of the disk with empty files, so that
    // not even a folder can be made there any more.
    static void fill_inodes()
    {
        ASSERT_TRUE(::CreateDirectoryW(inode_filler().c_str(), nullptr));
        for (unsigned n = 0;; ++n) {
            ASSERT_LT(n, 100000u) << "the disk's file entries do not run out";
            const fs::path file = inode_filler() / std::to_wstring(n);
            HANDLE created = ::CreateFileW(file.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, 0, nullptr);
            if (created == INVALID_HANDLE_VALUE) {
                ASSERT_EQ(::GetLastError(), DWORD(ERROR_DISK_FULL));
                break;
            }
            ::CloseHandle(created);
        }
        EXPECT_FALSE(::CreateDirectoryW(L"T:\\probe", nullptr));
        EXPECT_EQ(::GetLastError(), DWORD(ERROR_DISK_FULL));
    }

    // Takes the disk's free space down to about left bytes.
    static void fill_disk(std::uint64_t left)
    {
        ULARGE_INTEGER free{};
        ASSERT_TRUE(::GetDiskFreeSpaceExW(L"T:\\", &free, nullptr, nullptr));
        ASSERT_GT(free.QuadPart, left);
        write_file(filler_path(), std::string(std::size_t(free.QuadPart - left), 'f'));
    }
};

// A view that acts once the installation reaches a point "text|line" (the
// log line holding text), "text|ok" (that line's outcome) or "text|pN" (the
// N-th progress report after that line, which must come before its
// outcome): it asks the installation to stop, or it ends its own process
// there, as the task manager would.
class view_with_point final : public recording_view {
public:
    enum class action { stop, cut };
    static constexpr UINT cut_exit_code = 77;

    view_with_point(const std::wstring& point, action act)
        : after_(point.substr(0, point.rfind(L'|'))), how_(point.substr(point.rfind(L'|') + 1)), action_(act)
    {
    }
    void append_log(const std::wstring& text) override
    {
        recording_view::append_log(text);
        if (stopped)
            return;
        if (!reached_) {
            reached_ = text.find(after_) != std::wstring::npos;
            if (reached_ && how_ == L"line")
                act();
        } else if (text == L"OK\r\n") {
            if (how_ != L"ok")
                ADD_FAILURE() << "the file ended before the point";
            act();
        }
    }
    void set_progress(unsigned percent) override
    {
        recording_view::set_progress(percent);
        if (!stopped && reached_ && how_[0] == L'p' && ++progress_ == std::stoi(how_.substr(1)))
            act();
    }
    bool stop_requested() const override { return stopped; }

    bool stopped = false;

private:
    void act()
    {
        if (action_ == action::cut)
            ::TerminateProcess(::GetCurrentProcess(), cut_exit_code);
        stopped = true;
    }

    std::wstring after_, how_;
    action action_;
    bool reached_ = false;
    int progress_ = 0;
};

// The installation as the installer runs it on this machine, with the
// choices its start-up settles (an installed copy is found with its log).
// The start-up's checks are left out: they would count this process among
// the product's running programs, and the uninstaller would wait for it.
bool run_in_process(installation_view& view)
{
    box_watcher boxes([](const seen_box& box) {
        ADD_FAILURE() << "the installation showed a box: " << narrow(box.text);
        return box.buttons.empty() ? IDOK : box.buttons.front();
    });
    installer_context context;
    if (!context.settle_choices())
        return false;
    vt::imemstream stream = open_payload_resource(language_settings::instance().resource_module());
    return run_installation(context, view, stream);
}

} // namespace

// The installation folder on a disk that fills up (system error 112): on a
// machine without the product, first with no room for the folder itself,
// then with no room for its files, then while updating an older version on that
// disk, whose files must all be back.
TEST_F(FaultsOnSmallDisk, DiskFull)
{
    const fs::path folder = L"T:\\Tablewright";
    // No room left for even the installation folder: the system's disk-full
    // error of the folder's creation, not the runtime library's number.
    fill_inodes();
    expect_failed_installation(built_installer(), L"1:00000070",
                               "the full disk when the installation folder is made", folder);
    EXPECT_FALSE(fs::exists(folder));
    fs::remove_all(inode_filler());

    fill_disk(1u << 20); // less than the uninstaller needs
    expect_failed_installation(built_installer(), L"1:00000070",
                               "the full disk on a fresh machine", folder);
    EXPECT_FALSE(fs::exists(folder));
    fs::remove(filler_path());

    // Tablewright 8.11m on the small disk, then the update with just too
    // little room for the new language modules.
    install_other_version(L"Tablewright_8_11_13_9.exe", payload, [](const payload_file& file) {
        return file.kind != 0 || file.name == L"TablewrightFRA.dll";
    }, "8.11m sample ", folder);
    const std::string older_program = read_file(folder / L"Tablewright.exe");
    ASSERT_EQ(older_program, read_file(fs::path(build_folder()) / L"tests" / L"Tablewright_8_11_13_9.exe"));
    const std::string older_log = read_file(folder / L"Uninstall.ulog");
    fill_disk(40u << 10);
    expect_failed_installation(built_installer(), L"1:00000070",
                               "the full disk during an update");
    EXPECT_TRUE(read_file(folder / L"Tablewright.exe") == older_program) << "the older program, byte for byte";
    EXPECT_TRUE(read_file(folder / L"Uninstall.ulog") == older_log);
    EXPECT_EQ(read_file(folder / L"Lang" / L"TablewrightFRA.dll"),
              read_file(file_named(payload, L"TablewrightFRA.dll").staged));
    EXPECT_FALSE(fs::exists(folder / L"Lang" / L"TablewrightDEU.dll")) << "not in the older version";

    fs::remove(filler_path());
    uninstall(folder);
    expect_machine_as_before();
}

// Over an installed copy: a language module that another program holds open
// without sharing stops the reinstallation (system error 32) and everything
// is put back; read-only files are replaced.
TEST_F(Faults, LockedAndReadOnlyFiles)
{
    install_with_wizard();
    const fs::path folder = default_install_folder();
    const std::string log = read_file(folder / L"Uninstall.ulog");
    {
        vt::unique_file held(::CreateFileW((folder / L"Lang" / L"TablewrightFRA.dll").c_str(), GENERIC_READ, 0, nullptr,
                                           OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
        ASSERT_TRUE(held);
        expect_failed_installation(built_installer(), L"1:00000020",
                                   "a file held open by another program");
    }
    expect_payload_installed(folder);
    EXPECT_TRUE(read_file(folder / L"Uninstall.ulog") == log) << "the log, byte for byte";

    const fs::path read_only[] = {folder / L"Lang" / L"TablewrightDEU.dll",
                                  destination_of(file_named(payload, L"Dresser.twp"), folder)};
    for (const fs::path& file : read_only) {
        write_file(file, "changed by the user");
        ASSERT_TRUE(::SetFileAttributesW(file.c_str(), FILE_ATTRIBUTE_READONLY));
    }
    install_with_wizard();
    expect_payload_installed(folder);
    uninstall(folder);
    expect_machine_as_before();
}

// A stop asked for as a language module begins, at a progress report inside
// a file and as the uninstaller ends, on a machine without the product and
// then over an installed copy: each is reported as interrupted (5) and
// undone.
TEST_F(Faults, StopRequestedDuringThePayload)
{
    const std::wstring stops[] = {L"\\TablewrightFRA.dll\"|line", largest_file(payload, {0, 1, 2, 5}) + L"|p2",
                                  L"\\Uninstall.exe\"|ok"};
    auto stop_each = [&](const std::string& machine) {
        for (const std::wstring& point : stops) {
            SCOPED_TRACE(machine + ", " + narrow(point));
            const machine_state then = snapshot();
            view_with_point view(point, view_with_point::action::stop);
            EXPECT_FALSE(run_in_process(view));
            EXPECT_TRUE(view.stopped);
            EXPECT_EQ(view.status, failure_status(L"5")) << narrow(view.log);
            expect_unchanged_since(then, "the stopped installation");
        }
    };
    stop_each("fresh machine");

    recording_view view;
    ASSERT_TRUE(run_in_process(view)) << narrow(view.log);
    const fs::path folder = default_install_folder();
    const std::string log = read_file(folder / L"Uninstall.ulog");
    stop_each("over an installed copy");
    expect_payload_installed(folder);
    EXPECT_TRUE(read_file(folder / L"Uninstall.ulog") == log) << "the log, byte for byte";
    uninstall(folder);
    expect_machine_as_before();
}

// Not a scenario of its own: the installer that the Faults.CutOff tests
// cut off at the point VT_CUT names, in a process of its own.
TEST(CutInstaller, RunsUntilTheCut)
{
    wchar_t point[512] = {};
    if (!::GetEnvironmentVariableW(L"VT_CUT", point, 512))
        GTEST_SKIP() << "started by the Faults.CutOff tests";
    set_language(language_english);
    view_with_point view(point, view_with_point::action::cut);
    run_in_process(view);
    ADD_FAILURE() << "the installation ran past the cut: " << narrow(view.log);
}

namespace {

// The installer started again after a cut: its start page describes the
// machine as start_text, and it is left.
void restart_after_cut(const std::wstring& start_text)
{
    wizard setup;
    ASSERT_TRUE(setup.open());
    EXPECT_EQ(setup.text(page_kind::start, IDC_INFORMATION), start_text);
    if (start_text.find(L"already installed") != std::wstring::npos)
        setup.leave();
    else
        EXPECT_EQ(setup.leave_incomplete(), incomplete_question);
}

// Runs the installation in another process until the cut at point.
void cut_installation(const std::wstring& point)
{
    wchar_t self[MAX_PATH] = {};
    ::GetModuleFileNameW(nullptr, self, MAX_PATH);
    ::SetEnvironmentVariableW(L"VT_CUT", point.c_str());
    started_process installer;
    start_program(self, L"--gtest_filter=CutInstaller.RunsUntilTheCut", installer);
    ::SetEnvironmentVariableW(L"VT_CUT", nullptr);
    ASSERT_TRUE(installer.process);
    EXPECT_EQ(installer.wait(std::chrono::seconds(300)), view_with_point::cut_exit_code) << "not cut where asked";
}

} // namespace

// The installer ended from outside at points of a fresh installation and of
// an update of 8.11m. The next start undoes the cut run before it shows its
// start page, which then describes the machine as it is: as before, 8.11m
// back byte for byte, or, cut after the extraction, 8.11n complete. Nothing
// of the cut run stays in the temporary folder.
TEST_F(Faults, CutOffFreshInstallation)
{
    cut_installation(largest_file(payload, {3, 4}) + L"|p2");
    restart_after_cut(L"'Tablewright 8.11n' Installation.");
    expect_unchanged_since(before, "the cut fresh installation");
}

TEST_F(Faults, CutOffUpdate)
{
    install_other_version(L"Tablewright_8_11_13_9.exe", payload, [](const payload_file& file) {
        return file.kind != 0 || file.name == L"TablewrightFRA.dll";
    }, "8.11m sample ");
    const machine_state older = snapshot();
    const std::vector<std::wstring> cuts = {L"Preparing Installation...|line", L"\\Uninstall.exe\"|ok",
                                            largest_file(payload, {0, 1, 2, 5}) + L"|p2", L"\\Tablewright.exe\"|ok"};
    for (const std::wstring& cut : cuts) {
        SCOPED_TRACE(narrow(cut));
        cut_installation(cut);
        restart_after_cut(L"Update from 'Tablewright 8.11m' to 'Tablewright 8.11n'.");
        expect_unchanged_since(older, "the cut update");
    }

    cut_installation(L"Registry Data Writing...|line");
    restart_after_cut(L"'Tablewright 8.11n' is already installed.\nDo you confirm Reinstallation ?");
    const fs::path folder = default_install_folder();
    expect_payload_installed(folder, false);
    const std::vector<std::wstring> left = ours_left_behind();
    EXPECT_TRUE(left.empty()) << narrow(left.front());
    // The kept run got the log it would have written: it uninstalls as it is.
    const uninstall_log kept = read_uninstall_log(folder / L"Uninstall.ulog");
    EXPECT_TRUE(kept.complete);
    EXPECT_TRUE(std::any_of(kept.entries.begin(), kept.entries.end(), [&](const journal_entry& entry) {
        return entry.path == (folder / L"Tablewright.exe").wstring() && entry.done;
    }));
    uninstall(folder);
    expect_machine_as_before();
}
