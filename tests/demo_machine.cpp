// The demo product's machine as the whole-product tests drive and inspect it.

#include "engine/installer_folder.h"
#include "support/file_names.h"
#include "demo_machine.h"

#include "app/installer_context.h"
#include "app/language.h"
#include "dialog_watch.h"
#include "engine/installation_sequence.h"
#include "payload/crc32.h"
#include "payload/file_utils.h"
#include "resources/dialog_ids.h"
#include "support/known_folder.h"
#include "support/memstream.h"
#include "support/unique_any.h"

#include <knownfolders.h>
#include <shlobj.h>
#include <shobjidl.h>

#include <algorithm>
#include <fstream>
#include <set>
#include <thread>

using namespace payload_test;
using namespace std::chrono_literals;

namespace demo_machine {

std::string narrow(const std::wstring& text)
{
    std::string out;
    for (wchar_t c : text)
        out += c < 0x80 ? char(c) : '?';
    return out;
}

std::wstring known(REFKNOWNFOLDERID id)
{
    return vt::known_folder(id);
}

// --- The machine's state -----------------------------------------------------

namespace {

bool starts_with_folded(const std::wstring& text, const std::wstring& prefix)
{
    return text.size() >= prefix.size() &&
           ::CompareStringOrdinal(text.c_str(), int(prefix.size()), prefix.c_str(), int(prefix.size()), TRUE) ==
               CSTR_EQUAL;
}

// What changes on a machine whatever the installer does: the system
// parameters that Wine keeps, in a volatile key of its own, as programs first
// ask for them, and the wizard's window size, the per-user setting of the
// maker's installers.
bool outside_the_installation(const std::wstring& name)
{
    return starts_with_folded(name, L"HKCU\\Software\\Wine\\Temporary System Parameters") ||
           // The installer's own folder stays, empty, for the next run.
           vt::same_name(name, installer_folder_path().wstring()) ||
           name == L"HKCU\\Software\\Vantrel Software" || name == L"HKCU\\Software\\Vantrel Software -> InstallerSize";
}

// The CRC-32 of a file's content, or why it could not be read.
std::wstring content_checksum(const std::wstring& path)
{
    vt::unique_file file(::CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                       nullptr, OPEN_EXISTING, FILE_FLAG_SEQUENTIAL_SCAN, nullptr));
    if (!file)
        return L"unreadable (error " + std::to_wstring(::GetLastError()) + L")";
    crc32 crc;
    std::vector<char> buffer(1 << 16);
    DWORD got = 0;
    while (::ReadFile(file.get(), buffer.data(), DWORD(buffer.size()), &got, nullptr) && got > 0)
        crc.process_bytes(buffer.data(), got);
    wchar_t text[16];
    swprintf(text, 16, L"%08x", crc.checksum());
    return text;
}

void add_files(machine_state& state, const std::wstring& folder)
{
    WIN32_FIND_DATAW found;
    vt::unique_find search(::FindFirstFileExW((folder + L"\\*").c_str(), FindExInfoBasic, &found,
                                              FindExSearchNameMatch, nullptr, FIND_FIRST_EX_LARGE_FETCH));
    if (!search)
        return;
    do {
        const std::wstring name = found.cFileName;
        if (name == L"." || name == L"..")
            continue;
        const std::wstring path = folder + L"\\" + name;
        // A folder that Wine links elsewhere (the user's Desktop, Documents,
        // ... lead into the Unix user's home) is no part of the machine's tree.
        if (found.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) {
            state[path] = L"link";
        } else if (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
            state[path] = L"folder";
            add_files(state, path);
        } else {
            wchar_t identity[128];
            swprintf(identity, 128, L"file %lu:%lu written %lu:%lu attributes %lx", found.nFileSizeHigh,
                     found.nFileSizeLow, found.ftLastWriteTime.dwHighDateTime, found.ftLastWriteTime.dwLowDateTime,
                     found.dwFileAttributes);
            state[path] = identity;
            // Wine's own system files are far too many to read each time;
            // everything an installation writes lies outside them.
            if (!starts_with_folded(path, L"C:\\windows\\"))
                state[path] += L" content " + content_checksum(path);
        }
    } while (::FindNextFileW(search.get(), &found));
}

void add_key(machine_state& state, HKEY key, const std::wstring& name)
{
    state[name] = L"key";
    std::vector<wchar_t> value_name(16384);
    std::vector<BYTE> data(1 << 16);
    for (DWORD index = 0;; ++index) {
        DWORD name_length = DWORD(value_name.size());
        DWORD size = DWORD(data.size());
        DWORD type = 0;
        LSTATUS status = ::RegEnumValueW(key, index, value_name.data(), &name_length, nullptr, &type, data.data(), &size);
        if (status == ERROR_MORE_DATA) {
            data.resize(size + 1);
            --index;
            continue;
        }
        if (status != ERROR_SUCCESS)
            break;
        // Only compared, never shown: the type and the bytes as they are.
        state[name + L" -> " + std::wstring(value_name.data(), name_length)] =
            std::to_wstring(type) + L":" + std::wstring(data.begin(), data.begin() + size);
    }
    std::vector<std::wstring> subkeys;
    for (DWORD index = 0;; ++index) {
        DWORD length = DWORD(value_name.size());
        if (::RegEnumKeyExW(key, index, value_name.data(), &length, nullptr, nullptr, nullptr, nullptr) !=
            ERROR_SUCCESS)
            break;
        subkeys.emplace_back(value_name.data(), length);
    }
    for (const std::wstring& subkey : subkeys) {
        vt::unique_hkey child;
        if (::RegOpenKeyExW(key, subkey.c_str(), 0, KEY_READ | KEY_WOW64_64KEY, child.put()) == ERROR_SUCCESS)
            add_key(state, child.get(), name + L"\\" + subkey);
    }
}

machine_state machine_snapshot(const std::vector<std::wstring>& other_drives)
{
    machine_state state;
    add_files(state, L"C:");
    for (const std::wstring& drive : other_drives)
        add_files(state, drive);
    // HKEY_LOCAL_MACHINE\HARDWARE is rebuilt from the devices at every start.
    vt::unique_hkey software, system;
    if (::RegOpenKeyExW(HKEY_LOCAL_MACHINE, L"Software", 0, KEY_READ | KEY_WOW64_64KEY, software.put()) ==
        ERROR_SUCCESS)
        add_key(state, software.get(), L"HKLM\\Software");
    if (::RegOpenKeyExW(HKEY_LOCAL_MACHINE, L"System", 0, KEY_READ | KEY_WOW64_64KEY, system.put()) == ERROR_SUCCESS)
        add_key(state, system.get(), L"HKLM\\System");
    add_key(state, HKEY_CURRENT_USER, L"HKCU");
    return state;
}

// What differs, as lines "+ added", "- removed", "~ changed", leaving out
// what allowed() accepts.
std::vector<std::wstring> differences(const machine_state& before, const machine_state& after,
                                      const std::function<bool(const std::wstring&)>& allowed)
{
    std::vector<std::wstring> out;
    for (const auto& [name, content] : after) {
        auto old = before.find(name);
        if (old == before.end()) {
            if (!allowed(name))
                out.push_back(L"+ " + name);
        } else if (old->second != content && !allowed(name)) {
            out.push_back(L"~ " + name);
        }
    }
    for (const auto& [name, content] : before)
        if (!after.count(name) && !allowed(name))
            out.push_back(L"- " + name);
    return out;
}

std::string report(const std::vector<std::wstring>& lines)
{
    std::string out;
    for (std::size_t i = 0; i < lines.size() && i < 60; ++i)
        out += narrow(lines[i]) + "\n";
    if (lines.size() > 60)
        out += "... " + std::to_string(lines.size() - 60) + " more\n";
    return out;
}

// --- The payload as the generator wrote it -----------------------------------

std::wstring widen(const std::string& utf8)
{
    std::wstring out(utf8.size(), L'\0');
    out.resize(std::size_t(::MultiByteToWideChar(CP_UTF8, 0, utf8.data(), int(utf8.size()), out.data(), int(out.size()))));
    return out;
}

std::wstring trimmed(std::wstring text)
{
    while (!text.empty() && (text.back() == L' ' || text.back() == L'\r'))
        text.pop_back();
    text.erase(0, text.find_first_not_of(L' '));
    return text;
}

fs::path staging_folder()
{
    return fs::path(build_folder()) / L"demo" / L"demo-payload";
}

std::vector<payload_file> demo_payload()
{
    static const std::map<std::wstring, std::uint32_t> kinds = {
        {L"language_module", 0}, {L"program", 1}, {L"uninstaller", 2},
        {L"shared_data", 3},     {L"sample", 4},  {L"temporary", 5}};
    std::vector<payload_file> files;
    std::ifstream in(staging_folder() / L"manifest.txt", std::ios::binary);
    for (std::string line; std::getline(in, line);) {
        if (line.empty() || line[0] == '#')
            continue;
        std::wstring text = widen(line);
        const auto first = text.find(L'|'), second = text.find(L'|', first + 1);
        payload_file file;
        file.kind = kinds.at(trimmed(text.substr(0, first)));
        file.destination = trimmed(text.substr(first + 1, second - first - 1));
        const std::wstring source = trimmed(text.substr(second + 1));
        file.staged = staging_folder() / source;
        file.name = fs::path(source).filename().wstring();
        files.push_back(file);
    }
    return files;
}

} // namespace

