// The installation journal on Wine's real file system and registry: what it
// records for each change, the backups it takes, how a rollback puts the
// machine back as it was, and how the next start undoes a run that was cut
// off, from journals written by hand, trusted or not.

#include "engine/install_journal.h"
#include "engine/privilege.h"
#include "resources/product.h"
#include "scratch_folder.h"
#include "support/file_stamp.h"
#include "support/known_folder.h"
#include "support/protected_folder.h"
#include "support/registry.h"

#include <gtest/gtest.h>

#include <knownfolders.h>
#include <sddl.h>

#include <filesystem>
#include <functional>
#include <regex>
#include <string>
#include <vector>

namespace fs = std::filesystem;

namespace {

using portable_test::read_bytes;
using portable_test::write_bytes;

// Content with zeros and every byte value, so that a text-mode slip shows.
std::string binary_content(char seed)
{
    std::string bytes;
    for (int i = 0; i < 600; ++i)
        bytes.push_back(char((i * 7 + seed) & 0xFF));
    return bytes + std::string("\r\n\n\0\x1a", 5);
}

std::wstring stamp(const fs::path& path)
{
    const auto found = vt::stamp_of(path);
    return found ? vt::stamp_text(*found) : L"<none>";
}

// A scratch folder holding an installation folder and the installer's own
// protected folder, where journals and backups lie.
class Journal : public ::testing::Test {
protected:
    const portable_test::scratch_folder folder{"journal"};
    const fs::path& root = folder.path();
    const fs::path install = root / L"Tablewright 8";
    const vt::protected_folder installer{root / L"installer"};
    const fs::path& journals = installer.path();
    const std::wstring start_menu = vt::known_folder(FOLDERID_CommonPrograms) + L"\\Vantrel journal test";

    journal_run run(std::uint64_t started = 1) const { return {started, install.wstring(), start_menu}; }
    fs::path backup(const wchar_t* digits) const { return journals / (L"vt-" + std::wstring(digits) + L".tmp"); }

    // A journal as a cut run leaves it: the header, the run, then lines.
    fs::path write_journal(const std::wstring& name, const std::vector<std::wstring>& lines,
                           std::uint64_t started = 1) const
    {
        std::wstring text = L"vt-journal 2\nR|" + std::wstring(15, L'0') + std::to_wstring(started) + L"|" +
                            install.wstring() + L"|" + start_menu + L"\n";
        for (const std::wstring& line : lines)
            text += line + L"\n";
        const fs::path file = journals / (L"vantrel_{" + name + L"}.journal");
        write_bytes(file, std::string(reinterpret_cast<const char*>(text.data()), text.size() * sizeof(wchar_t)));
        return file;
    }
};

// Writes the file the way the extraction would after begin_file.
void install_file(install_journal& journal, const fs::path& path, std::int32_t kind, bool copy,
                  const std::string& content)
{
    journal.begin_file(path, kind, copy);
    write_bytes(path, content);
    journal.close_entry(true);
}

std::wstring file_line(const fs::path& path, const std::wstring& backup = {}, bool copy = false)
{
    return L"E|1|0|0|" + std::wstring(copy ? L"1" : L"0") + L"|" + path.wstring() + L"|" + backup;
}

} // namespace

// A file this run added and someone made read-only goes too, and one already
// gone does not stop the rollback. A run that ends as it should removes its
// journal file itself. A folder that someone else made meanwhile is not the
// run's, and a second run on the same journal object knows nothing of the
// first one's folders.
TEST_F(Journal, MissingFolderLevelsAreRecordedOuterFirstAndRemovedInnerFirstWhenEmpty)
{
    const fs::path outer = root / L"Vantrel Software", inner = outer / L"Tablewright 8";
    const fs::path record = journals / L"vantrel_{ended}.journal";
    install_journal journal;
    journal.record_to(record, run());
    install_file(journal, inner / L"Tablewright.exe", 1, false, "new");
    install_file(journal, inner / L"fr.dll", 0, false, "module");
    const auto& entries = journal.current_entries();
    ASSERT_EQ(entries.size(), 4u) << "the second file in the folder creates no folder entries";
    EXPECT_EQ(entries[0].path, outer.wstring());
    EXPECT_EQ(entries[1].path, inner.wstring());
    EXPECT_TRUE(entries[2].backup.empty()) << "nothing was there to replace";

    ASSERT_TRUE(::SetFileAttributesW((inner / L"fr.dll").c_str(), FILE_ATTRIBUTE_READONLY));
    fs::remove(inner / L"Tablewright.exe");
    int alive = 0;
    journal.roll_back([&] { ++alive; });
    journal.end_record();
    EXPECT_EQ(alive, 4) << "the window is let through once per entry";
    EXPECT_FALSE(fs::exists(outer));
    EXPECT_FALSE(fs::exists(record));

    // The next run records again, its folders made anew; a file in a
    // folder that another program made first is not known to be absent.
    journal.record_to(record, run());
    install_file(journal, inner / L"fr.dll", 0, false, "module");
    journal.end_record();
    journal.record_to(journal_file_path((root / L"vantrel_{second}").wstring()), run());
    write_bytes(inner / L"user notes.txt", "not ours");
    install_file(journal, inner / L"user notes.txt", 0, false, "ours");
    EXPECT_FALSE(journal.current_entries().back().backup.empty()) << "the user's file was backed up";
    EXPECT_NO_THROW(journal.roll_back());
    EXPECT_EQ(read_bytes(inner / L"user notes.txt"), "not ours");
}

