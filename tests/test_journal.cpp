// The installation journal on Wine's real file system and registry: what it
// records for each change, the backups it takes, and how a rollback puts the
// machine back as it was.

#include "resources/product.h"
#include "engine/install_journal.h"
#include "engine/privilege.h"
#include "scratch_folder.h"
#include "support/unique_any.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <regex>
#include <string>
#include <vector>

namespace fs = std::filesystem;

namespace {

const std::wstring uninstall_root = L"Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall";

std::wstring product_key()
{
    return uninstall_root + L"\\" + product_title(product_code);
}

using portable_test::read_bytes;
using portable_test::write_bytes;

// Content with zeros and every byte value, so that a text-mode slip shows.
std::string binary_content(char seed)
{
    std::string bytes;
    for (int i = 0; i < 600; ++i)
        bytes.push_back(char((i * 7 + seed) & 0xFF));
    bytes += std::string("\r\n\n\0\x1a", 5);
    return bytes;
}

bool is_backup_name(const std::wstring& backup)
{
    fs::path path(backup);
    std::string name = path.filename().string();
    // The system's temporary folder, not the run's own: the backup must
    // outlive the run's folder, which is deleted at its end.
    fs::path temp = (fs::temp_directory_path() / "x").parent_path(); // without the trailing separator
    return std::regex_match(name, std::regex("vt-[0-9a-f]{5}\\.tmp")) && fs::equivalent(path.parent_path(), temp);
}

// A scratch folder of its own for each test, made afresh whatever an earlier
// run left in it (read-only files included) and removed afterwards.
class Journal : public ::testing::Test {
protected:
    void SetUp() override
    {
        const auto* test = ::testing::UnitTest::GetInstance()->current_test_info();
        root = fs::temp_directory_path() / (std::string("vt-journal-test-") + test->name());
        remove_root();
        fs::create_directories(root);
    }
    void TearDown() override { remove_root(); }
    void remove_root() const
    {
        std::error_code ignored;
        for (const auto& entry : fs::recursive_directory_iterator(root, ignored))
            ::SetFileAttributesW(entry.path().c_str(), FILE_ATTRIBUTE_NORMAL);
        fs::remove_all(root, ignored);
    }

    fs::path root;
};

// Writes the file the way the extraction would after begin_file.
void install(install_journal& journal, const fs::path& path, std::int32_t kind, bool copy,
             const std::string& content)
{
    journal.begin_file(path, kind, copy);
    write_bytes(path, content);
    journal.close_entry(true);
}

// The product's uninstall key, removed before and after each test.
// While alive, records the calls of RegRestoreKeyW that this program makes
// (the journal's code is linked into it and calls through its import table)
// and passes them on. Wine's RegRestoreKeyW reports success without
// restoring anything, so under Wine the call is all a test can see.
class restore_key_recorder {
public:
    struct call {
        std::wstring file;
        bool file_existed = false;
        std::wstring display_name; // of the key handed over
    };

    restore_key_recorder()
    {
        // Imported here too, so that a journal that never calls it still
        // leaves a slot to watch.
        static restore_function volatile imported = &::RegRestoreKeyW;
        (void)imported;
        slot_ = import_slot("advapi32.dll", "RegRestoreKeyW");
        if (slot_) {
            original_ = reinterpret_cast<restore_function>(*slot_);
            instance_ = this;
            set_slot(reinterpret_cast<void*>(&record));
        }
    }
    ~restore_key_recorder()
    {
        if (slot_)
            set_slot(reinterpret_cast<void*>(original_));
        instance_ = nullptr;
    }
    restore_key_recorder(const restore_key_recorder&) = delete;
    restore_key_recorder& operator=(const restore_key_recorder&) = delete;

    bool installed() const { return slot_ != nullptr; }
    const std::vector<call>& calls() const { return calls_; }

private:
    using restore_function = LSTATUS(WINAPI*)(HKEY, LPCWSTR, DWORD);