fs::path destination_of(const payload_file& file, const fs::path& install_folder)
{
    const std::wstring& d = file.destination;
    const auto macro_end = d.find(L'>') + 1;
    const std::wstring macro = d.substr(0, macro_end), rest = d.substr(std::min(d.size(), macro_end + 1));
    fs::path base;
    if (macro == L"<InstallPath>")
        base = install_folder;
    else if (macro == L"<SamplePath>")
        base = fs::path(known(FOLDERID_PublicDesktop)) / L"Tablewright Examples";
    else if (macro == L"<CommonData>")
        base = known(FOLDERID_ProgramData);
    else if (macro == L"<UserData>")
        base = known(FOLDERID_RoamingAppData);
    else
        return {};
    return (rest.empty() ? base : base / rest) / file.name;
}

// --- The installer's wizard, driven from outside -----------------------------

namespace {

// The text of a window of the installer's process, asked for as its owner
// asks: an edit control keeps its text to itself otherwise. The text may
// change between the two questions: a text that fills the buffer is asked
// for again with a larger one.
std::wstring window_text(HWND window)
{
    DWORD_PTR length = 0;
    ::SendMessageTimeoutW(window, WM_GETTEXTLENGTH, 0, 0, SMTO_ABORTIFHUNG, 10000, &length);
    for (std::size_t size = length + 64;; size *= 2) {
        std::wstring text(size, L'\0');
        DWORD_PTR copied = 0;
        ::SendMessageTimeoutW(window, WM_GETTEXT, text.size(), reinterpret_cast<LPARAM>(text.data()),
                              SMTO_ABORTIFHUNG, 10000, &copied);
        if (copied + 1 < size || size > (1u << 22)) {
            text.resize(std::min<std::size_t>(copied, text.size()));
            return text;
        }
    }
}

} // namespace

