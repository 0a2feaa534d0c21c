#pragma once
// The macros that a stored destination folder may begin with, shared by the
// installer (which resolves them) and the packer (which refuses any other).
// Free of Windows: the special folders are given by their CSIDL numbers.

#include <cstddef>
#include <string_view>

struct destination_macro {
    std::u16string_view name;
    // The shell's special folder and the one used when the first is empty;
    // 0 for the installer's own folders and for no fallback.
    int csidl;
    int fallback_csidl;
    // Folders below it are shared by all users and opened to the users group.
    bool shared;
};

inline constexpr destination_macro destination_macros[] = {
    {u"<InstallPath>", 0, 0, false},       // the installation folder
    {u"<SamplePath>", 0, 0, false},        // the examples folder (see resolve_destination)
    {u"<Temporary>", 0, 0, false},         // the per-run temporary folder
    {u"<ProgramFiles>", 0x26, 0, false},   // CSIDL_PROGRAM_FILES
    {u"<ProgramCommon>", 0x2B, 0, false},  // CSIDL_PROGRAM_FILES_COMMON
    {u"<CommonData>", 0x23, 0x1A, true},   // CSIDL_COMMON_APPDATA, else CSIDL_APPDATA
    {u"<UserData>", 0x1A, 0, false},       // CSIDL_APPDATA
    {u"<CommonDocuments>", 0x2E, 0x05, true}, // CSIDL_COMMON_DOCUMENTS, else CSIDL_PERSONAL
    {u"<Documents>", 0x05, 0, false},      // CSIDL_PERSONAL
    {u"<CommonDesktop>", 0x19, 0x10, true},   // CSIDL_COMMON_DESKTOPDIRECTORY, else CSIDL_DESKTOPDIRECTORY
    {u"<Desktop>", 0x10, 0, false},        // CSIDL_DESKTOPDIRECTORY
    {u"<WinDir>", 0x24, 0, false},         // CSIDL_WINDOWS
    {u"<System>", 0x25, 0, false},         // CSIDL_SYSTEM
};

// Whether the first element of a destination folder is written as a macro:
// it begins with '<' and ends with '>'. Matching is exact and case-sensitive.
template <typename Char>
constexpr bool looks_like_macro(std::basic_string_view<Char> element)
{
    return element.size() >= 2 && element.front() == Char('<') && element.back() == Char('>');
}

// The macro named by element, or nullptr.
template <typename Char>
constexpr const destination_macro* find_destination_macro(std::basic_string_view<Char> element)
{
    for (const destination_macro& m : destination_macros) {
        if (m.name.size() != element.size())
            continue;
        bool same = true;
        for (std::size_t i = 0; i < element.size() && same; ++i)
            same = static_cast<char32_t>(m.name[i]) == static_cast<char32_t>(element[i]);
        if (same)
            return &m;
    }
    return nullptr;
}