    static void** import_slot(const char* library, const char* name)
    {
        auto* base = reinterpret_cast<BYTE*>(::GetModuleHandleW(nullptr));
        auto* nt = reinterpret_cast<IMAGE_NT_HEADERS*>(base + reinterpret_cast<IMAGE_DOS_HEADER*>(base)->e_lfanew);
        const DWORD imports = nt->OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_IMPORT].VirtualAddress;
        for (auto* d = reinterpret_cast<IMAGE_IMPORT_DESCRIPTOR*>(base + imports); imports && d->Name; ++d) {
            if (::lstrcmpiA(reinterpret_cast<const char*>(base + d->Name), library) != 0)
                continue;
            auto* names = reinterpret_cast<IMAGE_THUNK_DATA*>(base + d->OriginalFirstThunk);
            auto* slots = reinterpret_cast<IMAGE_THUNK_DATA*>(base + d->FirstThunk);
            for (; names->u1.AddressOfData; ++names, ++slots)
                if (!IMAGE_SNAP_BY_ORDINAL(names->u1.Ordinal) &&
                    std::strcmp(reinterpret_cast<IMAGE_IMPORT_BY_NAME*>(base + names->u1.AddressOfData)->Name, name) == 0)
                    return reinterpret_cast<void**>(&slots->u1.Function);
        }
        return nullptr;
    }

    void set_slot(void* function)
    {
        DWORD protection = 0;
        ::VirtualProtect(slot_, sizeof(void*), PAGE_READWRITE, &protection);
        *slot_ = function;
        ::VirtualProtect(slot_, sizeof(void*), protection, &protection);
    }

    static LSTATUS WINAPI record(HKEY key, LPCWSTR file, DWORD flags)
    {
        call c{file ? file : L"", file && fs::exists(file), {}};
        wchar_t name[256] = {};
        DWORD size = sizeof(name);
        if (::RegGetValueW(key, nullptr, L"DisplayName", RRF_RT_REG_SZ, nullptr, name, &size) == ERROR_SUCCESS)
            c.display_name = name;
        instance_->calls_.push_back(c);
        return instance_->original_(key, file, flags);
    }

    static inline restore_key_recorder* instance_ = nullptr;
    void** slot_ = nullptr;
    restore_function original_ = nullptr;
    std::vector<call> calls_;
};

class UninstallKey : public ::testing::Test {
protected:
    void SetUp() override { ::RegDeleteTreeW(HKEY_LOCAL_MACHINE, product_key().c_str()); }
    void TearDown() override { ::RegDeleteTreeW(HKEY_LOCAL_MACHINE, product_key().c_str()); }

    static vt::unique_hkey create_key()
    {
        vt::unique_hkey key;
        EXPECT_EQ(::RegCreateKeyExW(HKEY_LOCAL_MACHINE, product_key().c_str(), 0, nullptr, 0, KEY_ALL_ACCESS,
                                    nullptr, key.put(), nullptr),
                  ERROR_SUCCESS);
        return key;
    }
    static bool key_exists()
    {
        vt::unique_hkey key;
        return ::RegOpenKeyExW(HKEY_LOCAL_MACHINE, product_key().c_str(), 0, KEY_READ, key.put()) == ERROR_SUCCESS;
    }
    static void set_string(HKEY key, const wchar_t* name, const std::wstring& value)
    {
        ::RegSetValueExW(key, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(value.c_str()),
                         DWORD((value.size() + 1) * sizeof(wchar_t)));
    }
    static std::wstring get_string(HKEY root, const std::wstring& key, const wchar_t* name)
    {
        wchar_t buffer[256] = {};
        DWORD size = sizeof(buffer);
        if (::RegGetValueW(root, key.c_str(), name, RRF_RT_REG_SZ, nullptr, buffer, &size) != ERROR_SUCCESS)
            return L"<missing>";
        return buffer;
    }
};

} // namespace

