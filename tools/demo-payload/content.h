#pragma once
// The generated files of the demo payload: material lists, settings, price
// lists, component libraries, wood textures, sample projects and the DirectX
// cabinets' stand-ins. Each is a plausible file of its kind, deterministic
// from its random source, and compresses with bzip2 about as well as the
// real thing: text very well, geometry and images moderately, cabinets
// (compressed already) not at all.

#include "prng.h"

#include <cstddef>
#include <string>
#include <string_view>

enum class content_type {
    material_list,     // XML list of materials of one family
    settings_ini,      // program-wide settings
    settings_xml,      // toolbars, printers, cutting rules...
    price_list,        // CSV list of hardware prices
    user_settings,     // a user's default settings (INI)
    component_library, // binary library of furniture components with their meshes
    wood_texture,      // 24-bit BMP of a wood or board surface
    project,           // a sample project: description, parts, thumbnail, geometry
    cabinet,           // a stand-in of a Microsoft cabinet file: header and packed data
};

struct content_spec {
    content_type type;
    // Approximate size in bytes: text and geometry stop at the first record
    // that reaches it, a texture takes as many rows as fit, a cabinet is exact.
    std::size_t size;
    // Free text the generator uses: the material family, the library's
    // subject, the texture's species, the cabinet's file names.
    std::string_view subject;
};

// The file's bytes.
std::string generate_content(const content_spec& spec, prng& random);
