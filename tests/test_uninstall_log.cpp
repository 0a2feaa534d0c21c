// Uninstall.ulog on Wine's real file system: the exact bytes the writer
// leaves, the reader's rules, and the merge with the earlier installation's
// log.

#include "resources/product.h"
#include "engine/install_journal.h"
#include "engine/uninstall_log_parser.h"
#include "scratch_folder.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>
#include <random>
#include <string>
#include <vector>

namespace fs = std::filesystem;

namespace {

using portable_test::read_bytes;
using portable_test::write_bytes;

// UTF-16 little-endian with its byte-order mark, as the installer writes.
std::string utf16_bytes(const std::wstring& text)
{
    std::string bytes = "\xFF\xFE";
    for (wchar_t c : text) {
        bytes.push_back(char(c & 0xFF));
        bytes.push_back(char((c >> 8) & 0xFF));
    }
    return bytes;
}

std::wstring from_utf16(const std::string& bytes)
{
    std::wstring text;
    for (std::size_t i = 0; i + 1 < bytes.size(); i += 2)
        text.push_back(wchar_t((unsigned char)bytes[i] | ((unsigned char)bytes[i + 1] << 8)));
    return text;
}

std::wstring header(const std::wstring& install, const std::wstring& shortcuts, const wchar_t* newline = L"\r\n")
{
    return L"// Uninstall Log File v1" + std::wstring(newline) +
           L"// ############ WARNING: Do not delete or modify this file. ############" + newline +
           L"// Install Tablewright 8.11m" + newline + L"// Install Path : " + install + newline +
           L"// Shortcut Path : " + shortcuts + newline + L"// " + std::wstring(100, L'-') + newline;
}

void expect_same_entries(const std::vector<journal_entry>& actual, const std::vector<journal_entry>& expected)
{
    ASSERT_EQ(actual.size(), expected.size());
    for (std::size_t i = 0; i < actual.size(); ++i) {
        SCOPED_TRACE(i);
        EXPECT_EQ(actual[i].type, expected[i].type);
        EXPECT_EQ(actual[i].path, expected[i].path);
        EXPECT_EQ(actual[i].done, expected[i].done);
        EXPECT_EQ(actual[i].parameter, expected[i].parameter);
        EXPECT_TRUE(actual[i].backup.empty());
    }
}

class UninstallLog : public ::testing::Test {
protected:
    void SetUp() override
    {
        const auto* test = ::testing::UnitTest::GetInstance()->current_test_info();
        root = fs::temp_directory_path() / (std::string("vt-ulog-test-") + test->name());
        remove_root();
        install_folder = root / L"Tablewright 8";
        shortcut_folder = root / L"Programs";
        fs::create_directories(install_folder);
        fs::create_directories(shortcut_folder);
        log = install_folder / L"Uninstall.ulog";
    }
    void TearDown() override { remove_root(); }
    void remove_root()
    {
        std::error_code ignored;
        if (fs::exists(root)) {
            for (auto& item : fs::recursive_directory_iterator(root, ignored))
                ::SetFileAttributesW(item.path().c_str(), FILE_ATTRIBUTE_NORMAL);
        }
        fs::remove_all(root, ignored);
    }

    // The journal of an installation that created a folder and installed three
    // files (one replacing an older one), both shortcuts, the uninstall key,
    // the registration and DirectX.
    void record_installation(install_journal& journal)
    {
        fs::path program = install_folder / L"Bin" / L"Tablewright.exe";
        std::ofstream(install_folder / L"fr.dll") << "older module";
        for (auto [path, kind] : {std::pair{program, 1}, {install_folder / L"fr.dll", 0},
                                  {install_folder / L"Uninstall.exe", 2}}) {
            journal.begin_file(path, kind, false);
            std::ofstream(path) << "content";
            journal.close_entry(true);
        }
        journal.begin_shortcut(false, shortcut_folder);
        journal.close_entry(true, (shortcut_folder / L"Tablewright 8.11n.lnk").wstring());
        journal.begin_shortcut(true, root);
        journal.close_entry(false);
        journal.begin_uninstall_key(nullptr);
        journal.close_entry(true);
        journal.begin_registration();
        journal.close_entry(false);
        journal.begin_directx();
        journal.close_entry(true);
    }