// Shared data is backed up by a copy and stays in place; a rollback writes
// the copy's content back into the same file (which keeps the access list
// given to it) and a commit deletes every backup. Backups lie beside the
// journal, in the protected folder, never where a user can swap them.
TEST_F(Journal, CopiedBackupsComeBackIntoTheSameFileAndCommitDeletesBackups)
{
    const fs::path shared = root / L"Shared.lib", program = root / L"Tablewright.exe";
    write_bytes(shared, binary_content(5));
    write_bytes(program, "old program");
    ::SetFileAttributesW(program.c_str(), FILE_ATTRIBUTE_READONLY);
    const auto shared_before = vt::stamp_of(shared);

    install_journal journal;
    journal.record_to(journals / L"vantrel_{copy}.journal", run());
    install_file(journal, shared, 3, true, "new shared");
    journal.begin_file(program, 1, false);
    EXPECT_FALSE(fs::exists(program)) << "moved away, not copied";
    write_bytes(program, "new program");
    journal.close_entry(true);
    const std::vector<std::wstring> backups = {journal.current_entries()[0].backup,
                                               journal.current_entries()[1].backup};
    for (const std::wstring& backup : backups)
        EXPECT_TRUE(std::regex_match(fs::path(backup).filename().string(), std::regex("vt-[0-9a-f]{5}\\.tmp")) &&
                    fs::equivalent(fs::path(backup).parent_path(), journals))
            << fs::path(backup).string();
    journal.roll_back();
    EXPECT_EQ(read_bytes(shared), binary_content(5));
    EXPECT_TRUE(vt::stamp_of(shared)->same_file(*shared_before)) << "the shared file was replaced, not restored";
    EXPECT_EQ(read_bytes(program), "old program");
    EXPECT_TRUE(::GetFileAttributesW(program.c_str()) & FILE_ATTRIBUTE_READONLY);

    journal.record_to(journals / L"vantrel_{commit}.journal", run());
    install_file(journal, program, 1, false, "new program");
    const std::wstring backup = journal.current_entries().back().backup;
    journal.commit();
    journal.end_record();
    EXPECT_FALSE(fs::exists(backup));
    EXPECT_EQ(read_bytes(program), "new program");
}

// Backup names that collide: with a file the journal did not make (left by an
// earlier run) and with this run's own backup. Each file still gets a backup
// of its own, and nothing the journal did not make is deleted.
TEST_F(Journal, TakenBackupNamesAreNeitherReusedNorDeleted)
{
    write_bytes(backup(L"0f0f0"), "left by an earlier run");
    const std::vector<std::uint32_t> names = {0x0f0f0, 0x1a1a1, 0x1a1a1, 0x2b2b2};
    std::size_t next = 0;
    install_journal journal;
    journal.record_to(journals / L"vantrel_{names}.journal", run());
    journal.name_backups_with([&] { return names[std::min(next++, names.size() - 1)]; });

    const fs::path first = root / L"first.dat", second = root / L"second.dat";
    write_bytes(first, "first original");
    write_bytes(second, "second original");
    install_file(journal, first, 0, false, "first new");
    install_file(journal, second, 0, false, "second new");
    journal.roll_back();
    EXPECT_EQ(read_bytes(first), "first original");
    EXPECT_EQ(read_bytes(second), "second original");
    EXPECT_EQ(read_bytes(backup(L"0f0f0")), "left by an earlier run");
}