std::wstring built_installer()
{
    return build_folder() + L"\\Tablewright8Setup.exe";
}

wizard::wizard(const std::wstring& installer)
{
    start_program(installer, L"", process_);
    if (!process_.process)
        return;
    HWND first = wait_for_process_dialog(process_.id, 60s);
    if (first && ::GetDlgItem(first, IDC_BACK))
        frame_ = first;
    else if (first)
        ADD_FAILURE() << "the installer showed a box instead of its wizard: " << narrow(window_text(first)) << ": "
                      << narrow(read_box(first).text);
}

wizard::~wizard()
{
    if (process_.process && process_.wait(0ms) == STILL_ACTIVE) {
        ADD_FAILURE() << "the installer is still running";
        ::TerminateProcess(process_.process, 1);
        process_.wait(10s);
    }
}

// The pages are the frame's child dialogs; each is known by a control only
// it has (the end page shares its information text with the start page).
HWND wizard::page(page_kind kind) const
{
    static const int marks[] = {IDC_LANGUAGE_LIST, IDC_QUICK, IDC_FOLDER_EDIT, IDC_PROGRESS, IDC_INFORMATION};
    for (HWND child = ::FindWindowExW(frame_, nullptr, L"#32770", nullptr); child;
         child = ::FindWindowExW(frame_, child, L"#32770", nullptr)) {
        if (::GetDlgItem(child, marks[int(kind)]) &&
            (kind != page_kind::end || !::GetDlgItem(child, IDC_LANGUAGE_LIST)))
            return child;
    }
    return nullptr;
}

