#pragma once
// What a 64-bit Windows shows a program of this build, 32-bit (under WOW64)
// or 64-bit: its own registry view and the other one, and its program-files
// folder. The whole-product tests check the product against both views.

#include <windows.h>

#include <filesystem>
#include <optional>
#include <string>

namespace demo_machine {

// True for the shipped 32-bit build.
inline constexpr bool wow64_build = sizeof(void*) == 4;

// The registry view this build sees by default, and the other one.
inline constexpr REGSAM own_view = wow64_build ? KEY_WOW64_32KEY : KEY_WOW64_64KEY;
inline constexpr REGSAM other_view = wow64_build ? KEY_WOW64_64KEY : KEY_WOW64_32KEY;

// Where the installer puts the product by default: C:\Program Files (x86)
// for the 32-bit build.
std::filesystem::path expected_default_folder();

// The product's path as one registry view records it; nothing when absent.
std::optional<std::wstring> product_path_in(REGSAM view);
// Records the product's path in one view only, as an installer of the
// other bitness (or an older one) may have left it.
void record_product_path_only_in(REGSAM view, const std::wstring& path);
// Whether one view holds the product's uninstall key.
bool uninstall_key_in(REGSAM view);

// The product registered in this build's own view, with folder's program,
// and nothing of it in the other view.
void expect_registered_in_own_view(const std::filesystem::path& folder);

// The bytes of a minimal PE image, 64-bit or 32-bit, as the DirectX step
// tells them apart.
std::string pe_image(bool sixty_four_bit);

} // namespace demo_machine
