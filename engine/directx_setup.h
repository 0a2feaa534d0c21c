#pragma once
// The DirectX runtime update: the setup library that the payload puts into
// the run's temporary folder, run silently with a callback that keeps the
// installer's window alive.

#include "support/unique_any.h"

#include <filesystem>

// The setup flags: core runtime, DirectDraw drivers and DirectSound drivers.
inline constexpr DWORD directx_setup_flags = 0x00010018;

class directx_setup {
public:
    // Loads "DSetup.dll" from folder. The object is usable only when the
    // system already has DirectX 9 (version 4.9, revision 903 or later).
    explicit directx_setup(const std::filesystem::path& folder);

    bool usable() const noexcept { return static_cast<bool>(module_); }

    // Runs the setup owned by owner; true when it succeeded (a restart may be
    // wanted). Removes a 64-bit D3DX9_43.dll from the 32-bit system folder
    // first, so that the setup puts the right one there.
    bool run(HWND owner);

private:
    std::filesystem::path folder_;
    vt::unique_module module_;
};

// Whether the file at path is a 64-bit PE image. Raises ERROR_BAD_FORMAT for a
// file too short to hold the headers it announces.
bool is_64bit_image(const std::filesystem::path& path);