std::wstring wizard::text(HWND parent, int id) const
{
    return window_text(::GetDlgItem(parent, id));
}

bool wizard::checked(page_kind kind, int id) const
{
    return ::SendMessageW(::GetDlgItem(page(kind), id), BM_GETCHECK, 0, 0) == BST_CHECKED;
}

void wizard::click(HWND parent, int id) const
{
    HWND button = ::GetDlgItem(parent, id);
    ASSERT_TRUE(button && ::IsWindowVisible(button) && ::IsWindowEnabled(button)) << "button " << id;
    DWORD_PTR result = 0;
    ::SendMessageTimeoutW(button, BM_CLICK, 0, 0, SMTO_NORMAL, 20000, &result);
}

void wizard::next() const
{
    click(frame_, IDC_NEXT);
}

void wizard::type_folder(const std::wstring& folder) const
{
    HWND edit = ::GetDlgItem(page(page_kind::options), IDC_FOLDER_EDIT);
    ::SendMessageW(edit, EM_SETSEL, 0, -1);
    ::SendMessageW(edit, WM_CHAR, VK_BACK, 1);
    for (wchar_t c : folder)
        ::SendMessageW(edit, WM_CHAR, c, 1);
}

install_outcome wizard::run_install(const std::function<void()>& watch) const
{
    install_outcome outcome;
    EXPECT_EQ(text(frame_, IDC_NEXT), L"Install");
    ::PostMessageW(::GetDlgItem(frame_, IDC_NEXT), BM_CLICK, 0, 0);
    const auto deadline = std::chrono::steady_clock::now() + 300s;
    while (std::chrono::steady_clock::now() < deadline) {
        if (watch)
            watch();
        outcome.status = text(page_kind::install, IDC_STATUS);
        if (text(frame_, IDC_NEXT) == L"Next >" && enabled(frame_, IDC_NEXT)) {
            outcome.succeeded = outcome.ended = true;
            break;
        }
        if (outcome.status.rfind(L"Installation failed", 0) == 0 && enabled(frame_, IDC_EXIT)) {
            outcome.ended = true;
            break;
        }
        std::this_thread::sleep_for(50ms);
    }
    outcome.log = text(page_kind::install, IDC_LOG);
    return outcome;
}

bool wizard::install(const std::function<void()>& watch) const
{
    const install_outcome outcome = run_install(watch);
    if (!outcome.ended)
        ADD_FAILURE() << "the installation did not end";
    else if (!outcome.succeeded)
        ADD_FAILURE() << narrow(outcome.status) << "\n" << narrow(outcome.log);
    return outcome.succeeded;
}

void wizard::leave()
{
    click(frame_, IDC_EXIT);
    EXPECT_EQ(process_.wait(30s), 0u) << "the wizard did not close";
}

std::wstring wizard::leave_incomplete()
{
    EXPECT_EQ(text(frame_, IDC_EXIT), L"Cancel");
    ::PostMessageW(::GetDlgItem(frame_, IDC_EXIT), BM_CLICK, 0, 0);
    HWND question = wait_for_process_dialog(process_.id, 30s, frame_);
    std::wstring asked;
    if (question) {
        asked = read_filled_box(question, 30s).text;
        press_button(question, IDYES);
    } else {
        ADD_FAILURE() << "leaving asked nothing";
    }
    EXPECT_NE(process_.wait(30s), DWORD(STILL_ACTIVE)) << "the wizard did not close";
    return asked;
}