TEST_F(Journal, MissingFolderLevelsAreRecordedOuterFirstAndRemovedInnerFirst)
{
    fs::path outer = root / L"Vantrel Software";
    fs::path inner = outer / L"Tablewright 8";
    fs::path file = inner / L"Tablewright.exe";

    install_journal journal;
    journal.begin_file(file, 1, false);
    EXPECT_TRUE(journal.pending());
    ASSERT_TRUE(fs::is_directory(inner));

    const auto& entries = journal.current_entries();
    ASSERT_EQ(entries.size(), 3u);
    EXPECT_EQ(entries[0].type, journal_type::folder);
    EXPECT_EQ(entries[0].path, outer.wstring());
    EXPECT_TRUE(entries[0].done);
    EXPECT_EQ(entries[0].parameter, -1);
    EXPECT_EQ(entries[1].path, inner.wstring());
    EXPECT_EQ(entries[2].type, journal_type::file);
    EXPECT_EQ(entries[2].path, file.wstring());
    EXPECT_EQ(entries[2].parameter, 1);
    EXPECT_FALSE(entries[2].done);
    EXPECT_TRUE(entries[2].backup.empty()); // nothing was there to replace

    write_bytes(file, "new");
    journal.close_entry(true);
    EXPECT_TRUE(entries[2].done);

    // A second file in the same folder creates no folder entries.
    install(journal, inner / L"fr.dll", 0, false, "module");
    EXPECT_EQ(entries.size(), 4u);

    journal.roll_back();
    EXPECT_TRUE(journal.current_entries().empty());
    EXPECT_FALSE(journal.pending());
    EXPECT_FALSE(fs::exists(outer));
    EXPECT_TRUE(fs::is_directory(root));
}

TEST_F(Journal, ReplacedFileComesBackByteForByte)
{
    fs::path file = root / L"Library.dat";
    std::string original = binary_content(3);
    write_bytes(file, original);

    install_journal journal;
    journal.begin_file(file, 0, false);
    const journal_entry& entry = journal.current_entries().back();
    ASSERT_FALSE(entry.backup.empty());
    EXPECT_TRUE(is_backup_name(entry.backup)) << fs::path(entry.backup).string();
    EXPECT_FALSE(fs::exists(file)) << "moved away, not copied";
    EXPECT_EQ(read_bytes(entry.backup), original);
    std::wstring backup = entry.backup;

    write_bytes(file, binary_content(9));
    journal.close_entry(true);
    journal.roll_back();
    EXPECT_EQ(read_bytes(file), original);
    EXPECT_FALSE(fs::exists(backup));
}

TEST_F(Journal, SharedDataIsBackedUpByCopyAndStaysInPlace)
{
    fs::path file = root / L"Shared.lib";
    std::string original = binary_content(5);
    write_bytes(file, original);

    install_journal journal;
    journal.begin_file(file, 3, true);
    journal.close_entry(true);
    const journal_entry& entry = journal.current_entries().back();
    EXPECT_EQ(entry.parameter, 3);
    ASSERT_FALSE(entry.backup.empty());
    EXPECT_EQ(read_bytes(file), original) << "still in place during the installation";
    EXPECT_EQ(read_bytes(entry.backup), original);

    // After a successful installation the backup goes and the file stays.
    std::wstring backup = entry.backup;
    journal.commit();
    EXPECT_TRUE(journal.current_entries().back().backup.empty());
    EXPECT_FALSE(fs::exists(backup));
    EXPECT_EQ(read_bytes(file), original);
}

TEST_F(Journal, ReadOnlyBackupsAreDeletedOnCommit)
{
    fs::path file = root / L"Tablewright.exe";
    write_bytes(file, "old program");
    ::SetFileAttributesW(file.c_str(), FILE_ATTRIBUTE_READONLY);

    install_journal journal;
    journal.begin_file(file, 1, false);
    std::wstring backup = journal.current_entries().back().backup;
    ASSERT_FALSE(backup.empty()) << "a read-only file can still be moved away";
    write_bytes(file, "new program");
    journal.close_entry(true);
    journal.commit();
    EXPECT_FALSE(fs::exists(backup));
}

// Backup names that collide: with a file the journal did not make (left by an
// earlier run) and with this run's own backup. Each file still gets a backup
// of its own, and nothing the journal did not make is deleted.
TEST_F(Journal, TakenBackupNamesAreNeitherReusedNorDeleted)
{
    const fs::path foreign = fs::temp_directory_path() / L"vt-0f0f0.tmp";
    write_bytes(foreign, "left by an earlier run");
    std::vector<std::uint32_t> names = {0x0f0f0, 0x1a1a1, 0x1a1a1, 0x2b2b2};
    for (const wchar_t* name : {L"vt-1a1a1.tmp", L"vt-2b2b2.tmp"})
        fs::remove(fs::temp_directory_path() / name); // free, whatever ran before
    std::size_t next = 0;
    install_journal journal;
    journal.name_backups_with([&] { return names[std::min(next++, names.size() - 1)]; });

    const fs::path first = root / L"first.dat", second = root / L"second.dat";
    write_bytes(first, "first original");
    write_bytes(second, "second original");
    install(journal, first, 0, false, "first new");
    install(journal, second, 0, false, "second new");
    EXPECT_EQ(read_bytes(foreign), "left by an earlier run");
    journal.roll_back();
    EXPECT_EQ(read_bytes(first), "first original");
    EXPECT_EQ(read_bytes(second), "second original");
    EXPECT_EQ(read_bytes(foreign), "left by an earlier run");
    fs::remove(foreign);
}

