// The installation journal on Wine's real file system and registry: what it
// records for each change, the backups it takes, and how a rollback puts the
// machine back as it was.

#include "resources/product.h"
#include "engine/install_journal.h"
#include "engine/privilege.h"
#include "scratch_folder.h"
#include "support/registry.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
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

bool is_backup_name(const std::wstring& backup)
{
    fs::path path(backup);
    // The system's temporary folder, not the run's own: the backup must
    // outlive the run's folder, which is deleted at its end.
    fs::path temp = (fs::temp_directory_path() / "x").parent_path(); // without the trailing separator
    return std::regex_match(path.filename().string(), std::regex("vt-[0-9a-f]{5}\\.tmp")) &&
           fs::equivalent(path.parent_path(), temp);
}

class Journal : public ::testing::Test {
protected:
    const portable_test::scratch_folder folder{"journal"};
    const fs::path& root = folder.path();
};

// Writes the file the way the extraction would after begin_file.
void install(install_journal& journal, const fs::path& path, std::int32_t kind, bool copy,
             const std::string& content)
{
    journal.begin_file(path, kind, copy);
    write_bytes(path, content);
    journal.close_entry(true);
}

const std::wstring product_key =
    L"Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\" + product_title(product_code);

std::wstring get_string(const std::wstring& key, const wchar_t* name)
{
    wchar_t buffer[256] = {};
    DWORD size = sizeof(buffer);
    const auto found = ::RegGetValueW(HKEY_LOCAL_MACHINE, key.c_str(), name, RRF_RT_REG_SZ, nullptr, buffer, &size);
    return found == ERROR_SUCCESS ? buffer : L"<missing>";
}

// The product's uninstall key, removed before and after each test.
class UninstallKey : public ::testing::Test {
protected:
    void SetUp() override { ::RegDeleteTreeW(HKEY_LOCAL_MACHINE, product_key.c_str()); }
    void TearDown() override { SetUp(); }

    static vt::unique_hkey create_key()
    {
        vt::unique_hkey key = vt::create_key(HKEY_LOCAL_MACHINE, product_key);
        vt::set_string(key.get(), L"DisplayName", L"Tablewright 8");
        return key;
    }
};

} // namespace

// A file this run added and someone made read-only goes too, and one already
// gone does not stop the rollback. A run that ends as it should removes its
// journal file itself.
TEST_F(Journal, MissingFolderLevelsAreRecordedOuterFirstAndRemovedInnerFirstWhenEmpty)
{
    const fs::path outer = root / L"Vantrel Software", inner = outer / L"Tablewright 8";
    const fs::path record = root / L"vantrel_{ended}.journal";
    install_journal journal;
    journal.record_to(record);
    install(journal, inner / L"Tablewright.exe", 1, false, "new");
    install(journal, inner / L"fr.dll", 0, false, "module");
    const auto& entries = journal.current_entries();
    ASSERT_EQ(entries.size(), 4u) << "the second file in the folder creates no folder entries";
    EXPECT_EQ(entries[0].path, outer.wstring());
    EXPECT_EQ(entries[1].path, inner.wstring());
    EXPECT_TRUE(entries[2].backup.empty()) << "nothing was there to replace";

    ASSERT_TRUE(::SetFileAttributesW((inner / L"fr.dll").c_str(), FILE_ATTRIBUTE_READONLY));
    fs::remove(inner / L"Tablewright.exe");
    journal.roll_back();
    journal.end_record();
    EXPECT_FALSE(fs::exists(outer));
    EXPECT_FALSE(fs::exists(record));
    EXPECT_TRUE(fs::is_directory(root));

    // A folder the run made that now holds a file of the user's stops the
    // rollback, after what came later was undone.
    install(journal, inner / L"fr.dll", 0, false, "module");
    write_bytes(inner / L"user notes.txt", "not ours");
    EXPECT_THROW(journal.roll_back(), fs::filesystem_error);
    EXPECT_FALSE(fs::exists(inner / L"fr.dll"));
    EXPECT_TRUE(fs::exists(inner / L"user notes.txt"));
}