// --- The installed product ------------------------------------------------------

fs::path default_install_folder()
{
    return fs::path(known(FOLDERID_ProgramFiles)) / L"Vantrel Software" / L"Tablewright 8";
}

fs::path start_menu_link()
{
    return fs::path(known(FOLDERID_CommonPrograms)) / L"Tablewright 8.11n.lnk";
}

fs::path desktop_link()
{
    return fs::path(known(FOLDERID_PublicDesktop)) / L"Tablewright 8.11n.lnk";
}

std::vector<std::wstring> ours_left_behind()
{
    std::vector<std::wstring> found;
    for (const auto& entry : fs::directory_iterator(fs::temp_directory_path())) {
        const std::wstring name = entry.path().filename().wstring();
        if (name.rfind(L"vantrel_", 0) == 0 || name.rfind(L"vt-", 0) == 0)
            found.push_back(name);
    }
    std::error_code missing;
    for (const auto& entry : fs::directory_iterator(installer_folder_path(), missing))
        found.push_back(entry.path().filename().wstring());
    return found;
}

void uninstall(const fs::path& install_folder)
{
    const fs::path uninstaller = install_folder / L"Uninstall.exe";
    ASSERT_TRUE(fs::exists(uninstaller));
    auto copies = [] {
        const auto ours = ours_left_behind();
        return std::count_if(ours.begin(), ours.end(),
                             [](const std::wstring& name) { return name.rfind(L"vantrel_uninstall_", 0) == 0; });
    };
    started_process origin;
    start_program(uninstaller.wstring(), L"/silent", origin);
    ASSERT_TRUE(origin.process);
    ASSERT_EQ(origin.wait(30s), 0u) << "the installed uninstaller hands over to its copy and ends";
    const auto deadline = std::chrono::steady_clock::now() + 60s;
    while ((copies() > 0 || fs::exists(uninstaller)) && std::chrono::steady_clock::now() < deadline)
        std::this_thread::sleep_for(100ms);
    ASSERT_EQ(copies(), 0) << "the uninstaller's temporary copy is still there";
    EXPECT_FALSE(fs::exists(install_folder));
}

void install_other_version(const wchar_t* program, const std::vector<payload_file>& payload,
                           const std::function<bool(const payload_file&)>& keep, const std::string& sample_tag,
                           const fs::path& install_folder)
{
    std::vector<file_spec> files;
    for (const payload_file& file : payload) {
        if (!keep(file))
            continue;
        std::string data = file.kind == 1 ? read_file(fs::path(build_folder()) / L"tests" / program)
                                          : read_file(file.staged);
        if (file.kind == 4)
            data = sample_tag + data; // the samples of that version differ from today's
        const std::wstring stored = L"Other\\" + file.name;
        files.push_back({u16(stored), u16(file.destination), data, file.kind});
    }
    installer_context context;
    context.install_folder = install_folder.wstring();
    context.start_menu_folder = known(FOLDERID_CommonPrograms);
    context.desktop_shortcut = true;
    const std::string compressed = compressed_archive(files);
    vt::imemstream stream(compressed.data(), compressed.size());
    recording_view view;
    ASSERT_TRUE(run_installation(context, view, stream)) << narrow(view.log);
}

machine_state demo_machine_test::snapshot() const
{
    return machine_snapshot(other_drives());
}

