// Uninstall.ulog on Wine's real file system: the exact bytes the writer
// leaves, the reader's rules, and the merge with the earlier installation's
// log.

#include "resources/product.h"
#include "engine/install_journal.h"
#include "engine/uninstall_log_parser.h"
#include "scratch_folder.h"
#include "support/protected_folder.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <tuple>
#include <vector>

namespace fs = std::filesystem;

namespace {

using portable_test::read_bytes;
using portable_test::write_bytes;

// UTF-16 little-endian with its byte-order mark, as the installer writes.
std::string utf16_bytes(const std::wstring& text)
{
    return "\xFF\xFE" + std::string(reinterpret_cast<const char*>(text.data()), text.size() * sizeof(wchar_t));
}

std::wstring header(const std::wstring& install, const std::wstring& shortcuts,
                    const std::wstring& product = L"Tablewright 8.11m")
{
    return L"// Uninstall Log File v1\r\n"
           L"// ############ WARNING: Do not delete or modify this file. ############\r\n"
           L"// Install " + product + L"\r\n// Install Path : " + install + L"\r\n// Shortcut Path : " + shortcuts +
           L"\r\n// " + std::wstring(100, L'-') + L"\r\n";
}

// Entry lines numbered from 0 in the order given.
std::wstring numbered(const std::vector<std::wstring>& entries)
{
    std::wstring text;
    for (std::size_t n = 0; n < entries.size(); ++n) {
        const std::wstring number = std::to_wstring(n);
        text += std::wstring(4 - number.size(), L'0') + number + L":" + entries[n] + L"\r\n";
    }
    return text;
}

class UninstallLog : public ::testing::Test {
protected:
    void SetUp() override
    {
        fs::create_directories(install_folder);
        fs::create_directories(shortcut_folder);
    }

    const portable_test::scratch_folder folder{"ulog"};
    const fs::path& root = folder.path();
    fs::path install_folder = root / L"Tablewright 8";
    fs::path shortcut_folder = root / L"Programs";
    fs::path log = install_folder / L"Uninstall.ulog";
    const vt::protected_folder installer{root / L"installer"};

    // Backups are made beside a run's journal.
    void record(install_journal& journal) const
    {
        journal.record_to(installer.path() / L"vantrel_{log}.journal",
                          {1, install_folder.wstring(), shortcut_folder.wstring()});
    }
};

// The parser fed line by line until it refuses one.
uninstall_log_parser parse(std::initializer_list<std::wstring_view> lines)
{
    uninstall_log_parser parser;
    for (auto line : lines)
        if (!parser.take_line(line))
            break;
    return parser;
}

const std::wstring_view version_line = L"// Uninstall Log File v1";

} // namespace

