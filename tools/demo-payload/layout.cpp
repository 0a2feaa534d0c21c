#include "layout.h"

#include <algorithm>

namespace {

constexpr std::uint32_t language_module = 0, program = 1, uninstaller = 2, shared_data = 3, sample = 4,
                        temporary = 5;

const char* const common_data = "<CommonData>\\Vantrel Software";

// The 19 languages of the program besides English, which it carries itself:
// the offered languages of the installer but English, named by their
// Windows abbreviations.
const char* const language_modules[] = {"ARA", "BGR", "CHS", "CSY", "DEU", "ELL", "ESN", "FRA", "HEB", "HRV",
                                        "HUN", "ITA", "NLD", "PLK", "PTG", "ROM", "SRL", "TRK", "VIT"};

std::string fold(const std::string& text)
{
    std::string out = text;
    for (char& c : out)
        if (c >= 'A' && c <= 'Z')
            c = char(c - 'A' + 'a');
    return out;
}

payload_item built(std::string source, std::string destination, std::uint32_t kind)
{
    payload_item item;
    item.binary = source.substr(source.rfind('\\') + 1);
    item.source = std::move(source);
    item.destination = std::move(destination);
    item.kind = kind;
    return item;
}

payload_item made(std::string source, std::string destination, std::uint32_t kind, content_type type,
                  std::size_t size, std::string_view subject)
{
    payload_item item;
    item.source = std::move(source);
    item.destination = std::move(destination);
    item.kind = kind;
    item.content = {type, size, subject};
    return item;
}

} // namespace

bool archive_order(const std::string& a, const std::string& b)
{
    const std::string fa = fold(a), fb = fold(b);
    return fa != fb ? fa < fb : a < b;
}

