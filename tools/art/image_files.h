#pragma once
// Encoders for the two Windows image containers the installer embeds: icon
// files (.ico) with 32-bit entries and 24-bit device-independent bitmaps
// (.bmp). Written by hand so that the generator needs nothing but the
// standard library and its output is byte-for-byte reproducible.

#include "tools/art/canvas.h"

#include <cstdint>
#include <filesystem>
#include <vector>

namespace vt::art {

// An .ico file holding one 32-bit image (straight alpha) per canvas, in the
// given order. Canvases must be 1..256 pixels on each side.
std::vector<std::uint8_t> encode_icon(const std::vector<canvas>& images);

// A 24-bit bottom-up .bmp file of the canvas; alpha is dropped, so the canvas
// should be opaque.
std::vector<std::uint8_t> encode_bitmap(const canvas& image);

// Writes bytes to a file, replacing it; throws std::filesystem::filesystem_error
// on failure.
void write_file(const std::filesystem::path& path, const std::vector<std::uint8_t>& bytes);

} // namespace vt::art