// An installation that created a folder and installed three files (one
// replacing an older one), both shortcuts, the uninstall key, the
// registration and DirectX.
TEST_F(UninstallLog, WrittenBytesFollowTheFormatAndReadBackTheSame)
{
    install_journal first;
    record(first);
    std::ofstream(install_folder / L"fr.dll") << "older module";
    for (auto [path, kind] : {std::pair{install_folder / L"Bin" / L"Tablewright.exe", 1},
                              {install_folder / L"fr.dll", 0}, {install_folder / L"Uninstall.exe", 2}}) {
        first.begin_file(path, kind, false);
        std::ofstream(path) << "content";
        first.close_entry(true);
    }
    first.begin_shortcut(false, shortcut_folder);
    first.close_entry(true, (shortcut_folder / L"Tablewright 8.11n.lnk").wstring());
    first.begin_shortcut(true, root);
    first.close_entry(false);
    first.begin_uninstall_key(nullptr);
    first.close_entry(true);
    first.begin_registration();
    first.close_entry(false);
    first.begin_directx();
    first.close_entry(true);
    const std::wstring backup = first.current_entries()[2].backup;
    ASSERT_FALSE(backup.empty()) << "fr.dll replaced an older file";
    const std::wstring i = install_folder.wstring(), s = shortcut_folder.wstring();
    ASSERT_TRUE(first.write_log(log, i, s));
    EXPECT_FALSE(fs::exists(backup)) << "writing the log ends the chance of a rollback";
    // Read-only and archive; Wine does not keep the not-content-indexed flag
    // (0x2000) that Windows adds to them.
    EXPECT_EQ(::GetFileAttributesW(log.c_str()) & ~DWORD(FILE_ATTRIBUTE_NOT_CONTENT_INDEXED), 0x21u);
    const std::vector<std::wstring> entries = {
        L"00ff:1 -- " + i + L"\\Bin",
        L"0101:1 -- " + i + L"\\Bin\\Tablewright.exe",
        L"0100:1 -- " + i + L"\\fr.dll",
        L"0102:1 -- " + i + L"\\Uninstall.exe",
        L"02ff:1 -- " + s + L"\\Tablewright 8.11n.lnk",
        L"04ff:0 -- ",
        L"05ff:1 -- HKEY_LOCAL_MACHINE\\Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\Tablewright 8",
        L"06ff:0 -- HKEY_CLASSES_ROOT\\...",
        L"07ff:1 -- DirectX Update",
    };
    EXPECT_EQ(read_bytes(log), utf16_bytes(header(i, s, L"Tablewright 8.11n") + numbered(entries)));

    // The next installation reads it and installs the program again (spelled
    // differently) and the Start-menu link, nothing else. It replaces the
    // read-only log, says what it updated and lists its own entries, then
    // every earlier one it did not repeat, as it was.
    install_journal next;
    next.read_log(log);
    EXPECT_EQ(next.previous_install_folder(), i);
    EXPECT_EQ(next.previous_shortcut_folder(), s);
    EXPECT_EQ(next.previous_product_text(), product_name(true));
    EXPECT_TRUE(next.desktop_shortcut_default()) << "the log lists a desktop link, even one not made";
    EXPECT_TRUE(next.previous_done(journal_type::directx));
    EXPECT_FALSE(next.previous_done(journal_type::registration));
    EXPECT_TRUE(next.previous_file_done(install_folder / L"FR.DLL"));
    EXPECT_FALSE(next.previous_file_done(install_folder / L"de.dll"));
    const fs::path program = install_folder / L"." / L"Bin" / L"TABLEWRIGHT.EXE";
    next.begin_file(program, 1, false);
    std::ofstream(program) << "new";
    next.close_entry(true);
    next.begin_shortcut(false, shortcut_folder);
    next.close_entry(true, (shortcut_folder / L"Tablewright 8.11n.lnk").wstring());
    ASSERT_TRUE(next.write_log(log, i, s));
    EXPECT_TRUE(next.previous_entries().empty());
    const std::vector<std::wstring> update = {L"0101:1 -- " + program.wstring(), entries[4], entries[0],
                                              entries[2], entries[3], entries[5], entries[6], entries[7], entries[8]};
    EXPECT_EQ(read_bytes(log), utf16_bytes(header(i, s, L"Tablewright 8.11n -- Update (Tablewright 8.11n)") +
                                           numbered(update)));
}

TEST_F(UninstallLog, ReaderStopsAtTheFirstBrokenRuleAndKeepsWhatCameBefore)
{
    const std::wstring head = header(install_folder.wstring(), shortcut_folder.wstring());
    // Each reading replaces what the one before gave.
    install_journal journal;
    auto read = [&](const std::wstring& text) {
        write_bytes(log, utf16_bytes(text));
        journal.read_log(log);
    };
    read(head + L"0000:0100:1 -- C:\\a\r\n0001:0a00:1 -- C:\\b\r\n0002:0100:1 -- C:\\c\r\n");
    EXPECT_EQ(journal.previous_entries().size(), 1u) << "type 10 is out of range";
    EXPECT_EQ(journal.previous_install_folder(), install_folder.wstring());

    EXPECT_FALSE(journal.desktop_shortcut_default()) << "a log was read and lists no desktop link";

    // Blank lines are skipped without being counted, trailing blanks ignored;
    // the update remark is not part of the product text.
    read(L"\r\n\t\r\n" + header(install_folder.wstring(), shortcut_folder.wstring(),
                                L"Tablewright 8.11m -- Update (Tablewright 8.11l)  ") +
         L"\r\n0000:04ff:1 -- C:\\Users\\Public\\Desktop\\T.lnk \t\r\n");
    ASSERT_EQ(journal.previous_entries().size(), 1u);
    EXPECT_EQ(journal.previous_entries()[0].path, L"C:\\Users\\Public\\Desktop\\T.lnk");
    EXPECT_EQ(journal.previous_product_text(), L"Tablewright 8.11m");
    EXPECT_TRUE(journal.desktop_shortcut_default());

    // Folders that are gone are not proposed again; the entries still count.
    read(header(L"C:\\No Such Folder", L"C:\\No Menu") + L"0000:0100:1 -- C:\\a\r\n");
    EXPECT_TRUE(journal.previous_install_folder().empty());
    EXPECT_TRUE(journal.previous_shortcut_folder().empty());
    EXPECT_EQ(journal.previous_entries().size(), 1u);

    // An empty path only resets the folders and the desktop default.
    read(head);
    journal.read_log(L"");
    EXPECT_TRUE(journal.previous_install_folder().empty());
    EXPECT_TRUE(journal.desktop_shortcut_default());
}