    fs::path root;
    fs::path install_folder;
    fs::path shortcut_folder;
    fs::path log;
};

} // namespace

TEST_F(UninstallLog, WrittenBytesFollowTheFormat)
{
    install_journal journal;
    record_installation(journal);
    std::wstring backup = journal.current_entries()[2].backup;
    ASSERT_FALSE(backup.empty()) << "fr.dll replaced an older file";

    ASSERT_TRUE(journal.write_log(log, install_folder.wstring(), shortcut_folder.wstring()));
    EXPECT_FALSE(fs::exists(backup)) << "writing the log ends the chance of a rollback";
    // Read-only and archive; Wine does not keep the not-content-indexed flag
    // (0x2000) that Windows adds to them.
    DWORD attributes = ::GetFileAttributesW(log.c_str());
    EXPECT_EQ(attributes & ~DWORD(FILE_ATTRIBUTE_NOT_CONTENT_INDEXED), 0x21u);

    const std::wstring i = install_folder.wstring();
    std::wstring expected =
        L"// Uninstall Log File v1\r\n"
        L"// ############ WARNING: Do not delete or modify this file. ############\r\n"
        L"// Install Tablewright 8.11n\r\n"
        L"// Install Path : " + i + L"\r\n"
        L"// Shortcut Path : " + shortcut_folder.wstring() + L"\r\n"
        L"// " + std::wstring(100, L'-') + L"\r\n"
        L"0000:00ff:1 -- " + i + L"\\Bin\r\n"
        L"0001:0101:1 -- " + i + L"\\Bin\\Tablewright.exe\r\n"
        L"0002:0100:1 -- " + i + L"\\fr.dll\r\n"
        L"0003:0102:1 -- " + i + L"\\Uninstall.exe\r\n"
        L"0004:02ff:1 -- " + shortcut_folder.wstring() + L"\\Tablewright 8.11n.lnk\r\n"
        L"0005:04ff:0 -- \r\n"
        L"0006:05ff:1 -- HKEY_LOCAL_MACHINE\\Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\Tablewright 8\r\n"
        L"0007:06ff:0 -- HKEY_CLASSES_ROOT\\...\r\n"
        L"0008:07ff:1 -- DirectX Update\r\n";
    std::string bytes = read_bytes(log);
    ASSERT_GE(bytes.size(), 2u);
    EXPECT_EQ(bytes.substr(0, 2), "\xFF\xFE");
    EXPECT_EQ(from_utf16(bytes.substr(2)), expected);
}

TEST_F(UninstallLog, WhatIsWrittenReadsBackTheSame)
{
    install_journal first;
    record_installation(first);
    std::vector<journal_entry> written = first.current_entries();
    ASSERT_TRUE(first.write_log(log, install_folder.wstring(), shortcut_folder.wstring()));

    install_journal next;
    next.read_log(log);
    EXPECT_EQ(next.previous_install_folder(), install_folder.wstring());
    EXPECT_EQ(next.previous_shortcut_folder(), shortcut_folder.wstring());
    EXPECT_EQ(next.previous_product_text(), product_name(true));
    EXPECT_TRUE(next.desktop_shortcut_default()) << "the log lists a desktop link, even one not made";
    // The key and the registration are fixed texts, not kept; DirectX's is.
    written[6].path.clear();
    written[7].path.clear();
    written[8].path = L"DirectX Update";
    for (auto& e : written)
        e.backup.clear();
    expect_same_entries(next.previous_entries(), written);
    EXPECT_TRUE(next.previous_done(journal_type::directx));
    EXPECT_FALSE(next.previous_done(journal_type::registration));
    EXPECT_TRUE(next.previous_file_done(install_folder / L"FR.DLL"));
    EXPECT_FALSE(next.previous_file_done(install_folder / L"de.dll"));

    // The next installation replaces the read-only log of the previous one and
    // says what it updated.
    next.begin_directx();
    next.close_entry(true);
    ASSERT_TRUE(next.write_log(log, install_folder.wstring(), shortcut_folder.wstring()));
    std::wstring text = from_utf16(read_bytes(log).substr(2));
    EXPECT_NE(text.find(L"\r\n// Install Tablewright 8.11n -- Update (Tablewright 8.11n)\r\n"), std::wstring::npos);
    EXPECT_NE(text.find(L"\r\n0000:07ff:1 -- DirectX Update\r\n"), std::wstring::npos) << "this run first";
}

