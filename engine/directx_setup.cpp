#include "engine/directx_setup.h"

#include "support/error.h"
#include "support/known_folder.h"
#include "support/message_pump.h"

#include <knownfolders.h>

#include <cstring>
#include <fstream>
#include <iterator>
#include <vector>

namespace {

using get_version_function = int(WINAPI*)(DWORD* version, DWORD* revision);
using setup_callback = DWORD(WINAPI*)(DWORD reason, DWORD message_type, char* message, char* name, void* info);
using set_callback_function = int(WINAPI*)(setup_callback callback);
using setup_function = int(WINAPI*)(HWND owner, wchar_t* source, DWORD flags);

constexpr DWORD callback_reason_progress = 18;

template <typename Function>
Function find_function(HMODULE module, const char* name)
{
    return reinterpret_cast<Function>(reinterpret_cast<void*>(::GetProcAddress(module, name)));
}

// Every question of the setup is answered OK, so it never waits for the user;
// progress reports keep the installer's window responsive.
DWORD WINAPI answer_setup(DWORD reason, DWORD, char*, char*, void*)
{
    if (reason == callback_reason_progress)
        pump_messages();
    return IDOK;
}

template <typename T>
T read_at(const std::vector<char>& bytes, std::size_t offset)
{
    T value{};
    std::memcpy(&value, bytes.data() + offset, sizeof(T));
    return value;
}

} // namespace

directx_setup::directx_setup(const std::filesystem::path& folder) : folder_(folder)
{
    std::filesystem::path library = folder / L"DSetup.dll";
    // By its full path, from the run's protected folder; what it loads in
    // turn (dsetup32.dll beside it) is found there or in System32 only.
    module_.reset(::LoadLibraryExW(library.c_str(), nullptr,
                                   LOAD_LIBRARY_SEARCH_DLL_LOAD_DIR | LOAD_LIBRARY_SEARCH_SYSTEM32));
    if (!module_)
        return;
    auto get_version = find_function<get_version_function>(module_.get(), "DirectXSetupGetVersion");
    DWORD version = 0;
    DWORD revision = 0;
    if (!get_version || !get_version(&version, &revision) || version < 0x00040009 || revision < 903)
        module_.reset();
}

bool is_64bit_image(const std::filesystem::path& path)
{
    std::ifstream file(path, std::ios::binary);
    if (!file)
        vt::throw_last_error("open D3DX9_43.dll");
    std::vector<char> bytes((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());
    if (file.bad())
        vt::throw_win32(ERROR_READ_FAULT, "read D3DX9_43.dll");
    if (bytes.size() < 64)
        vt::throw_win32(ERROR_BAD_FORMAT, "D3DX9_43.dll");
    if (bytes[0] != 'M' || bytes[1] != 'Z')
        return false;
    auto header = read_at<std::uint32_t>(bytes, 0x3C);
    if (bytes.size() < std::uint64_t(header) + 248)
        vt::throw_win32(ERROR_BAD_FORMAT, "D3DX9_43.dll");
    if (std::memcmp(bytes.data() + header, "PE\0\0", 4) != 0)
        return false;
    // The optional header follows the 4-byte signature and the 20-byte file header.
    return read_at<std::uint16_t>(bytes, header + 24) == 0x20B;
}

bool directx_setup::run(HWND owner)
{
    auto set_callback = find_function<set_callback_function>(module_.get(), "DirectXSetupSetCallback");
    auto setup = find_function<setup_function>(module_.get(), "DirectXSetupW");
    if (!set_callback || !setup)
        return false;

    std::filesystem::path system_folder = vt::known_folder(FOLDERID_SystemX86);
    if (!system_folder.empty()) {
        std::filesystem::path stale = system_folder / L"D3DX9_43.dll";
        std::error_code ignored;
        if (std::filesystem::exists(stale, ignored) && is_64bit_image(stale))
            std::filesystem::remove(stale, ignored);
    }

    set_callback(answer_setup);
    std::wstring source = folder_.wstring();
    int result = setup(owner, source.data(), directx_setup_flags);
    return result == 0 || result == 1;
}