// Shared data is backed up by a copy and stays in place; a read-only file
// can still be moved away. After a successful installation the backups go.
TEST_F(Journal, CommitDeletesTheBackupsAndKeepsTheNewFiles)
{
    const fs::path shared = root / L"Shared.lib", program = root / L"Tablewright.exe";
    write_bytes(shared, binary_content(5));
    write_bytes(program, "old program");
    ::SetFileAttributesW(program.c_str(), FILE_ATTRIBUTE_READONLY);

    install_journal journal;
    journal.begin_file(shared, 3, true);
    journal.close_entry(true);
    journal.begin_file(program, 1, false);
    EXPECT_FALSE(fs::exists(program)) << "moved away, not copied";
    write_bytes(program, "new program");
    journal.close_entry(true);
    const auto& entries = journal.current_entries();
    const std::vector<std::wstring> backups = {entries[0].backup, entries[1].backup};
    EXPECT_TRUE(is_backup_name(backups[1])) << fs::path(backups[1]).string();
    EXPECT_EQ(read_bytes(shared), binary_content(5)) << "still in place during the installation";
    EXPECT_EQ(read_bytes(backups[0]), binary_content(5));
    EXPECT_EQ(read_bytes(backups[1]), "old program");

    journal.commit();
    for (const std::wstring& backup : backups)
        EXPECT_FALSE(fs::exists(backup));
    EXPECT_EQ(read_bytes(shared), binary_content(5));
    EXPECT_EQ(read_bytes(program), "new program");
}

// Backup names that collide: with a file the journal did not make (left by an
// earlier run) and with this run's own backup. Each file still gets a backup
// of its own, and nothing the journal did not make is deleted.
TEST_F(Journal, TakenBackupNamesAreNeitherReusedNorDeleted)
{
    const fs::path foreign = fs::temp_directory_path() / L"vt-0f0f0.tmp";
    write_bytes(foreign, "left by an earlier run");
    for (const wchar_t* name : {L"vt-1a1a1.tmp", L"vt-2b2b2.tmp"})
        fs::remove(fs::temp_directory_path() / name); // free, whatever ran before
    const std::vector<std::uint32_t> names = {0x0f0f0, 0x1a1a1, 0x1a1a1, 0x2b2b2};
    std::size_t next = 0;
    install_journal journal;
    journal.name_backups_with([&] { return names[std::min(next++, names.size() - 1)]; });

    const fs::path first = root / L"first.dat", second = root / L"second.dat";
    write_bytes(first, "first original");
    write_bytes(second, "second original");
    install(journal, first, 0, false, "first new");
    install(journal, second, 0, false, "second new");
    journal.roll_back();
    EXPECT_EQ(read_bytes(first), "first original");
    EXPECT_EQ(read_bytes(second), "second original");
    EXPECT_EQ(read_bytes(foreign), "left by an earlier run");
    fs::remove(foreign);
}

// A run cut off in the middle of a file: its journal on disk, as the ended
// process left it, lets the next start undo everything, as a rollback
// would, and clean up after it. While the run is alive it is left alone.
// A run cut after it chose to keep its changes keeps them.
TEST_F(Journal, CutRunIsUndoneFromItsFileUnlessItKeptItsChanges)
{
    const fs::path file = root / L"vantrel_{cut}.journal", run_folder = root / L"vantrel_{cut}";
    fs::create_directories(run_folder);
    write_bytes(run_folder / L"DSETUP.dll", "setup");
    const fs::path program = root / L"Tablewright.exe", shared = root / L"Shared.lib";
    const fs::path added = root / L"Lang" / L"TablewrightFRA.dll";
    write_bytes(program, binary_content(1));
    ASSERT_TRUE(::SetFileAttributesW(program.c_str(), FILE_ATTRIBUTE_READONLY));
    write_bytes(shared, binary_content(2));
    std::vector<std::wstring> backups;
    {
        install_journal journal;
        journal.record_to(file);
        install(journal, program, 1, false, "new program");
        journal.begin_file(shared, 3, true);
        journal.close_entry(true);
        journal.begin_file(added, 0, false);
        write_bytes(added, "half a mod");
        backups = {journal.current_entries()[0].backup, journal.current_entries()[1].backup};
        EXPECT_FALSE(install_journal::undo_cut_run(file)) << "its run is alive";
        EXPECT_EQ(read_bytes(added), "half a mod");
    } // cut: no rollback, no commit

    EXPECT_TRUE(install_journal::undo_cut_run(file));
    EXPECT_EQ(read_bytes(program), binary_content(1));
    EXPECT_TRUE(::GetFileAttributesW(program.c_str()) & FILE_ATTRIBUTE_READONLY);
    EXPECT_EQ(read_bytes(shared), binary_content(2));
    EXPECT_FALSE(fs::exists(root / L"Lang"));
    for (const std::wstring& backup : backups)
        EXPECT_FALSE(fs::exists(backup));
    EXPECT_FALSE(fs::exists(run_folder));
    EXPECT_FALSE(fs::exists(file));

    // Cut after the extraction, the installation stands and only its backup
    // goes.
    std::wstring backup;
    {
        install_journal journal;
        journal.record_to(file);
        install(journal, program, 1, false, "new program");
        backup = journal.current_entries().back().backup;
        journal.keep_changes();
    }
    EXPECT_TRUE(install_journal::undo_cut_run(file));
    EXPECT_EQ(read_bytes(program), "new program");
    EXPECT_FALSE(fs::exists(backup));
    EXPECT_FALSE(fs::exists(file));
}