std::vector<payload_item> demo_payload_layout()
{
    const std::string shared = common_data;
    const std::string settings = shared + "\\Tablewright 8";
    const std::string libraries = shared + "\\Libraries";
    const std::string materials = shared + "\\Materials";
    const std::string textures = shared + "\\Textures\\Tablewright";
    const std::string user = "<UserData>\\Vantrel Software\\Tablewright 8";
    using enum content_type;

    std::vector<payload_item> items = {
        // The DirectX runtime's setup, run from the installation's temporary
        // folder: the setup library and its helper (stand-ins built with the
        // demo), and the runtime's cabinets (stand-ins generated here).
        built("Redist\\DirectX\\DSETUP.dll", "<Temporary>", temporary),
        built("Redist\\DirectX\\dsetup32.dll", "<Temporary>", temporary),
        made("Redist\\DirectX\\dxdllreg_x86.cab", "<Temporary>", temporary, cabinet, 27442,
             "dxdllreg_x86.inf;dxdllreg.dll"),
        made("Redist\\DirectX\\dxupdate.cab", "<Temporary>", temporary, cabinet, 96242, "dxupdate.inf;dxupdate.dll"),
        made("Redist\\DirectX\\Jun2010_D3DCompiler_43_x86.cab", "<Temporary>", temporary, cabinet, 1120618,
             "D3DCompiler_x86.inf;D3DCompiler_43.dll"),
        made("Redist\\DirectX\\Jun2010_d3dx9_43_x86.cab", "<Temporary>", temporary, cabinet, 1092802,
             "d3dx9_x86.inf;d3dx9_43.dll"),

        // Sample projects on the public desktop, and their textures.
        made("Samples\\Projects\\Bookcase.twp", "<SamplePath>", sample, project, 640000, "Bookcase"),
        made("Samples\\Projects\\Bunk bed.twp", "<SamplePath>", sample, project, 910000, "Bunk bed"),
        made("Samples\\Projects\\Coffee table.twp", "<SamplePath>", sample, project, 420000, "Coffee table"),
        made("Samples\\Projects\\Dining chair.twp", "<SamplePath>", sample, project, 560000, "Dining chair"),
        made("Samples\\Projects\\Dresser.twp", "<SamplePath>", sample, project, 880000, "Dresser"),
        made("Samples\\Projects\\Kitchen island.twp", "<SamplePath>", sample, project, 1240000, "Kitchen island"),
        made("Samples\\Projects\\Office desk.twp", "<SamplePath>", sample, project, 760000, "Office desk"),
        // A file and a folder named beyond ASCII, so that every installation
        // writes, logs and removes such paths whatever the language.
        made("Samples\\Projects\\Chaise cannée.twp", "<SamplePath>", sample, project, 690000, "Chaise cannée"),
        made("Samples\\Projects\\Wardrobe.twp", "<SamplePath>", sample, project, 1160000, "Wardrobe"),
        made("Samples\\Projects\\Workbench.twp", "<SamplePath>", sample, project, 540000, "Workbench"),
        made("Samples\\Textures\\Ash.bmp", textures, sample, wood_texture, 786432, "Ash"),
        made("Samples\\Textures\\Beech.bmp", textures, sample, wood_texture, 786432, "Beech"),
        made("Samples\\Textures\\Birch.bmp", textures, sample, wood_texture, 589824, "Birch"),
        made("Samples\\Textures\\Cherry.bmp", textures, sample, wood_texture, 786432, "Cherry"),
        made("Samples\\Textures\\Chipboard.bmp", textures, sample, wood_texture, 393216, "Chipboard"),
        made("Samples\\Textures\\Ebony.bmp", textures, sample, wood_texture, 589824, "Ebony"),
        made("Samples\\Textures\\Elm.bmp", textures, sample, wood_texture, 786432, "Elm"),
        made("Samples\\Textures\\Hickory.bmp", textures, sample, wood_texture, 786432, "Hickory"),
        made("Samples\\Textures\\Mahogany.bmp", textures, sample, wood_texture, 1179648, "Mahogany"),
        made("Samples\\Textures\\Maple.bmp", textures, sample, wood_texture, 786432, "Maple"),
        made("Samples\\Textures\\MDF.bmp", textures, sample, wood_texture, 393216, "MDF"),
        made("Samples\\Textures\\Oak.bmp", textures, sample, wood_texture, 1572864, "Oak"),
        made("Samples\\Textures\\Pine.bmp", textures, sample, wood_texture, 1179648, "Pine"),
        made("Samples\\Textures\\Plywood.bmp", textures, sample, wood_texture, 589824, "Plywood"),
        made("Samples\\Textures\\Rosewood.bmp", textures, sample, wood_texture, 589824, "Rosewood"),
        made("Samples\\Textures\\Spruce.bmp", textures, sample, wood_texture, 786432, "Spruce"),
        made("Samples\\Textures\\Teak.bmp", textures, sample, wood_texture, 786432, "Teak"),
        made("Samples\\Textures\\Walnut.bmp", textures, sample, wood_texture, 1179648, "Walnut"),
        made("Samples\\Textures\\Wenge.bmp", textures, sample, wood_texture, 589824, "Wenge"),
        made("Samples\\Textures\\Zebrano.bmp", textures + "\\Bois précieux", sample, wood_texture, 589824, "Zebrano"),

        // Libraries and settings shared by the maker's products: an existing
        // copy is kept, and the uninstaller leaves them behind.
        made("Shared\\Libraries\\Beds.twl", libraries, shared_data, component_library, 1650000, "Bed"),
        made("Shared\\Libraries\\Cabinets.twl", libraries, shared_data, component_library, 2900000, "Cabinet"),
        made("Shared\\Libraries\\Chairs.twl", libraries, shared_data, component_library, 2100000, "Chair"),
        made("Shared\\Libraries\\Hardware.twl", libraries, shared_data, component_library, 1250000, "Fitting"),
        made("Shared\\Libraries\\Joinery.twl", libraries, shared_data, component_library, 1400000, "Joint"),
        made("Shared\\Libraries\\Mouldings.twl", libraries, shared_data, component_library, 980000, "Moulding"),
        made("Shared\\Libraries\\Shelving.twl", libraries, shared_data, component_library, 1700000, "Shelf"),
        made("Shared\\Libraries\\Tables.twl", libraries, shared_data, component_library, 2300000, "Table"),
        made("Shared\\Materials\\Boards.xml", materials, shared_data, material_list, 1100000, "Boards"),
        made("Shared\\Materials\\Fabrics.xml", materials, shared_data, material_list, 410000, "Fabrics"),
        made("Shared\\Materials\\Glass.xml", materials, shared_data, material_list, 260000, "Glass"),
        made("Shared\\Materials\\Laminates.xml", materials, shared_data, material_list, 1500000, "Laminates"),
        made("Shared\\Materials\\Metals.xml", materials, shared_data, material_list, 380000, "Metals"),
        made("Shared\\Materials\\Veneers.xml", materials, shared_data, material_list, 2000000, "Veneers"),
        made("Shared\\Materials\\Woods.xml", materials, shared_data, material_list, 2400000, "Woods"),
        made("Shared\\Settings\\Cutting rules.xml", settings, shared_data, settings_xml, 310000, "Cutting rules"),
        made("Shared\\Settings\\Hardware prices.csv", settings, shared_data, price_list, 750000, "Hardware prices"),
        made("Shared\\Settings\\Printers.xml", settings, shared_data, settings_xml, 64000, "Printers"),
        made("Shared\\Settings\\Tablewright.ini", settings, shared_data, settings_ini, 38000, "program settings"),
        made("Shared\\Settings\\Toolbars.xml", settings, shared_data, settings_xml, 92000, "Toolbars"),
        made("Shared\\Settings\\Units.xml", settings, shared_data, settings_xml, 21000, "Units"),
        made("Shared\\User\\User.ini", user, shared_data, user_settings, 6200, "User"),
        made("Shared\\User\\Workspace.xml", user, shared_data, settings_xml, 30000, "Workspace"),

        // The product itself.
        built("Tablewright\\Installer\\Uninstall.exe", "<InstallPath>", uninstaller),
        built("Tablewright\\Tablewright.exe", "<InstallPath>", program),
    };
    for (const char* language : language_modules)
        items.push_back(built("Tablewright\\Lang\\Tablewright" + std::string(language) + ".dll",
                              "<InstallPath>\\Lang", language_module));

    std::stable_sort(items.begin(), items.end(),
                     [](const payload_item& a, const payload_item& b) { return archive_order(a.source, b.source); });
    return items;
}

std::vector<std::string> demo_payload_binaries()
{
    std::vector<std::string> names;
    for (const payload_item& item : demo_payload_layout())
        if (!item.binary.empty())
            names.push_back(item.binary);
    return names;
}
