#pragma once
// A fixture for installations in this process, on Wine's real file system,
// registry and shell, into a scratch folder. The shared places that an
// installation writes (the public desktop, the product's keys) are cleaned
// before and after each test, whatever another test program left there.

#include "app/installer_context.h"
#include "app/language.h"
#include "dialog_watch.h"
#include "payload_test_support.h"
#include "resources/product.h"
#include "support/known_folder.h"
#include "support/memstream.h"
#include "support/registry.h"

#include <gtest/gtest.h>

#include <knownfolders.h>

namespace payload_test {

inline const std::wstring uninstall_key = L"Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\Tablewright 8";

class installation_test : public ::testing::Test {
protected:
    void SetUp() override
    {
        set_language(language_english);
        context.install_folder = (root.path() / L"Program Files\\Vantrel Software\\Tablewright 8").wstring();
        context.start_menu_folder = (root.path() / L"Start Menu\\Tablewright").wstring();
        context.desktop_shortcut = false; // the public desktop is shared; a test turns it on
        clean();
    }
    void TearDown() override { clean(); }

    static fs::path public_desktop() { return vt::known_folder(FOLDERID_PublicDesktop); }
    static fs::path samples_folder() { return public_desktop() / L"Tablewright Examples"; }
    fs::path installed(const wchar_t* relative) const { return fs::path(context.install_folder) / relative; }

    // The product as the payload carries it: temporary setup files first,
    // then shared data and samples (textures two folders below the shared
    // data, in folders the installation makes), the uninstaller, language
    // modules, the program.
    std::vector<file_spec> product_files(const wchar_t* program = L"demo\\Tablewright.exe") const
    {
        const std::wstring maker = L"<CommonData>\\Vantrel Software\\";
        return {
            {u"C:\\build\\dx\\DSETUP.dll", u"<Temporary>", built(L"demo\\DSETUP.dll"), 5},
            {u"C:\\build\\dx\\dxupdate.cab", u"<Temporary>", realistic_bytes(3000, 1), 5},
            {u"C:\\build\\shared\\materials.twl", u16(maker + shared_folder.name()), realistic_bytes(20000, 2), 3},
            {u"C:\\build\\samples\\Kitchen.twp", u"<SamplePath>", realistic_bytes(9000, 3), 4},
            {u"C:\\build\\samples\\Oak.bmp", u16(maker + textures.name() + L"\\Tablewright"), realistic_bytes(7000, 7), 4},
            {u"C:\\build\\Uninstall.exe", u"<InstallPath>", realistic_bytes(5000, 4), 2},
            {u"C:\\build\\lang\\Tablewright_fr.dll", u"<InstallPath>\\Lang", realistic_bytes(4000, 5), 0},
            {u"C:\\build\\lang\\Tablewright_de.dll", u"<InstallPath>\\Lang", realistic_bytes(4100, 6), 0},
            {u"C:\\build\\Tablewright.exe", u"<InstallPath>", built(program), 1},
        };
    }
    static std::string built(const wchar_t* relative) { return read_file(fs::path(build_folder()) / relative); }

    bool install(const std::vector<file_spec>& files)
    {
        const std::string compressed = compressed_archive(files);
        vt::imemstream payload(compressed.data(), compressed.size());
        return run_installation(context, view, payload);
    }

    scratch_folder root{L"vt-install"};
    folder_below shared_folder{vt::known_folder(FOLDERID_ProgramData) + L"\\Vantrel Software", L"shared"};
    // The samples' textures go two levels deep, into Tablewright below this
    // folder: the installation makes both.
    folder_below textures{vt::known_folder(FOLDERID_ProgramData) + L"\\Vantrel Software", L"textures"};
    installer_context context;
    recording_view view;

private:
    void clean() const
    {
        remove_tree(samples_folder());
        remove_tree(public_desktop() / L"Tablewright 8.11n.lnk");
        ::RegDeleteTreeW(HKEY_LOCAL_MACHINE, uninstall_key.c_str());
        ::RegDeleteTreeW(HKEY_CLASSES_ROOT, L".twp");
        ::RegDeleteTreeW(HKEY_CLASSES_ROOT, L"Tablewright.Project.8");
        if (vt::unique_hkey maker = vt::open_key(vt::registry_root::local_machine, maker_key))
            ::RegDeleteValueW(maker.get(), L"Tablewright 8 Path");
        for (const wchar_t* name : {L"VT_DSETUP_LOG", L"VT_DSETUP_VERSION", L"VT_DSETUP_REVISION", L"VT_DSETUP_RESULT",
                                    L"VT_TABLEWRIGHT_LOG", L"VT_TABLEWRIGHT_HOLD"})
            ::SetEnvironmentVariableW(name, nullptr);
    }
};

} // namespace payload_test