void demo_machine_test::SetUp()
{
    set_language(language_english);
    // Wine fills its shell-folder keys when a folder is first asked for:
    // ask for every folder the installation uses before the first look.
    for (REFKNOWNFOLDERID id : {FOLDERID_ProgramFiles, FOLDERID_CommonPrograms, FOLDERID_Programs,
                                FOLDERID_PublicDesktop, FOLDERID_Desktop, FOLDERID_ProgramData,
                                FOLDERID_RoamingAppData, FOLDERID_Documents, FOLDERID_PublicDocuments,
                                FOLDERID_SystemX86, FOLDERID_ProgramFilesX86, FOLDERID_UserProfiles, FOLDERID_Profile,
                                FOLDERID_Windows})
        known(id);
    for (int csidl : {CSIDL_COMMON_APPDATA, CSIDL_APPDATA, CSIDL_COMMON_DESKTOPDIRECTORY, CSIDL_DESKTOPDIRECTORY,
                      CSIDL_COMMON_DOCUMENTS, CSIDL_PERSONAL}) {
        wchar_t path[MAX_PATH];
        ::SHGetFolderPathW(nullptr, csidl, nullptr, SHGFP_TYPE_CURRENT, path);
    }
    // Wine starts its display driver with the first window of the
    // machine, and records the display's devices then.
    vt::unique_window window(::CreateWindowExW(0, L"STATIC", L"", WS_POPUP, 0, 0, 10, 10, nullptr, nullptr,
                                               nullptr, nullptr));
    ::ShowWindow(window.get(), SW_SHOWNOACTIVATE);
    ::UpdateWindow(window.get());
    const auto* test = ::testing::UnitTest::GetInstance()->current_test_info();
    registration_log = fs::path(build_folder()) /
                       ("registration-" + std::string(test->test_suite_name()) + "." + test->name() + ".log");
    std::error_code error;
    fs::remove(registration_log, error);
    ::SetEnvironmentVariableW(L"VT_TABLEWRIGHT_LOG", registration_log.c_str());
    payload = demo_payload();
    ASSERT_EQ(payload.size(), 80u) << "the generator's manifest";
    before = snapshot();
}

void demo_machine_test::TearDown()
{
    std::error_code error;
    fs::remove(registration_log, error);
}

void demo_machine_test::expect_machine_as_before() const
{
    std::set<std::wstring> shared;
    for (const payload_file& file : payload) {
        if (file.kind != 3)
            continue;
        EXPECT_TRUE(fs::exists(destination_of(file, {}))) << "shared data stays: " << narrow(file.name);
        // The file and the folders down to it below the shell's folder.
        const fs::path base = file.destination.rfind(L"<UserData>", 0) == 0 ? known(FOLDERID_RoamingAppData)
                                                                             : known(FOLDERID_ProgramData);
        for (fs::path p = destination_of(file, {}); p != base && p.has_relative_path(); p = p.parent_path())
            shared.insert(p.wstring());
    }
    auto allowed = [&shared](const std::wstring& name) {
        return shared.count(name) ||
               // The product's own registration of its project files.
               starts_with_folded(name, L"HKLM\\Software\\Classes\\.twp") ||
               starts_with_folded(name, L"HKLM\\Software\\Classes\\Tablewright.Project.8") ||
               starts_with_folded(name, L"HKCU\\Software\\Classes\\.twp") ||
               starts_with_folded(name, L"HKCU\\Software\\Classes\\Tablewright.Project.8") ||
               outside_the_installation(name);
    };
    const auto left = differences(before, snapshot(), allowed);
    EXPECT_TRUE(left.empty()) << report(left);
}

void demo_machine_test::expect_unchanged_since(const machine_state& then, const std::string& what) const
{
    const auto changed = differences(then, snapshot(), outside_the_installation);
    EXPECT_TRUE(changed.empty()) << what << ":\n" << report(changed);
}

void demo_machine_test::expect_payload_installed(const fs::path& install_folder, bool samples) const
{
    for (const payload_file& file : payload) {
        SCOPED_TRACE(narrow(file.name));
        const fs::path target = destination_of(file, install_folder);
        if (file.kind == 5) {
            EXPECT_TRUE(target.empty());
            continue;
        }
        if (file.kind == 4 && !samples)
            continue;
        EXPECT_TRUE(read_file(target) == read_file(file.staged)) << narrow(target.wstring());
    }
}

std::wstring demo_machine_test::registrations() const
{
    const std::string bytes = read_file(registration_log);
    return std::wstring(reinterpret_cast<const wchar_t*>(bytes.data()), bytes.size() / sizeof(wchar_t));
}

} // namespace demo_machine
