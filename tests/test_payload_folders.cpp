// Destination macros, the shared folders they record, and the list of
// access entries that opens shared folders and files to the users group.

#include "payload/compress_error.h"
#include "payload/payload_writer.h"
#include "payload/security.h"
#include "payload_test_support.h"
#include "support/known_folder.h"
#include "support/unique_any.h"

#include <gtest/gtest.h>

#include <sddl.h>
#include <shlobj.h>

using namespace payload_test;

namespace {

// The DACL entries as "type flags mask sid", type A (allow) or D (deny).
std::vector<std::wstring> entries_of(PSECURITY_DESCRIPTOR descriptor)
{
    BOOL present = FALSE, defaulted = FALSE;
    PACL acl = nullptr;
    if (!::GetSecurityDescriptorDacl(descriptor, &present, &acl, &defaulted) || !present || !acl)
        return {L"no list"};
    std::vector<std::wstring> out;
    for (DWORD i = 0; i < acl->AceCount; ++i) {
        ACCESS_ALLOWED_ACE* entry = nullptr;
        ::GetAce(acl, i, reinterpret_cast<void**>(&entry));
        wchar_t text[64];
        swprintf(text, 64, L"%lc 0x%02x 0x%08lx ", entry->Header.AceType == ACCESS_DENIED_ACE_TYPE ? L'D' : L'A',
                 entry->Header.AceFlags, static_cast<unsigned long>(entry->Mask));
        vt::unique_local sid;
        ::ConvertSidToStringSidW(&entry->SidStart, reinterpret_cast<LPWSTR*>(sid.put()));
        out.push_back(text + std::wstring(sid ? static_cast<const wchar_t*>(sid.get()) : L"?"));
    }
    return out;
}

} // namespace

TEST(ResolveDestination, MacrosBecomeFoldersAndSharedFoldersAreRecordedOnce)
{
    const fs::path common = vt::known_folder(FOLDERID_ProgramData), vendor = common / L"Vantrel Software";
    const fs::path samples = fs::path(vt::known_folder(FOLDERID_PublicDesktop)) / L"Tablewright Examples";
    payload_writer writer(L"D:\\Apps\\Tablewright", L"Tablewright Examples", L"C:\\Temp\\vantrel_{x}", {});
    const std::pair<const wchar_t*, fs::path> cases[] = {
        {L"<InstallPath>\\Lang", L"D:\\Apps\\Tablewright\\Lang"},
        {L"<Temporary>", L"C:\\Temp\\vantrel_{x}"},
        {L"<not a macro\\x", L"<not a macro\\x"},
        {L"", {}},
        {L"<UserData>\\V", fs::path(vt::known_folder(FOLDERID_RoamingAppData)) / L"V"},
        {L"<CommonData>", common}, // the special folder itself is not shared by the installer
        {L"<CommonData>\\Vantrel Software\\Textures\\Tablewright", vendor / L"Textures\\Tablewright"},
        {L"<SamplePath>", samples},
        {L"<SamplePath>\\Textures", samples / L"Textures"},
        {L"<SamplePath>", samples},
        {L"<CommonData>\\Vantrel Software\\Tablewright 8\\", vendor / L"Tablewright 8"},
    };
    for (const auto& [folder, expected] : cases)
        EXPECT_EQ(writer.resolve_destination(folder), expected) << fs::path(folder);
    std::vector<fs::path> recorded;
    for (const auto& f : writer.shared_folders())
        recorded.push_back(f.folder);
    EXPECT_EQ(recorded, (std::vector<fs::path>{vendor, vendor / L"Textures", vendor / L"Textures\\Tablewright",
                                               samples, vendor / L"Tablewright 8"}))
        << "each folder once, in the order of first use";

    payload_writer absolute(L"D:\\Apps", L"E:\\Samples", {}, {});
    EXPECT_EQ(absolute.resolve_destination(L"<SamplePath>\\Tables"), fs::path(L"E:\\Samples\\Tables"));
    EXPECT_TRUE(absolute.shared_folders().empty());

    payload_writer empty(L"D:\\Apps", {}, {}, {});
    EXPECT_EQ(empty.resolve_destination(L"<SamplePath>"), samples.parent_path());
    EXPECT_EQ(empty.resolve_destination(L"<Temporary>\\x"), fs::path(L"D:\\Apps\\x"));
    EXPECT_TRUE(empty.shared_folders().empty());
    for (const wchar_t* folder : {L"<commondata>\\x", L"<Nowhere>"}) {
        try {
            empty.resolve_destination(folder);
            ADD_FAILURE() << "accepted " << fs::path(folder);
        } catch (const std::system_error& e) {
            EXPECT_EQ(e.code(), make_error_code(compress_errc::unexpected_error));
        }
    }
}

