// Destination macros, the shared folders they record, and the list of
// access entries that opens shared folders and files to the users group.

#include "payload/compress_error.h"
#include "payload/path_macros.h"
#include "payload/payload_writer.h"
#include "payload/security.h"
#include "payload_test_support.h"

#include <gtest/gtest.h>

#include <aclapi.h>
#include <sddl.h>
#include <shlobj.h>

using namespace payload_test;

namespace {

constexpr std::size_t failed_ = 5;

std::wstring sid_text(const void* sid)
{
    LPWSTR text = nullptr;
    if (!::ConvertSidToStringSidW(const_cast<void*>(sid), &text))
        return L"?";
    std::wstring result = text;
    ::LocalFree(text);
    return result;
}

fs::path special_folder(int csidl)
{
    wchar_t buffer[MAX_PATH] = {};
    ::SHGetFolderPathW(nullptr, csidl, nullptr, SHGFP_TYPE_CURRENT, buffer);
    return buffer;
}

const std::wstring users = L"S-1-5-32-545";

// A self-relative security descriptor made from SDDL text.
class security_descriptor {
public:
    explicit security_descriptor(const wchar_t* sddl)
    {
        if (!::ConvertStringSecurityDescriptorToSecurityDescriptorW(sddl, SDDL_REVISION_1, &descriptor_, nullptr))
            ADD_FAILURE() << "bad SDDL " << ::GetLastError();
    }
    ~security_descriptor() { ::LocalFree(descriptor_); }
    security_descriptor(const security_descriptor&) = delete;
    security_descriptor& operator=(const security_descriptor&) = delete;
    PSECURITY_DESCRIPTOR get() const { return descriptor_; }

private:
    PSECURITY_DESCRIPTOR descriptor_ = nullptr;
};

// The DACL entries as "type flags mask sid", type A (allow) or D (deny).
std::vector<std::wstring> entries_of(PSECURITY_DESCRIPTOR descriptor)
{
    std::vector<std::wstring> out;
    BOOL present = FALSE, defaulted = FALSE;
    PACL acl = nullptr;
    if (!::GetSecurityDescriptorDacl(descriptor, &present, &acl, &defaulted) || !present || !acl)
        return {L"no list"};
    for (DWORD i = 0; i < acl->AceCount; ++i) {
        void* ace = nullptr;
        ::GetAce(acl, i, &ace);
        auto* entry = static_cast<ACCESS_ALLOWED_ACE*>(ace);
        wchar_t text[64];
        swprintf(text, 64, L"%lc 0x%02x 0x%08lx ", entry->Header.AceType == ACCESS_DENIED_ACE_TYPE ? L'D' : L'A',
                 entry->Header.AceFlags, static_cast<unsigned long>(entry->Mask));
        out.push_back(text + sid_text(&entry->SidStart));
    }
    return out;
}

std::vector<fs::path> folders_of(const payload_writer& writer)
{
    std::vector<fs::path> out;
    for (const auto& f : writer.shared_folders())
        out.push_back(f.folder);
    return out;
}

} // namespace

TEST(ResolveDestination, MacrosBecomeFoldersAndSharedFoldersAreRecorded)
{
    const fs::path common = special_folder(CSIDL_COMMON_APPDATA);
    const fs::path desktop = special_folder(CSIDL_COMMON_DESKTOPDIRECTORY);
    payload_writer writer(L"D:\\Apps\\Tablewright", L"Tablewright Examples", L"C:\\Temp\\vantrel_{x}", {});

    EXPECT_EQ(writer.resolve_destination(L"<InstallPath>\\Lang"), fs::path(L"D:\\Apps\\Tablewright\\Lang"));
    EXPECT_EQ(writer.resolve_destination(L"<Temporary>"), fs::path(L"C:\\Temp\\vantrel_{x}"));
    EXPECT_EQ(writer.resolve_destination(L"C:\\Fixed\\Folder"), fs::path(L"C:\\Fixed\\Folder"));
    EXPECT_EQ(writer.resolve_destination(L""), fs::path());
    EXPECT_EQ(writer.resolve_destination(L"<UserData>\\V"), special_folder(CSIDL_APPDATA) / L"V");
    EXPECT_EQ(writer.resolve_destination(L"<System>"), special_folder(CSIDL_SYSTEM));
    EXPECT_TRUE(writer.shared_folders().empty());

    EXPECT_EQ(writer.resolve_destination(L"<CommonData>"), common) << "the special folder itself is not recorded";
    EXPECT_TRUE(writer.shared_folders().empty());

    EXPECT_EQ(writer.resolve_destination(L"<CommonData>\\Vantrel Software\\Textures\\Tablewright"),
              common / L"Vantrel Software\\Textures\\Tablewright");
    for (int i = 0; i < 10; ++i)
        EXPECT_EQ(writer.resolve_destination(L"<SamplePath>"), desktop / L"Tablewright Examples");
    EXPECT_EQ(writer.resolve_destination(L"<SamplePath>\\Textures"), desktop / L"Tablewright Examples\\Textures");
    EXPECT_EQ(writer.resolve_destination(L"<CommonData>\\Vantrel Software\\Tablewright 8\\"),
              common / L"Vantrel Software\\Tablewright 8");
    EXPECT_EQ(folders_of(writer), (std::vector<fs::path>{
                                      common / L"Vantrel Software",
                                      common / L"Vantrel Software\\Textures",
                                      common / L"Vantrel Software\\Textures\\Tablewright",
                                      desktop / L"Tablewright Examples",
                                      common / L"Vantrel Software\\Tablewright 8",
                                  }))
        << "each folder once, in the order of first use";
}