// A file this run added and someone made read-only: the rollback still
// removes it and its folder.
TEST_F(Journal, ReadOnlyFileTheRunAddedIsRolledBack)
{
    const fs::path folder = root / L"Created";
    install_journal journal;
    install(journal, folder / L"a.txt", 0, false, "a");
    ASSERT_TRUE(::SetFileAttributesW((folder / L"a.txt").c_str(), FILE_ATTRIBUTE_READONLY));
    journal.roll_back();
    EXPECT_FALSE(fs::exists(folder));
}

TEST_F(Journal, RollbackStopsAtAFolderThatIsNotEmpty)
{
    fs::path folder = root / L"Created";
    install_journal journal;
    install(journal, folder / L"a.txt", 0, false, "a");
    write_bytes(folder / L"user notes.txt", "not ours");

    try {
        journal.roll_back();
        FAIL() << "a folder holding a foreign file cannot be removed";
    } catch (const fs::filesystem_error& error) {
        EXPECT_NE(std::string(error.what()).find("remove"), std::string::npos) << error.what();
        EXPECT_EQ(fs::path(error.path1()), folder);
    }
    EXPECT_FALSE(fs::exists(folder / L"a.txt")) << "later entries were undone before";
    EXPECT_TRUE(fs::exists(folder / L"user notes.txt"));
}

TEST_F(Journal, FilesThatAreAlreadyGoneDoNotStopTheRollback)
{
    fs::path folder = root / L"Created";
    install_journal journal;
    install(journal, folder / L"a.txt", 0, false, "a");
    fs::remove(folder / L"a.txt");
    journal.roll_back();
    EXPECT_FALSE(fs::exists(folder));
}

// A run cut off in the middle of a file: its journal on disk, as the ended
// process left it, lets the next start undo everything, as a rollback
// would, and clean up after it. While the run is alive it is left alone.
TEST_F(Journal, CutRunIsUndoneFromItsFile)
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
        for (const journal_entry& entry : journal.current_entries())
            if (!entry.backup.empty())
                backups.push_back(entry.backup);
        EXPECT_FALSE(install_journal::undo_cut_run(file)) << "its run is alive";
        EXPECT_EQ(read_bytes(added), "half a mod");
    } // cut: no rollback, no commit
    ASSERT_EQ(backups.size(), 2u);

    EXPECT_TRUE(install_journal::undo_cut_run(file));
    EXPECT_EQ(read_bytes(program), binary_content(1));
    EXPECT_TRUE(::GetFileAttributesW(program.c_str()) & FILE_ATTRIBUTE_READONLY);
    EXPECT_EQ(read_bytes(shared), binary_content(2));
    EXPECT_FALSE(fs::exists(root / L"Lang"));
    for (const std::wstring& backup : backups)
        EXPECT_FALSE(fs::exists(backup));
    EXPECT_FALSE(fs::exists(run_folder));
    EXPECT_FALSE(fs::exists(file));
    ::SetFileAttributesW(program.c_str(), FILE_ATTRIBUTE_NORMAL);
}