// A run recorded by the journal itself and cut off in the middle of a file:
// left alone while its run is alive, then undone as a rollback would, and
// cleaned up after. Cut after the extraction, the installation stands and
// gets the log the run would have written.
TEST_F(Journal, RecordedCutRunIsUndoneUnlessItKeptItsChanges)
{
    const fs::path run_folder = journals / L"vantrel_{cut}", file = journal_file_path(run_folder.wstring());
    write_bytes(run_folder / L"DSETUP.dll", "setup");
    const fs::path program = install / L"Tablewright.exe", added = install / L"Lang" / L"TablewrightFRA.dll";
    fs::create_directories(install);
    write_bytes(program, binary_content(1));
    ASSERT_TRUE(::SetFileAttributesW(program.c_str(), FILE_ATTRIBUTE_READONLY));
    std::wstring moved;
    {
        install_journal journal;
        journal.record_to(file, run());
        install_file(journal, program, 1, false, "new program");
        journal.begin_file(added, 0, false);
        write_bytes(added, "half a module");
        moved = journal.current_entries()[0].backup;
        // A backup is recorded as complete only after it was made: a copy
        // refused (the file is held) is not.
        {
            const fs::path held_file = install / L"Held.lib";
            write_bytes(held_file, "held");
            vt::unique_file held(::CreateFileW(held_file.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr));
            journal.close_entry(true);
            journal.begin_file(held_file, 3, true);
            vt::unique_file reader(::CreateFileW(file.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                                 nullptr, OPEN_EXISTING, 0, nullptr));
            const auto recorded = read_journal(reader.get());
            ASSERT_TRUE(recorded);
            EXPECT_TRUE(recorded->entries.front().backup_made);
            EXPECT_FALSE(recorded->entries.back().backup_made) << "the copy of a held file recorded as made";
        }
        install_journal::undo_cut_runs(journals);
        EXPECT_EQ(read_bytes(added), "half a module") << "undone while its run is alive";
    } // cut: no rollback, no commit
    install_journal::undo_cut_runs(journals);
    EXPECT_EQ(read_bytes(program), binary_content(1));
    EXPECT_TRUE(::GetFileAttributesW(program.c_str()) & FILE_ATTRIBUTE_READONLY);
    EXPECT_FALSE(fs::exists(install / L"Lang"));
    EXPECT_FALSE(fs::exists(moved));
    EXPECT_FALSE(fs::exists(run_folder));
    EXPECT_FALSE(fs::exists(file));

    {
        install_journal journal;
        journal.record_to(file, run());
        install_file(journal, program, 1, false, "new program");
        moved = journal.current_entries().back().backup;
        journal.keep_changes();
    }
    install_journal::undo_cut_runs(journals);
    EXPECT_EQ(read_bytes(program), "new program");
    EXPECT_FALSE(fs::exists(moved));
    EXPECT_FALSE(fs::exists(file));
    const std::string log = read_bytes(install / L"Uninstall.ulog");
    const std::wstring text(reinterpret_cast<const wchar_t*>(log.data()), log.size() / 2);
    EXPECT_NE(text.find(program.wstring()), std::wstring::npos) << "the kept run can be uninstalled";
}