TEST(ResolveDestination, TheSampleFolderMayBeAbsoluteOrEmpty)
{
    payload_writer absolute(L"D:\\Apps", L"E:\\Samples", {}, {});
    EXPECT_EQ(absolute.resolve_destination(L"<SamplePath>\\Tables"), fs::path(L"E:\\Samples\\Tables"));
    EXPECT_TRUE(absolute.shared_folders().empty());

    payload_writer empty(L"D:\\Apps", {}, {}, {});
    EXPECT_EQ(empty.resolve_destination(L"<SamplePath>"), special_folder(CSIDL_COMMON_DESKTOPDIRECTORY));
    EXPECT_EQ(empty.resolve_destination(L"<Temporary>\\x"), fs::path(L"D:\\Apps\\x"));
    EXPECT_TRUE(empty.shared_folders().empty());
}

TEST(ResolveDestination, UnknownMacrosAreRefused)
{
    payload_writer writer(L"D:\\Apps", {}, {}, {});
    for (const wchar_t* folder : {L"<commondata>\\x", L"<Nowhere>", L"<>\\x"}) {
        try {
            writer.resolve_destination(folder);
            ADD_FAILURE() << "accepted " << fs::path(folder);
        } catch (const std::system_error& e) {
            EXPECT_EQ(e.code(), make_error_code(compress_errc::unexpected_error));
        }
    }
    EXPECT_EQ(writer.resolve_destination(L"<not a macro\\x"), fs::path(L"<not a macro\\x"));
}