// Of what the previous log names, only the earlier link of the kind makes
// way for the new one, kept aside while the run can still be undone.
TEST_F(UninstallLog, OnlyThePreviousLinkMakesWayForTheNewOne)
{
    const fs::path old_link = shortcut_folder / L"Tablewright 8.11m.lnk", not_a_link = root / L"notes.txt";
    std::ofstream(old_link) << "old link";
    std::ofstream(not_a_link) << "precious";
    write_bytes(log, utf16_bytes(header(install_folder.wstring(), shortcut_folder.wstring()) +
                                 L"0000:04ff:1 -- " + not_a_link.wstring() + L"\r\n" +
                                 L"0001:04ff:1 -- " + root.wstring() + L"\r\n" +
                                 L"0002:02ff:1 -- " + old_link.wstring() + L"\r\n"));
    install_journal journal;
    journal.read_log(log);
    record(journal);

    // Desktop: the log names only things that are no links; they stay.
    journal.begin_shortcut(true, root);
    EXPECT_TRUE(journal.current_entries().back().backup.empty());
    journal.close_entry(false);
    EXPECT_EQ(read_bytes(not_a_link), "precious");
    EXPECT_TRUE(fs::is_directory(root));

    journal.begin_shortcut(false, shortcut_folder);
    EXPECT_FALSE(fs::exists(old_link));
    EXPECT_EQ(read_bytes(journal.current_entries().back().backup), "old link");
    journal.close_entry(true, (shortcut_folder / L"Tablewright 8.11n.lnk").wstring());
    journal.commit(); // as the finished installation does: the backup goes
}

TEST(UninstallLogParser, EntryLinesInEveryAcceptedFormAndNoOther)
{
    const struct {
        std::wstring_view line;
        journal_type type;
        std::int32_t parameter;
        bool done;
        std::wstring path; // the key's and the registration's texts are no paths
    } cases[] = {
        {L"0000:0100:1 -- C:\\a", journal_type::file, 0, true, L"C:\\a"},
        {L"7:7FF:0--  x", journal_type::directx, -1, false, L"x"},
        {L"  12:0:1 --", journal_type::folder, 0, true, L""},
        {L"0003:05ff:1 -- HKEY_LOCAL_MACHINE\\Software", journal_type::uninstall_key, -1, true, L""},
        {L"0004:06FF:0 -- HKEY_CLASSES_ROOT\\...", journal_type::registration, -1, false, L""},
        {L"99:0305:1 -- D:\\legacy", journal_type::reserved, 5, true, L"D:\\legacy"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::PrintToString(std::wstring(c.line)));
        auto parser = parse({version_line, c.line});
        ASSERT_EQ(parser.entries().size(), 1u);
        const journal_entry& e = parser.entries()[0];
        EXPECT_EQ(std::tie(e.type, e.parameter, e.done, e.path), std::tie(c.type, c.parameter, c.done, c.path));
    }

    EXPECT_TRUE(parse({L"// Uninstall Log File v2", L"0000:0100:1 -- C:\\a"}).entries().empty())
        << "a log of a later format is not read";
    EXPECT_TRUE(parse({L"0000:0100:1 -- C:\\a"}).entries().empty()) << "an entry before the version line";

    // A malformed line stops the reading: what came before is kept.
    const std::wstring too_long(uninstall_log_max_line + 1, L'a');
    const std::wstring with_nul(L"0000:0100:1 -- C:\\a\0\\..\\b", 25);
    for (std::wstring_view bad : std::initializer_list<std::wstring_view>{
             L"-001:0100:1 -- x", L"+1:0100:1 -- x", L"99999999999:0100:1 -- x", L"0000:100000000:1 -- x",
             L"0000:0800:1 -- x", L"0000:0100:2 -- x", L"0000:0100:10 -- x", L"0000:0100:1 - x",
             L"0000:0100:1 --x", L"0000:0100:1", L"0000 0100:1 -- x", L"0000:0x100:1 -- x", L":0100:1 -- x",
             L"0000::1 -- x", L"garbage", with_nul, too_long}) {
        SCOPED_TRACE(testing::PrintToString(std::wstring(bad.substr(0, 40))));
        auto parser = parse({version_line, L"0000:0100:1 -- C:\\kept", bad, L"0002:0100:1 -- C:\\after"});
        ASSERT_EQ(parser.entries().size(), 1u);
        EXPECT_EQ(parser.entries()[0].path, L"C:\\kept");
    }
}