TEST_F(UninstallLog, MergeKeepsEarlierEntriesNotRepeatedWithTheirOldState)
{
    fs::path sample = install_folder / L"Samples" / L"Chair.tw8";
    fs::path texture = install_folder / L"Samples" / L"Oak.png";
    fs::path program = install_folder / L"Tablewright.exe";
    fs::create_directories(sample.parent_path());
    std::ofstream(sample) << "chair";
    std::ofstream(program) << "old";
    std::wstring old_log =
        header(install_folder.wstring(), shortcut_folder.wstring()) +
        L"0000:00ff:1 -- " + sample.parent_path().wstring() + L"\r\n" +
        L"0001:0101:1 -- " + program.wstring() + L"\r\n" +
        L"0002:0104:1 -- " + sample.wstring() + L"\r\n" +
        L"0003:0104:0 -- " + texture.wstring() + L"\r\n" +
        L"0004:02ff:1 -- " + (shortcut_folder / L"Tablewright 8.11m.lnk").wstring() + L"\r\n" +
        L"0005:0300:1 -- " + (root / L"legacy.txt").wstring() + L"\r\n" +
        L"0006:07ff:1 -- DirectX Update\r\n";
    write_bytes(log, utf16_bytes(old_log));

    install_journal journal;
    journal.read_log(log);
    ASSERT_EQ(journal.previous_entries().size(), 7u);
    EXPECT_FALSE(journal.desktop_shortcut_default());

    // This update installs the program again (spelled differently) and the
    // Start-menu link, but no samples and no DirectX.
    fs::path program_spelling = install_folder / L"." / L"TABLEWRIGHT.EXE";
    journal.begin_file(program_spelling, 1, false);
    std::ofstream(program_spelling) << "new";
    journal.close_entry(true);
    journal.begin_shortcut(false, shortcut_folder);
    journal.close_entry(true, (shortcut_folder / L"Tablewright 8.11n.lnk").wstring());
    ASSERT_TRUE(journal.write_log(log, install_folder.wstring(), shortcut_folder.wstring()));
    EXPECT_TRUE(journal.previous_entries().empty());

    std::wstring text = from_utf16(read_bytes(log).substr(2));
    std::wstring entries = text.substr(text.find(std::wstring(100, L'-')) + 102);
    EXPECT_EQ(entries,
              L"0000:0101:1 -- " + program_spelling.wstring() + L"\r\n" +
              L"0001:02ff:1 -- " + (shortcut_folder / L"Tablewright 8.11n.lnk").wstring() + L"\r\n" +
              L"0002:00ff:1 -- " + sample.parent_path().wstring() + L"\r\n" +
              L"0003:0104:1 -- " + sample.wstring() + L"\r\n" +
              L"0004:0104:0 -- " + texture.wstring() + L"\r\n" +
              L"0005:0300:1 -- " + (root / L"legacy.txt").wstring() + L"\r\n" +
              L"0006:07ff:1 -- DirectX Update\r\n");
}

