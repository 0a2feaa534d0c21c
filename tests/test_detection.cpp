// Detection of an earlier installation on Wine's real registry and files:
// the recorded product path, the version of the executable found there
// (stand-in executables built with chosen version resources), and the search
// for the earlier uninstall log.

#include "app/previous_installation.h"
#include "resources/product.h"
#include "support/registry.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <filesystem>
#include <fstream>

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

void set_string(const std::wstring& key, const std::wstring& name, const std::wstring& value)
{
    vt::set_string(vt::create_key(HKEY_LOCAL_MACHINE, key).get(), name.c_str(), value);
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
        fs::copy_file(test_folder() / (std::string("vt_probe_") + probe_name + ".exe"), target,
                      fs::copy_options::overwrite_existing);
        set_string(maker_key, path_value, target.wstring());
        return target;
    }

    const fs::path root = fs::temp_directory_path() / "vt-detection-test";
};

} // namespace

TEST_F(Detection, VersionOfTheInstalledExecutableDecidesTheState)
{
    // Only an older version is kept, for the update.
    const struct {
        const char* probe;
        std::int32_t state;
        std::uint64_t version;
        const wchar_t* text;
    } cases[] = {
        {"8_11_14_1", 1, 0, L""},
        {"8_11_13_9", 2, 0x0008000B000D0009ull, L"Tablewright 8.11m"},
        {"8_12_0_0", -1, 0, L"Tablewright 8.12"},
        {"none", 1, 0, L""}, // without version resource: offered as a reinstallation
    };
    for (const auto& test : cases) {
        SCOPED_TRACE(test.probe);
        installation_found found = examine_installation(install(test.probe).wstring());
        EXPECT_EQ(found.state, test.state);
        EXPECT_EQ(found.version, test.version);
        EXPECT_EQ(found.version_text, test.text);
    }
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
    ASSERT_FALSE(fs::exists(test_folder() / L"Uninstall.ulog"));
    EXPECT_EQ(find_uninstall_log(installed.wstring()), L"");
    touch(beside_product);
    EXPECT_EQ(find_uninstall_log(installed.wstring()), beside_product.wstring());

    // The registered uninstaller's folder comes first, once it holds a log.
    fs::path uninstaller_folder = root / L"Uninstaller";
    fs::create_directories(uninstaller_folder);
    set_string(uninstall_key, L"UninstallString", (uninstaller_folder / L"Uninstall.exe").wstring());
    EXPECT_EQ(find_uninstall_log(installed.wstring()), beside_product.wstring());
    touch(uninstaller_folder / L"Uninstall.ulog");
    EXPECT_EQ(find_uninstall_log(installed.wstring()), (uninstaller_folder / L"Uninstall.ulog").wstring());

    // A quoted command line is no folder; the next candidates are tried.
    set_string(uninstall_key, L"UninstallString",
               L"\"" + (uninstaller_folder / L"Uninstall.exe").wstring() + L"\"");
    EXPECT_EQ(find_uninstall_log(installed.wstring()), beside_product.wstring());
    EXPECT_EQ(find_uninstall_log(L""), L"");
}