TEST(WellKnownAccount, GivesTheDocumentedSids)
{
    EXPECT_EQ(sid_text(account_sid(well_known_account::everyone).data()), L"S-1-1-0");
    EXPECT_EQ(sid_text(account_sid(well_known_account::administrators).data()), L"S-1-5-32-544");
    EXPECT_EQ(sid_text(account_sid(well_known_account::users).data()), users);
    EXPECT_EQ(sid_text(account_sid(well_known_account::authenticated_users).data()), L"S-1-5-11");

    const auto token_user = account_sid(well_known_account::token_user);
    ASSERT_TRUE(::IsValidSid(const_cast<std::byte*>(token_user.data())));
    HANDLE token = nullptr;
    ASSERT_TRUE(::OpenProcessToken(::GetCurrentProcess(), TOKEN_QUERY, &token));
    BYTE buffer[256];
    DWORD size = 0;
    ASSERT_TRUE(::GetTokenInformation(token, TokenUser, buffer, sizeof buffer, &size));
    ::CloseHandle(token);
    EXPECT_EQ(sid_text(token_user.data()), sid_text(reinterpret_cast<TOKEN_USER*>(buffer)->User.Sid));
    EXPECT_EQ(sid_text(account_sid(well_known_account::current_user).data()), sid_text(token_user.data()))
        << "the current user's account is the token's user";
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
        // Inherited entries only: the new one goes first.
        {L"D:(A;OICIID;FA;;;SY)", 0x1F01FF, 3,
         {L"A 0x03 0x001f01ff S-1-5-32-545", L"A 0x13 0x001f01ff S-1-5-18"}, 0},
        // A null list, an empty list, no list at all: the users entry alone.
        {L"D:NO_ACCESS_CONTROL", 0x1F01FF, 3, {L"A 0x03 0x001f01ff S-1-5-32-545"}, 0},
        {L"D:", 0x1F01FF, 3, {L"A 0x03 0x001f01ff S-1-5-32-545"}, 0},
        {L"O:BA", 0x1F01FF, 3, {L"A 0x03 0x001f01ff S-1-5-32-545"}, 0},
        // A shared data file: its own mask, no inheritance.
        {L"D:(A;;FA;;;SY)(A;;FA;;;BU)", 0x13019F, 0,
         {L"A 0x00 0x001f01ff S-1-5-18", L"A 0x00 0x0013019f S-1-5-32-545"}, 0},
    };
    for (const case_& c : cases) {
        SCOPED_TRACE(std::wstring(c.before));
        security_descriptor before(c.before);
        users_access_descriptor after(before.get(), c.mask, c.flags);
        EXPECT_EQ(entries_of(after.get()), c.after);
        SECURITY_DESCRIPTOR_CONTROL control = 0;
        DWORD revision = 0;
        ASSERT_TRUE(::GetSecurityDescriptorControl(after.get(), &control, &revision));
        EXPECT_EQ(control & (SE_DACL_AUTO_INHERIT_REQ | SE_DACL_AUTO_INHERITED | SE_DACL_PROTECTED), c.control);
        EXPECT_TRUE(control & SE_DACL_PRESENT);

        // Granting again changes nothing: still one users entry.
        users_access_descriptor again(after.get(), c.mask, c.flags);
        EXPECT_EQ(entries_of(again.get()), c.after);
    }
}

TEST(SharedFolders, EachIsOpenedToUsersOnceWhenTheFirstFileBelowItIsWritten)
{
    const fs::path common = special_folder(CSIDL_COMMON_APPDATA);
    folder_below vendor(common, L"Vantrel Test");
    scratch_folder install;
    const std::u16string base = u"<CommonData>\\" + u16(vendor.name());
    const std::vector<file_spec> files = {
        {u"a.xml", base + u"\\Tablewright 8", "a", 3},
        {u"b.xml", base + u"\\Tablewright 8", "b", 3},
        {u"c.pgm", base + u"\\Textures\\Tablewright", "c", 3},
        {u"d.txt", u"<InstallPath>", "d", 0},
    };
    const std::string archive = archive_bytes(files);
    const std::size_t header = archive.size() - 4;

    recorder rec;
    payload_writer writer(install.path(), {}, {}, rec.callback());
    auto feed_up_to = [&](std::size_t& offset, std::size_t end) {
        while (offset < end)
            offset += static_cast<std::size_t>(
                writer.write(archive.data() + offset, static_cast<std::streamsize>(end - offset)));
    };

    // The header records the four folders below the vendor folder, in the
    // order of first use; none exists yet.
    std::size_t offset = 0;
    feed_up_to(offset, header);
    const fs::path root = vendor.path();
    ASSERT_EQ(folders_of(writer), (std::vector<fs::path>{root, root / L"Tablewright 8", root / L"Textures",
                                                         root / L"Textures\\Tablewright"}));
    auto done_flags = [&] {
        std::vector<bool> done;
        for (const auto& f : writer.shared_folders())
            done.push_back(f.done);
        return done;
    };
    EXPECT_EQ(done_flags(), (std::vector<bool>{false, false, false, false}));

    // The first file: its folder chain is created and both folders above it
    // are granted; the others wait for a file below them.
    feed_up_to(offset, header + 1);
    EXPECT_TRUE(fs::is_directory(root / L"Tablewright 8"));
    EXPECT_EQ(done_flags(), (std::vector<bool>{true, true, false, false}));
    feed_up_to(offset, header + 2);
    EXPECT_EQ(done_flags(), (std::vector<bool>{true, true, false, false}));
    feed_up_to(offset, header + 3);
    EXPECT_EQ(done_flags(), (std::vector<bool>{true, true, true, true}));
    feed_up_to(offset, archive.size());
    writer.finish();
    EXPECT_EQ(writer.done(), writer.total());
    EXPECT_EQ(rec.count(failed_), 0u);
    EXPECT_EQ(read_file(root / L"Textures\\Tablewright\\c.pgm"), "c");
}