TEST_F(UninstallLog, ReaderStopsAtTheFirstBrokenRuleAndKeepsWhatCameBefore)
{
    const std::wstring head = header(install_folder.wstring(), shortcut_folder.wstring());
    auto read = [&](const std::wstring& text) {
        write_bytes(log, utf16_bytes(text));
        auto journal = std::make_unique<install_journal>();
        journal->read_log(log);
        return journal;
    };

    auto good = read(head + L"0000:0100:1 -- C:\\a\r\n0001:0a00:1 -- C:\\b\r\n0002:0100:1 -- C:\\c\r\n");
    ASSERT_EQ(good->previous_entries().size(), 1u) << "type 10 is out of range";
    EXPECT_EQ(good->previous_entries()[0].path, L"C:\\a");
    EXPECT_EQ(good->previous_install_folder(), install_folder.wstring());

    std::wstring version2 = head;
    version2.replace(version2.find(L"v1"), 2, L"v2");
    auto newer = read(version2 + L"0000:0100:1 -- C:\\a\r\n");
    EXPECT_TRUE(newer->previous_entries().empty());
    EXPECT_TRUE(newer->previous_install_folder().empty());

    auto headless = read(L"\r\n  \r\n0000:0100:1 -- C:\\a\r\n");
    EXPECT_TRUE(headless->previous_entries().empty()) << "an entry before the version line";
    EXPECT_FALSE(headless->desktop_shortcut_default()) << "a log was read and lists no desktop link";

    // Blank lines are skipped without being counted, trailing blanks ignored;
    // the update remark is not part of the product text.
    std::wstring spaced = head;
    spaced.insert(0, L"\r\n\t\r\n");
    spaced.replace(spaced.find(L"8.11m"), 5, L"8.11m -- Update (Tablewright 8.11l)  ");
    auto blank = read(spaced + L"\r\n0000:04ff:1 -- C:\\Users\\Public\\Desktop\\T.lnk \t\r\n");
    ASSERT_EQ(blank->previous_entries().size(), 1u);
    EXPECT_EQ(blank->previous_entries()[0].path, L"C:\\Users\\Public\\Desktop\\T.lnk");
    EXPECT_EQ(blank->previous_product_text(), L"Tablewright 8.11m");
    EXPECT_TRUE(blank->desktop_shortcut_default());

    // Folders that are gone are not proposed again; the entries still count.
    auto moved = read(header(L"C:\\No Such Folder", L"C:\\No Menu") + L"0000:0100:1 -- C:\\a\r\n");
    EXPECT_TRUE(moved->previous_install_folder().empty());
    EXPECT_TRUE(moved->previous_shortcut_folder().empty());
    EXPECT_EQ(moved->previous_entries().size(), 1u);

    // Reading again replaces what an earlier reading gave; an empty path
    // only resets the folders and the desktop default.
    good->read_log(L"");
    EXPECT_TRUE(good->previous_install_folder().empty());
    EXPECT_TRUE(good->desktop_shortcut_default());
    good->read_log(log);
    EXPECT_EQ(good->previous_entries().size(), 1u);
}

TEST_F(UninstallLog, PreviousLinkMakesWayForTheNewOneAndIsNotLostOnRollback)
{
    fs::path old_link = shortcut_folder / L"Tablewright 8.11m.lnk";
    fs::path not_a_link = root / L"notes.txt";
    std::ofstream(old_link) << "old link";
    std::ofstream(not_a_link) << "precious";
    write_bytes(log, utf16_bytes(header(install_folder.wstring(), shortcut_folder.wstring()) +
                                 L"0000:04ff:1 -- " + not_a_link.wstring() + L"\r\n" +
                                 L"0001:04ff:1 -- " + root.wstring() + L"\r\n" +
                                 L"0002:02ff:1 -- " + old_link.wstring() + L"\r\n"));
    install_journal journal;
    journal.read_log(log);
    ASSERT_EQ(journal.previous_entries().size(), 3u);

    // Desktop: the log names only things that are no links; they stay.
    journal.begin_shortcut(true, root);
    EXPECT_TRUE(journal.current_entries().back().backup.empty());
    journal.close_entry(false);
    EXPECT_TRUE(fs::exists(not_a_link));

    journal.begin_shortcut(false, shortcut_folder);
    std::wstring backup = journal.current_entries().back().backup;
    ASSERT_FALSE(backup.empty());
    EXPECT_FALSE(fs::exists(old_link));
    fs::path new_link = shortcut_folder / L"Tablewright 8.11n.lnk";
    std::ofstream(new_link) << "new link";
    journal.close_entry(true, new_link.wstring());

    // A rollback knows only the entry's path: the earlier link comes back
    // under it. (The installation never rolls back after its shortcut step.)
    journal.roll_back();
    EXPECT_EQ(read_bytes(new_link), "old link");
    EXPECT_FALSE(fs::exists(backup));
    EXPECT_EQ(read_bytes(not_a_link), "precious");
    EXPECT_TRUE(fs::is_directory(root));
}