// The next start over journals written by hand, one case per way a run ends
// up cut, and the journals it must not obey.
TEST_F(Journal, CutRunsAreUndoneOnlyAsFarAsTheyAreTrusted)
{
    struct cut_case {
        const char* name;
        // Lays out the machine and the journals as the cut left them.
        std::function<void()> cut;
        // What the next start must have left (after one or two starts).
        std::function<void()> check;
    };
    const fs::path data = install / L"Library.dat", program = install / L"Tablewright.exe";
    const fs::path added = install / L"New" / L"Added.dat";
    vt::unique_file held;
    const std::vector<cut_case> cases = {
        {"moved but the backup not confirmed",
         [&] {
             write_bytes(backup(L"00001"), "original");
             write_journal(L"moved", {file_line(data, backup(L"00001").wstring())});
         },
         [&] {
             EXPECT_EQ(read_bytes(data), "original");
             EXPECT_FALSE(fs::exists(backup(L"00001")));
         }},
        {"cut inside a copy backup",
         [&] {
             write_bytes(data, binary_content(3));
             write_bytes(backup(L"00002"), binary_content(3).substr(0, 50));
             write_journal(L"copy", {file_line(data, backup(L"00002").wstring(), true)});
         },
         [&] {
             EXPECT_EQ(read_bytes(data), binary_content(3)) << "a partial copy was trusted";
             EXPECT_FALSE(fs::exists(backup(L"00002")));
         }},
        {"restarted after a partial undo",
         [&] {
             // The first start removed the file and put the original back,
             // then was cut before it removed the journal.
             write_bytes(data, "original");
             fs::create_directories(added.parent_path());
             write_journal(L"partial", {L"E|0|-1|0|0|" + added.parent_path().wstring() + L"|", L"D|1||",
                                        file_line(data, backup(L"00003").wstring()), L"S",
                                        L"D|1||" + std::wstring(8, L'0') + L":" + std::wstring(16, L'1') + L":" +
                                            std::wstring(16, L'2'),
                                        file_line(added), L"D|1||"});
         },
         [&] {
             EXPECT_EQ(read_bytes(data), "original");
             EXPECT_FALSE(fs::exists(added.parent_path()));
         }},
        {"a failed undo keeps its journal",
         [&] {
             fs::create_directories(added.parent_path());
             write_bytes(added, "new");
             write_bytes(program, "new program");
             held.reset(::CreateFileW(added.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr));
             write_journal(L"failed", {file_line(program), L"D|1||" + stamp(program), file_line(added),
                                       L"D|1||" + stamp(added)});
         },
         [&] {
             EXPECT_FALSE(fs::exists(program)) << "the others are still undone";
             EXPECT_TRUE(fs::exists(added));
             ASSERT_EQ(journal_files(journals).size(), 1u) << "the failed entry waits for the next start";
             held.reset();
             install_journal::undo_cut_runs(journals);
             EXPECT_FALSE(fs::exists(added));
             EXPECT_TRUE(journal_files(journals).empty());
         }},
        {"two journals, newest first",
         [&] {
             // The older run replaced the original, the newer one replaced
             // the older run's file; both were cut.
             write_bytes(backup(L"00004"), "original");
             write_bytes(data, "older run");
             const std::wstring older_stamp = stamp(data);
             fs::rename(data, backup(L"00005"));
             write_bytes(data, "newer run");
             write_journal(L"newer", {file_line(data, backup(L"00005").wstring()), L"S", L"D|1||" + stamp(data)},
                           9);
             write_journal(L"older", {file_line(data, backup(L"00004").wstring()), L"S", L"D|1||" + older_stamp},
                           2);
         },
         [&] { EXPECT_EQ(read_bytes(data), "original"); }},
        {"a file changed since the run",
         [&] {
             write_bytes(backup(L"00006"), "original");
             write_bytes(data, "the run's");
             const std::wstring run_stamp = stamp(data);
             fs::remove(data);
             write_bytes(data, "a later installation's");
             write_journal(L"changed", {file_line(data, backup(L"00006").wstring()), L"S", L"D|1||" + run_stamp});
         },
         [&] {
             EXPECT_EQ(read_bytes(data), "a later installation's");
             EXPECT_FALSE(fs::exists(backup(L"00006")));
         }},
        {"a path outside the product's folders",
         [&] {
             write_bytes(root / L"victim.txt", "victim");
             write_bytes(backup(L"00007"), "evil");
             write_journal(L"outside", {file_line(root / L"victim.txt"), L"D|1||",
                                        file_line(data, backup(L"00007").wstring()), L"S"});
         },
         [&] {
             EXPECT_EQ(read_bytes(root / L"victim.txt"), "victim");
             EXPECT_FALSE(fs::exists(data));
             EXPECT_EQ(journal_files(journals).size(), 1u) << "left alone like a damaged journal";
         }},
        {"a backup outside the protected folder",
         [&] {
             write_bytes(data, "installed");
             write_bytes(root / L"vt-00008.tmp", "evil");
             write_journal(L"foreign", {file_line(data, (root / L"vt-00008.tmp").wstring()), L"S"});
         },
         [&] {
             EXPECT_EQ(read_bytes(data), "installed");
             EXPECT_EQ(read_bytes(root / L"vt-00008.tmp"), "evil");
         }},
    };
    for (const cut_case& c : cases) {
        SCOPED_TRACE(c.name);
        fs::remove_all(install);
        for (const fs::path& journal : journal_files(journals))
            fs::remove(journal);
        fs::create_directories(install);
        c.cut();
        install_journal::undo_cut_runs(journals);
        c.check();
        held.reset();
    }
}

