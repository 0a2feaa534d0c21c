// Detection of an earlier installation on Wine's real registry and files:
// the recorded product path, the version of the executable found there
// (stand-in executables built with chosen version resources), and the search
// for the earlier uninstall log.

#include "app/installer_context.h"
#include "app/language.h"
#include "app/previous_installation.h"
#include "resources/product.h"
#include "app/version_text.h"
#include "support/unique_any.h"
#include "support/version_info.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <optional>
#include <vector>

namespace fs = std::filesystem;

namespace {

const std::wstring path_value = L"Tablewright 8 Path";
const std::wstring uninstall_key = L"Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\Tablewright 8";

fs::path test_folder()
{
    wchar_t path[MAX_PATH] = {};
    ::GetModuleFileNameW(nullptr, path, MAX_PATH);
    return fs::path(path).parent_path();
}

// A stand-in product executable built beside this test program.
fs::path probe(const char* name)
{
    return test_folder() / (std::string("vt_probe_") + name + ".exe");
}

void set_string(HKEY root, const std::wstring& key_name, const std::wstring& name, const std::wstring& value)
{
    vt::unique_hkey key;
    ASSERT_EQ(::RegCreateKeyExW(root, key_name.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, key.put(), nullptr),
              ERROR_SUCCESS);
    ::RegSetValueExW(key.get(), name.c_str(), 0, REG_SZ, reinterpret_cast<const BYTE*>(value.c_str()),
                     DWORD((value.size() + 1) * sizeof(wchar_t)));
}

void touch(const fs::path& path)
{
    std::ofstream(path, std::ios::binary) << "x";
}

// Registry values and a scratch folder that exist for one test only.
class Detection : public ::testing::Test {
protected:
    void SetUp() override
    {
        clear_registry();
        const auto* test = ::testing::UnitTest::GetInstance()->current_test_info();
        root = fs::temp_directory_path() / (std::string("vt-detection-test-") + test->name());
        fs::remove_all(root);
        fs::create_directories(root);
    }
    void TearDown() override
    {
        clear_registry();
        std::error_code ignored;
        fs::remove_all(root, ignored);
        set_language(language_english);
    }
    static void clear_registry()
    {
        vt::unique_hkey key;
        if (::RegOpenKeyExW(HKEY_LOCAL_MACHINE, maker_key, 0, KEY_ALL_ACCESS, key.put()) == ERROR_SUCCESS)
            ::RegDeleteValueW(key.get(), path_value.c_str());
        ::RegDeleteTreeW(HKEY_LOCAL_MACHINE, uninstall_key.c_str());
    }
    // An installed product: a copy of a stand-in in an install folder of its own.
    fs::path install(const char* probe_name, const wchar_t* folder = L"Installed")
    {
        fs::path target = root / folder / L"Tablewright.exe";
        fs::create_directories(target.parent_path());
        fs::copy_file(probe(probe_name), target, fs::copy_options::overwrite_existing);
        set_string(HKEY_LOCAL_MACHINE, maker_key, path_value, target.wstring());
        return target;
    }

    fs::path root;
};

} // namespace

TEST_F(Detection, VersionOfTheInstalledExecutableDecidesTheState)
{
    installation_found same = examine_installation(install("8_11_14_1").wstring());
    EXPECT_EQ(same.state, 1);
    EXPECT_EQ(same.version, 0u);
    EXPECT_TRUE(same.version_text.empty());

    installation_found older = examine_installation(install("8_11_13_9").wstring());
    EXPECT_EQ(older.state, 2);
    EXPECT_EQ(older.version, 0x0008000B000D0009ull);
    EXPECT_EQ(older.version_text, L"Tablewright 8.11m");

    installation_found newer = examine_installation(install("8_12_0_0").wstring());
    EXPECT_EQ(newer.state, -1);
    EXPECT_EQ(newer.version, 0u) << "only an older version is kept for the update";
    EXPECT_EQ(newer.version_text, L"Tablewright 8.12");

    installation_found unknown = examine_installation(install("none").wstring());
    EXPECT_EQ(unknown.state, 1) << "a copy without version resource is offered as a reinstallation";

    EXPECT_EQ(examine_installation(L"").state, 0);
}

TEST_F(Detection, RecordedPathMustStillExist)
{
    EXPECT_EQ(read_product_path(), L"") << "no value";

    fs::path installed = install("8_11_13_9");
    EXPECT_EQ(read_product_path(), installed.wstring());

    fs::remove(installed);
    EXPECT_EQ(read_product_path(), L"");
    EXPECT_EQ(examine_installation(read_product_path()).state, 0);

    // A folder counts as existing.
    set_string(HKEY_LOCAL_MACHINE, maker_key, path_value, root.wstring());
    EXPECT_EQ(read_product_path(), root.wstring());
}

TEST_F(Detection, LogIsSoughtBesideUninstallerThenInstallerThenProduct)
{
    fs::path installed = install("8_11_13_9");
    fs::path beside_product = installed.parent_path() / L"Uninstall.ulog";

    // No uninstall key and no log beside the installer (this test program):
    // the log beside the installed product is used.
    ASSERT_FALSE(fs::exists(test_folder() / L"Uninstall.ulog"));
    EXPECT_EQ(find_uninstall_log(installed.wstring()), L"");
    touch(beside_product);
    EXPECT_EQ(find_uninstall_log(installed.wstring()), beside_product.wstring());

    // The registered uninstaller's folder comes first.
    fs::path uninstaller_folder = root / L"Uninstaller";
    fs::create_directories(uninstaller_folder);
    set_string(HKEY_LOCAL_MACHINE, uninstall_key, L"UninstallString", (uninstaller_folder / L"Uninstall.exe").wstring());
    EXPECT_EQ(find_uninstall_log(installed.wstring()), beside_product.wstring()) << "no log there yet";
    touch(uninstaller_folder / L"Uninstall.ulog");
    EXPECT_EQ(find_uninstall_log(installed.wstring()), (uninstaller_folder / L"Uninstall.ulog").wstring());

    // A quoted command line is no folder; the next candidates are tried.
    set_string(HKEY_LOCAL_MACHINE, uninstall_key, L"UninstallString",
               L"\"" + (uninstaller_folder / L"Uninstall.exe").wstring() + L"\"");
    EXPECT_EQ(find_uninstall_log(installed.wstring()), beside_product.wstring());

    fs::remove(beside_product);
    EXPECT_EQ(find_uninstall_log(installed.wstring()), L"");
    EXPECT_EQ(find_uninstall_log(L""), L"");
}
