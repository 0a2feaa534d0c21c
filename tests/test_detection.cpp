// Detection of an earlier installation on Wine's real registry and files:
// the recorded product path, the version of the executable found there
// (stand-in executables built with chosen version resources), and the search
// for the earlier uninstall log.

#include "app/previous_installation.h"
#include "dialog_watch.h"
#include "resources/product.h"
#include "support/registry.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

namespace fs = std::filesystem;

namespace {

const std::wstring path_value = L"Tablewright 8 Path";
const std::wstring uninstall_key = L"Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\Tablewright 8";

const fs::path test_folder = fs::path(build_folder()) / L"tests";

void set_string(const std::wstring& key, const std::wstring& name, const std::wstring& value)
{
    vt::set_string(vt::create_key(HKEY_LOCAL_MACHINE, key).get(), name.c_str(), value);
}

// Registry values and a scratch folder that exist for one test only.
class Detection : public ::testing::Test {
protected:
    void SetUp() override
    {
        TearDown();
        fs::create_directories(root);
    }
    void TearDown() override
    {
        ::RegDeleteKeyValueW(HKEY_LOCAL_MACHINE, maker_key, path_value.c_str());
        ::RegDeleteTreeW(HKEY_LOCAL_MACHINE, uninstall_key.c_str());
        std::error_code ignored;
        fs::remove_all(root, ignored);
    }
    // An installed product: a copy of a stand-in executable (vt_probe_<name>,
    // built beside this test program), recorded as the product's path.
    fs::path install(const char* probe_name)
    {
        fs::path target = root / L"Installed" / L"Tablewright.exe";
        fs::create_directories(target.parent_path());
        fs::copy_file(test_folder / (std::string("vt_probe_") + probe_name + ".exe"), target,
                      fs::copy_options::overwrite_existing);
        set_string(maker_key, path_value, target.wstring());
        return target;
    }

    const fs::path root = fs::temp_directory_path() / "vt-detection-test";
};

} // namespace

TEST_F(Detection, VersionOfTheInstalledExecutableDecidesTheState)
{
    auto found = [this](const char* probe) { return examine_installation(install(probe).wstring()); };
    EXPECT_EQ(found("8_11_14_1").state, 1);
    installation_found older = found("8_11_13_9");
    EXPECT_EQ(older.state, 2);
    EXPECT_EQ(older.version, 0x0008000B000D0009ull);
    EXPECT_EQ(older.version_text, L"Tablewright 8.11m");
    installation_found newer = found("8_12_0_0");
    EXPECT_EQ(newer.state, -1);
    EXPECT_EQ(newer.version, 0u) << "only an older version is kept for the update";
    EXPECT_EQ(newer.version_text, L"Tablewright 8.12");
    EXPECT_EQ(found("none").state, 1) << "a copy without version resource is offered as a reinstallation";
    EXPECT_EQ(examine_installation(L"").state, 0);
}

TEST_F(Detection, RecordedPathMustStillExist)
{
    EXPECT_EQ(read_product_path(), L"") << "no value";
    fs::path installed = install("8_11_13_9");
    EXPECT_EQ(read_product_path(), installed.wstring());
    fs::remove(installed);
    EXPECT_EQ(read_product_path(), L"");
    // A folder counts as existing.
    set_string(maker_key, path_value, root.wstring());
    EXPECT_EQ(read_product_path(), root.wstring());
}

TEST_F(Detection, LogIsSoughtBesideUninstallerThenInstallerThenProduct)
{
    fs::path installed = install("8_11_13_9");
    fs::path beside_product = installed.parent_path() / L"Uninstall.ulog";

    // No uninstall key and no log beside the installer (this test program):
    // the log beside the installed product is used.
    ASSERT_FALSE(fs::exists(test_folder / L"Uninstall.ulog"));
    EXPECT_EQ(find_uninstall_log(installed.wstring()), L"");
    std::ofstream(beside_product) << "log";
    EXPECT_EQ(find_uninstall_log(installed.wstring()), beside_product.wstring());

    // The registered uninstaller's folder comes first, once it holds a log.
    fs::path uninstaller_folder = root / L"Uninstaller";
    fs::create_directories(uninstaller_folder);
    set_string(uninstall_key, L"UninstallString", (uninstaller_folder / L"Uninstall.exe").wstring());
    EXPECT_EQ(find_uninstall_log(installed.wstring()), beside_product.wstring());
    std::ofstream(uninstaller_folder / L"Uninstall.ulog") << "log";
    EXPECT_EQ(find_uninstall_log(installed.wstring()), (uninstaller_folder / L"Uninstall.ulog").wstring());

    // A quoted command line is no folder; the next candidates are tried.
    set_string(uninstall_key, L"UninstallString",
               L"\"" + (uninstaller_folder / L"Uninstall.exe").wstring() + L"\"");
    EXPECT_EQ(find_uninstall_log(installed.wstring()), beside_product.wstring());
    EXPECT_EQ(find_uninstall_log(L""), L"");
}