// Cut after the extraction, the installation stands and only its backups
// go. A run that ends as it should removes its journal itself.
TEST_F(Journal, KeptOrEndedRunsLeaveNoJournal)
{
    const fs::path kept = root / L"vantrel_{kept}.journal", ended = root / L"vantrel_{ended}.journal";
    const fs::path program = root / L"Tablewright.exe";
    write_bytes(program, "old program");
    std::wstring backup;
    {
        install_journal journal;
        journal.record_to(kept);
        install(journal, program, 1, false, "new program");
        backup = journal.current_entries().back().backup;
        journal.keep_changes();
    }
    EXPECT_TRUE(install_journal::undo_cut_run(kept));
    EXPECT_EQ(read_bytes(program), "new program");
    EXPECT_FALSE(fs::exists(backup));
    EXPECT_FALSE(fs::exists(kept));

    install_journal journal;
    journal.record_to(ended);
    install(journal, root / L"added.txt", 0, false, "added");
    journal.roll_back();
    journal.end_record();
    EXPECT_FALSE(fs::exists(ended));
    EXPECT_FALSE(fs::exists(root / L"added.txt"));
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

TEST_F(UninstallKey, KeyThatDidNotExistIsDeletedWithItsSubkeys)
{
    ASSERT_FALSE(key_exists());
    install_journal journal;
    {
        vt::unique_hkey key = create_key();
        journal.begin_uninstall_key(nullptr);
        EXPECT_TRUE(journal.current_entries().back().backup.empty());
        set_string(key.get(), L"DisplayName", L"Tablewright 8");
        vt::unique_hkey sub;
        ::RegCreateKeyExW(key.get(), L"Sub", 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, sub.put(), nullptr);
        journal.close_entry(true);
    }
    journal.roll_back();
    EXPECT_FALSE(key_exists());
}

TEST_F(UninstallKey, KeyThatExistedIsSavedAndRestored)
{
    install_journal journal;
    std::wstring backup;
    {
        vt::unique_hkey key = create_key();
        set_string(key.get(), L"DisplayName", L"Tablewright 8");
        set_string(key.get(), L"DisplayVersion", L"8.11m");
        journal.begin_uninstall_key(key.get());
        backup = journal.current_entries().back().backup;
        ASSERT_FALSE(backup.empty()) << "RegSaveKeyW failed";
        EXPECT_TRUE(is_backup_name(backup));
        set_string(key.get(), L"DisplayVersion", L"8.11n");
        set_string(key.get(), L"Added", L"by this run");
        journal.close_entry(true);
    }

    // The saved file holds the key as it was before this run.
    ASSERT_TRUE(set_privilege(L"SeRestorePrivilege", true));
    ASSERT_TRUE(set_privilege(L"SeBackupPrivilege", true));
    ASSERT_EQ(::RegLoadKeyW(HKEY_LOCAL_MACHINE, L"vt-journal-saved", backup.c_str()), ERROR_SUCCESS);
    EXPECT_EQ(get_string(HKEY_LOCAL_MACHINE, L"vt-journal-saved", L"DisplayVersion"), L"8.11m");
    EXPECT_EQ(get_string(HKEY_LOCAL_MACHINE, L"vt-journal-saved", L"Added"), L"<missing>");
    ::RegUnLoadKeyW(HKEY_LOCAL_MACHINE, L"vt-journal-saved");

    {
        restore_key_recorder restores;
        ASSERT_TRUE(restores.installed()) << "this program imports no RegRestoreKeyW";
        journal.roll_back();
        // The rollback restores the product's key from the saved file, while
        // that file is still there.
        ASSERT_EQ(restores.calls().size(), 1u) << "the key is restored once";
        EXPECT_EQ(restores.calls()[0].file, backup);
        EXPECT_TRUE(restores.calls()[0].file_existed);
        EXPECT_EQ(restores.calls()[0].display_name, L"Tablewright 8") << "into the product's key";
    }
    EXPECT_TRUE(key_exists());
    EXPECT_FALSE(fs::exists(backup)) << "the saved key is not left in the temporary folder";
    EXPECT_EQ(get_string(HKEY_LOCAL_MACHINE, product_key(), L"DisplayName"), L"Tablewright 8");
    // What the restored key holds can only be checked where RegRestoreKeyW
    // works: Wine's reports success without restoring anything, so there the
    // call above is the check.
    if (!::GetProcAddress(::GetModuleHandleW(L"ntdll.dll"), "wine_get_version")) {
        EXPECT_EQ(get_string(HKEY_LOCAL_MACHINE, product_key(), L"DisplayVersion"), L"8.11m");
        EXPECT_EQ(get_string(HKEY_LOCAL_MACHINE, product_key(), L"Added"), L"<missing>");
    }
}