// ---- Damaged and hostile logs -------------------------------------------

namespace {

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

TEST(UninstallLogParser, EntryLinesInEveryAcceptedForm)
{
    auto parser = parse({version_line, L"0000:0100:1 -- C:\\a", L"7:7FF:0--  x", L"  12:0:1 --",
                         L"0003:05ff:1 -- HKEY_LOCAL_MACHINE\\Software", L"0004:06FF:0 -- HKEY_CLASSES_ROOT\\...",
                         L"99:0305:1 -- D:\\legacy"});
    const auto& entries = parser.entries();
    ASSERT_EQ(entries.size(), 6u);
    EXPECT_EQ(entries[0].type, journal_type::file);
    EXPECT_EQ(entries[0].parameter, 0);
    EXPECT_TRUE(entries[0].done);
    EXPECT_EQ(entries[0].path, L"C:\\a");
    EXPECT_EQ(entries[1].type, journal_type::directx);
    EXPECT_EQ(entries[1].parameter, -1);
    EXPECT_FALSE(entries[1].done);
    EXPECT_EQ(entries[1].path, L"x");
    EXPECT_EQ(entries[2].type, journal_type::folder);
    EXPECT_EQ(entries[2].parameter, 0);
    EXPECT_EQ(entries[2].path, L"");
    EXPECT_EQ(entries[3].type, journal_type::uninstall_key);
    EXPECT_EQ(entries[3].path, L"") << "the key's text is not a path";
    EXPECT_EQ(entries[4].type, journal_type::registration);
    EXPECT_EQ(entries[4].path, L"");
    EXPECT_EQ(entries[5].type, journal_type::reserved);
    EXPECT_EQ(entries[5].parameter, 5);
}

TEST(UninstallLogParser, MalformedEntriesStopTheReading)
{
    const std::wstring too_long(uninstall_log_max_line + 1, L'a');
    const std::wstring with_nul(L"0000:0100:1 -- C:\\a\0\\..\\b", 25);
    for (std::wstring_view bad : {std::wstring_view(L"-001:0100:1 -- x"), std::wstring_view(L"+1:0100:1 -- x"),
                                  std::wstring_view(L"99999999999:0100:1 -- x"),
                                  std::wstring_view(L"0000:100000000:1 -- x"), std::wstring_view(L"0000:0800:1 -- x"),
                                  std::wstring_view(L"0000:0100:2 -- x"), std::wstring_view(L"0000:0100:10 -- x"),
                                  std::wstring_view(L"0000:0100:1 - x"), std::wstring_view(L"0000:0100:1 --x"),
                                  std::wstring_view(L"0000:0100:1"), std::wstring_view(L"0000 0100:1 -- x"),
                                  std::wstring_view(L"0000:0x100:1 -- x"), std::wstring_view(L":0100:1 -- x"),
                                  std::wstring_view(L"0000::1 -- x"), std::wstring_view(L"garbage"),
                                  std::wstring_view(with_nul), std::wstring_view(too_long)}) {
        SCOPED_TRACE(std::string(bad.begin(), bad.begin() + std::min<std::size_t>(bad.size(), 40)));
        auto parser = parse({version_line, L"0000:0100:1 -- C:\\kept", bad, L"0002:0100:1 -- C:\\after"});
        ASSERT_EQ(parser.entries().size(), 1u);
        EXPECT_EQ(parser.entries()[0].path, L"C:\\kept");
    }
}
