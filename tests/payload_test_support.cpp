#include "payload_test_support.h"
#include "bitness.h"
#include "scratch_folder.h"

#include "app/language.h"
#include "resources/product.h"
#include "support/format.h"
#include "support/registry.h"
#include "support/unique_any.h"

#include <gtest/gtest.h>

#include <shobjidl.h>

namespace payload_test {

fs::path link_target(const fs::path& link)
{
    vt::com_scope com;
    vt::com_ptr<IShellLinkW> shell_link;
    if (FAILED(::CoCreateInstance(CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER, IID_IShellLinkW,
                                  shell_link.put_void())))
        return {};
    vt::com_ptr<IPersistFile> file;
    if (FAILED(shell_link->QueryInterface(IID_IPersistFile, file.put_void())) ||
        FAILED(file->Load(link.c_str(), STGM_READ)))
        return {};
    wchar_t target[MAX_PATH] = {};
    shell_link->GetPath(target, MAX_PATH, nullptr, 0);
    return target;
}

folder_below::folder_below(const fs::path& base, const std::wstring& tag)
    : path_(base / (tag + L"-" + std::to_wstring(std::random_device()())))
{
}

folder_below::~folder_below() { remove_tree(path_); }

scratch_folder::scratch_folder(const std::wstring& tag) : folder_below(fs::temp_directory_path(), tag)
{
    fs::create_directories(path());
}

std::string read_file(const fs::path& path) { return portable_test::read_bytes(path); }

void write_file(const fs::path& path, const std::string& data)
{
    fs::create_directories(path.parent_path());
    portable_test::write_bytes(path, data);
}

std::vector<std::wstring> tree(const fs::path& root)
{
    std::vector<std::wstring> out;
    std::error_code ec;
    for (auto it = fs::recursive_directory_iterator(root, ec); !ec && it != fs::recursive_directory_iterator();
         it.increment(ec))
        out.push_back(fs::relative(it->path(), root).wstring());
    std::sort(out.begin(), out.end());
    return out;
}

notification_callback recorder::callback()
{
    return [this](notification n) {
        event e;
        e.index = n.index();
        if (auto* p = std::get_if<notification::progress>(&n)) {
            e.a = p->done;
            e.b = p->total;
        } else if (auto* c = std::get_if<notification::completed>(&n)) {
            e.a = c->copied;
            e.b = c->total;
        } else if (auto* b = std::get_if<notification::entry_begin>(&n)) {
            e.path = b->entry.destination;
        } else if (auto* d = std::get_if<notification::entry_end>(&n)) {
            e.path = d->entry.destination;
        } else if (auto* f = std::get_if<notification::failed>(&n)) {
            e.code = f->code;
            e.path = f->path;
        }
        events.push_back(e);
        return answer ? answer(n) : notification::result::proceed;
    };
}

std::size_t recorder::count(std::size_t index) const
{
    return static_cast<std::size_t>(
        std::count_if(events.begin(), events.end(), [&](const event& e) { return e.index == index; }));
}

event recorder::last(std::size_t index) const
{
    for (auto it = events.rbegin(); it != events.rend(); ++it)
        if (it->index == index)
            return *it;
    return {};
}

std::vector<std::wstring> recorder::outline() const
{
    std::vector<std::wstring> out;
    for (const event& e : events) {
        const std::wstring name = e.path.filename().wstring();
        if (e.index == started_)
            out.push_back(L"started");
        else if (e.index == completed_)
            out.push_back(vt::format(L"completed {}/{}", {e.a, e.b}));
        else if (e.index == begin_ || e.index == end_)
            out.push_back((e.index == begin_ ? L"begin " : L"end ") + name);
    }
    return out;
}

bool extract(const std::string& compressed, const fs::path& install, recorder& rec)
{
    vt::imemstream stream(compressed.data(), compressed.size());
    return extract_payload(stream, install, {}, {}, rec.callback());
}

void expect_registration(const fs::path& folder)
{
    vt::unique_hkey key = vt::open_key(HKEY_LOCAL_MACHINE, product_uninstall_key(), own_view);
    ASSERT_TRUE(key);
    EXPECT_EQ(vt::read_string(key.get(), L"DisplayName"), L"Tablewright 8.11n");
    EXPECT_EQ(vt::read_string(key.get(), L"UninstallString"), (folder / L"Uninstall.exe").wstring());
    EXPECT_EQ(vt::read_string(key.get(), L"DisplayIcon"), (folder / L"Tablewright.exe").wstring() + L",0");
    EXPECT_EQ(vt::read_string(key.get(), L"DisplayVersion"), L"8.11.14.1");
    EXPECT_EQ(vt::read_string(key.get(), L"Publisher"), L"Vantrel Software");
    EXPECT_EQ(vt::read_dword(key.get(), L"NoModify"), 1u);
    EXPECT_EQ(vt::read_dword(key.get(), L"NoRepair"), 1u);
    EXPECT_EQ(vt::read_dword(key.get(), L"VtLanguage"), DWORD(language_english));
    // Only this build's own registry view names the product.
    EXPECT_EQ(product_path_in(own_view), (folder / L"Tablewright.exe").wstring());
    EXPECT_EQ(product_path_in(other_view), std::nullopt);
    EXPECT_FALSE(vt::open_key(HKEY_LOCAL_MACHINE, product_uninstall_key(), other_view));
}

} // namespace payload_test