// The file is trusted only as far as it goes: one of another format or cut
// in the middle of a record is not guessed at, and a backup that was begun
// but not recorded as complete means that the item in place is still the
// original.
TEST_F(Journal, JournalIsTrustedOnlyAsFarAsItGoes)
{
    const fs::path file = root / L"vantrel_{torn}.journal", data = root / L"Library.dat", folder = root / L"New";
    const fs::path partial = fs::temp_directory_path() / L"vt-0c0c0.tmp";
    write_bytes(data, binary_content(4));
    write_bytes(partial, binary_content(4).substr(0, 100));
    fs::create_directories(folder);
    const std::wstring text = L"vt-journal 1\nE|1|0|0|" + data.wstring() + L"|" + partial.wstring() + L"\nE|0|-1|0|" +
                              folder.wstring() + L"|";
    auto write_text = [&file](const std::wstring& t) {
        write_bytes(file, std::string(reinterpret_cast<const char*>(t.data()), t.size() * sizeof(wchar_t)));
    };
    write_text(text);
    EXPECT_FALSE(install_journal::undo_cut_run(file));
    EXPECT_TRUE(fs::exists(file) && fs::exists(partial) && fs::exists(folder));
    // Nor is a file of another format, however complete.
    write_text(L"vt-journal 2" + text.substr(12) + L"\n");
    EXPECT_FALSE(install_journal::undo_cut_run(file));
    EXPECT_TRUE(fs::exists(partial) && fs::exists(folder));

    write_text(text + L"\n");
    EXPECT_TRUE(install_journal::undo_cut_run(file));
    EXPECT_EQ(read_bytes(data), binary_content(4));
    EXPECT_FALSE(fs::exists(partial));
    EXPECT_FALSE(fs::exists(folder));
    EXPECT_FALSE(fs::exists(file));
}

TEST_F(UninstallKey, KeyThatDidNotExistIsDeletedAndOneThatExistedIsSavedAndKept)
{
    install_journal journal;
    {
        vt::unique_hkey key = create_key();
        journal.begin_uninstall_key(nullptr);
        vt::create_key(key.get(), L"Sub");
        journal.close_entry(true);
    }
    journal.roll_back();
    EXPECT_EQ(get_string(product_key, L"DisplayName"), L"<missing>") << "deleted with its subkeys";

    std::wstring backup;
    {
        vt::unique_hkey key = create_key();
        vt::set_string(key.get(), L"DisplayVersion", L"8.11m");
        journal.begin_uninstall_key(key.get());
        backup = journal.current_entries().back().backup;
        EXPECT_TRUE(is_backup_name(backup)) << "RegSaveKeyW failed";
        vt::set_string(key.get(), L"DisplayVersion", L"8.11n");
        vt::set_string(key.get(), L"Added", L"by this run");
        journal.close_entry(true);
    }
    // The saved file holds the key as it was before this run.
    ASSERT_TRUE(set_privilege(L"SeRestorePrivilege", true));
    ASSERT_TRUE(set_privilege(L"SeBackupPrivilege", true));
    ASSERT_EQ(::RegLoadKeyW(HKEY_LOCAL_MACHINE, L"vt-journal-saved", backup.c_str()), ERROR_SUCCESS);
    EXPECT_EQ(get_string(L"vt-journal-saved", L"DisplayVersion"), L"8.11m");
    EXPECT_EQ(get_string(L"vt-journal-saved", L"Added"), L"<missing>");
    ::RegUnLoadKeyW(HKEY_LOCAL_MACHINE, L"vt-journal-saved");

    // Wine's RegRestoreKeyW reports success without restoring anything, so
    // what the key holds after the rollback cannot be seen here; it stays.
    journal.roll_back();
    EXPECT_TRUE(vt::open_key(HKEY_LOCAL_MACHINE, product_key)) << "a key that existed before is not deleted";
    EXPECT_FALSE(fs::exists(backup)) << "the saved key is not left in the temporary folder";
}