// The protected folder is made with a descriptor that lets only SYSTEM and
// Administrators in. Wine keeps no access lists, so the descriptor itself is
// what can be checked, as the trust check reads it.
TEST(InstallersFolder, OnlyAdministratorsCanChangeIt)
{
    vt::unique_local descriptor = vt::administrators_only_descriptor();
    LPWSTR text = nullptr;
    ASSERT_TRUE(::ConvertSecurityDescriptorToStringSecurityDescriptorW(
        descriptor.get(), SDDL_REVISION_1, OWNER_SECURITY_INFORMATION | DACL_SECURITY_INFORMATION, &text, nullptr));
    vt::unique_local owned(text);
    EXPECT_EQ(std::wstring(text), L"O:BAD:P(A;OICI;FA;;;SY)(A;OICI;FA;;;BA)");
    EXPECT_TRUE(vt::descriptor_lets_only_administrators_change(descriptor.get()));

    for (const wchar_t* untrusted : {L"O:BAD:(A;;FA;;;BA)(A;;FW;;;BU)", L"O:BAD:(A;OICI;0x100000;;;WD)(A;;WD;;;AU)",
                                     L"O:BUD:(A;;FA;;;BA)", L"O:BA"}) {
        PSECURITY_DESCRIPTOR other = nullptr;
        ASSERT_TRUE(::ConvertStringSecurityDescriptorToSecurityDescriptorW(untrusted, SDDL_REVISION_1, &other,
                                                                            nullptr));
        vt::unique_local held(other);
        EXPECT_FALSE(vt::descriptor_lets_only_administrators_change(other)) << untrusted;
    }
}

// The product's uninstall key, removed before and after each test.
class UninstallKey : public ::testing::Test {
protected:
    const std::wstring product_key =
        L"Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\" + product_title(product_code);
    const portable_test::scratch_folder folder{"key"};
    const vt::protected_folder installer{folder.path() / L"installer"};

    void SetUp() override { ::RegDeleteTreeW(HKEY_LOCAL_MACHINE, product_key.c_str()); }
    void TearDown() override { SetUp(); }

    std::wstring get_string(const std::wstring& key, const wchar_t* name) const
    {
        wchar_t buffer[256] = {};
        DWORD size = sizeof(buffer);
        const auto found =
            ::RegGetValueW(HKEY_LOCAL_MACHINE, key.c_str(), name, RRF_RT_REG_SZ, nullptr, buffer, &size);
        return found == ERROR_SUCCESS ? buffer : L"<missing>";
    }
};

// Wine's RegRestoreKeyW reports success without restoring anything, so what
// the saved file holds is read back by loading it instead.
TEST_F(UninstallKey, KeyThatDidNotExistIsDeletedAndOneThatExistedIsSaved)
{
    install_journal journal;
    journal.record_to(installer.path() / L"vantrel_{key}.journal", {1, L"C:\\x", L"C:\\y"});
    {
        vt::unique_hkey key = vt::create_key(HKEY_LOCAL_MACHINE, product_key);
        journal.begin_uninstall_key(nullptr);
        vt::create_key(key.get(), L"Sub");
        journal.close_entry(true);
    }
    journal.roll_back();
    EXPECT_EQ(get_string(product_key + L"\\Sub", L""), L"<missing>");
    EXPECT_FALSE(vt::open_key(HKEY_LOCAL_MACHINE, product_key)) << "deleted with its subkeys";

    std::wstring backup;
    {
        vt::unique_hkey key = vt::create_key(HKEY_LOCAL_MACHINE, product_key);
        vt::set_string(key.get(), L"DisplayVersion", L"8.11m");
        journal.begin_uninstall_key(key.get());
        backup = journal.current_entries().back().backup;
        ASSERT_FALSE(backup.empty()) << "RegSaveKeyW failed";
        vt::set_string(key.get(), L"DisplayVersion", L"8.11n");
        journal.close_entry(true);
    }
    ASSERT_TRUE(set_privilege(L"SeRestorePrivilege", true));
    ASSERT_TRUE(set_privilege(L"SeBackupPrivilege", true));
    ASSERT_EQ(::RegLoadKeyW(HKEY_LOCAL_MACHINE, L"vt-journal-saved", backup.c_str()), ERROR_SUCCESS);
    EXPECT_EQ(get_string(L"vt-journal-saved", L"DisplayVersion"), L"8.11m");
    ::RegUnLoadKeyW(HKEY_LOCAL_MACHINE, L"vt-journal-saved");
    journal.roll_back();
    EXPECT_TRUE(vt::open_key(HKEY_LOCAL_MACHINE, product_key)) << "restored, not deleted";
    EXPECT_FALSE(fs::exists(backup)) << "the saved key has served";
}