// The list that the grant hands to the system, built from descriptors given
// as SDDL text. (Wine stores no access lists: it maps them to Unix mode bits
// and reads back a list made from those, so the stored list cannot be read
// back from a file here.)
TEST(GrantUsersAccess, BuildsTheListHandedToTheSystem)
{
    struct case_ {
        const wchar_t* before;
        std::uint32_t mask, flags;
        std::vector<std::wstring> after;
        SECURITY_DESCRIPTOR_CONTROL control;
    };
    const std::vector<case_> cases = {
        // Explicit entries first (the old users entry dropped), the new
        // entry, then the inherited ones (an inherited users entry dropped
        // too); the auto-inherited state becomes "required" and "inherited".
        {L"D:AI(D;;FW;;;AN)(A;;FR;;;BU)(A;;FA;;;SY)(A;OICIID;FA;;;BA)(A;ID;FR;;;BU)(A;OICIID;FR;;;WD)",
         0x1F01FF, 3,
         {L"D 0x00 0x00120116 S-1-5-7", L"A 0x00 0x001f01ff S-1-5-18", L"A 0x03 0x001f01ff S-1-5-32-545",
          L"A 0x13 0x001f01ff S-1-5-32-544", L"A 0x13 0x00120089 S-1-1-0"},
         SE_DACL_AUTO_INHERIT_REQ | SE_DACL_AUTO_INHERITED},
        // A protected list stays protected; the entry goes last when there
        // is nothing inherited.
        {L"D:P(A;OICI;FA;;;BA)", 0x1F01FF, 3,
         {L"A 0x03 0x001f01ff S-1-5-32-544", L"A 0x03 0x001f01ff S-1-5-32-545"}, SE_DACL_PROTECTED},
        // A null list (as good as none): the users entry alone, here as for a
        // shared data file, with its own mask and no inheritance.
        {L"D:NO_ACCESS_CONTROL", 0x13019F, 0, {L"A 0x00 0x0013019f S-1-5-32-545"}, 0},
    };
    for (const case_& c : cases) {
        SCOPED_TRACE(std::wstring(c.before));
        vt::unique_local before;
        ASSERT_TRUE(::ConvertStringSecurityDescriptorToSecurityDescriptorW(c.before, SDDL_REVISION_1,
                                                                           before.put(), nullptr));
        users_access_descriptor after(before.get(), c.mask, c.flags);
        EXPECT_EQ(entries_of(after.get()), c.after);
        SECURITY_DESCRIPTOR_CONTROL control = 0;
        DWORD revision = 0;
        ASSERT_TRUE(::GetSecurityDescriptorControl(after.get(), &control, &revision));
        EXPECT_EQ(control & (SE_DACL_AUTO_INHERIT_REQ | SE_DACL_AUTO_INHERITED | SE_DACL_PROTECTED), c.control);

        // Granting again changes nothing: still one users entry.
        users_access_descriptor again(after.get(), c.mask, c.flags);
        EXPECT_EQ(entries_of(again.get()), c.after);
    }
}

TEST(SharedFolders, EachIsOpenedToUsersOnceWhenTheFirstFileBelowItIsWritten)
{
    folder_below vendor(vt::known_folder(FOLDERID_ProgramData), L"Vantrel Test");
    scratch_folder install;
    const std::u16string base = u"<CommonData>\\" + u16(vendor.name());
    const std::string archive = archive_bytes({
        {u"a.xml", base + u"\\Tablewright 8", "a", 3},
        {u"b.xml", base + u"\\Tablewright 8", "b", 3},
        {u"c.pgm", base + u"\\Textures\\Tablewright", "c", 3},
        {u"d.txt", u"<InstallPath>", "d", 0},
    });
    const std::size_t header = archive.size() - 4;

    recorder rec;
    payload_writer writer(install.path(), {}, {}, rec.callback());
    std::size_t offset = 0;
    // Feeds the archive up to end and tells which shared folders are done.
    auto done_after = [&](std::size_t end) {
        while (offset < end)
            offset += static_cast<std::size_t>(
                writer.write(archive.data() + offset, static_cast<std::streamsize>(end - offset)));
        std::vector<bool> done;
        for (const auto& f : writer.shared_folders())
            done.push_back(f.done);
        return done;
    };

    // The header records the four folders below the vendor folder, in the
    // order of first use; none is opened yet.
    EXPECT_EQ(done_after(header), (std::vector<bool>{false, false, false, false}));
    // The first file: both folders above it are opened; the others wait for
    // a file below them.
    EXPECT_EQ(done_after(header + 2), (std::vector<bool>{true, true, false, false}));
    EXPECT_EQ(done_after(header + 3), (std::vector<bool>{true, true, true, true}));
    done_after(archive.size());
    writer.finish();
    EXPECT_EQ(rec.count(failed_), 0u);
    EXPECT_EQ(read_file(vendor / L"Textures\\Tablewright\\c.pgm"), "c");
}
