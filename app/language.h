#pragma once
// The installer's languages: the fixed language table, the process-wide
// current language, and the lookup of localised strings in the string tables.

#include "support/format.h"

#include <windows.h>

#include <array>
#include <cstdint>
#include <string>
#include <string_view>

inline constexpr unsigned language_count = 25;

struct language_row {
    const wchar_t* english_name;
    LANGID langid;
    bool installer_texts; // the installer's own texts exist in this language
    int list_position;    // 1-based position in the start page's list, 0: not offered
    int flag_icon;        // icon resource of the flag, 0: none
};

// Indexed by language index; the index is what "VtLanguage" stores.
inline constexpr std::array<language_row, language_count> language_table{{
    {L"French", 0x040C, true, 1, 144},
    {L"English", 0x0409, true, 2, 145},
    {L"German", 0x0407, true, 3, 141},
    {L"Spanish", 0x0C0A, true, 5, 143},
    {L"Portuguese", 0x0816, true, 6, 148},
    {L"Dutch", 0x0413, false, 7, 147},
    {L"Danish", 0x0406, false, 0, 0},
    {L"Turkish", 0x041F, true, 16, 149},
    {L"Bulgarian", 0x0402, false, 14, 150},
    {L"Romanian", 0x0418, true, 12, 151},
    {L"Chinese (Simplified)", 0x0804, false, 18, 152},
    {L"Italian", 0x0410, true, 4, 146},
    {L"Czech", 0x0405, true, 9, 153},
    {L"Norwegian", 0x0414, false, 0, 0},
    {L"Greek", 0x0408, false, 15, 155},
    {L"Polish", 0x0415, false, 8, 156},
    {L"Hebrew", 0x040D, false, 17, 157},
    {L"Vietnamese", 0x042A, false, 19, 158},
    {L"Japanese", 0x0411, false, 0, 0},
    {L"Hungarian", 0x040E, true, 11, 161},
    {L"Serbian (Latin)", 0x081A, false, 13, 162},
    {L"Arabic", 0x0401, true, 20, 163},
    {L"Slovenian", 0x0424, false, 0, 0},
    {L"Russian", 0x0419, false, 0, 0},
    {L"Croatian", 0x041A, true, 10, 166},
}};

inline constexpr unsigned language_french = 0;
inline constexpr unsigned language_english = 1;

// The 20 languages offered in the start page's list, one bit per index.
inline constexpr std::uint32_t product_languages = 0x13BDFBF;

constexpr bool installer_translated(unsigned index) noexcept
{
    return index < language_count && language_table[index].installer_texts;
}

constexpr bool is_valid_language(std::uint64_t index) noexcept { return index < language_count; }

// Process-wide language state, built on first use.
class language_settings {
public:
    static language_settings& instance();

    std::uint32_t mask = 1; // what user_language(0) means: French only
    std::uint32_t language = language_french;
    LCID lcid = 0;
    UINT code_page = 1252;
    bool right_to_left = false;

    // The module whose string tables and dialogs are used: this program.
    HMODULE resource_module();

private:
    language_settings();
    HMODULE resource_module_ = nullptr;
    friend void set_language(unsigned index);
};

LANGID language_langid(unsigned index);
// The LANGID of the current language, for the system's error texts.
LANGID current_langid();
LCID language_lcid(unsigned index);
// Language index of a LANGID by its primary language, or -1 when the
// installer has no such language.
int language_from_langid(LANGID langid) noexcept;
// The user's language if the mask offers it, else English or French.
unsigned user_language(std::uint32_t mask);
std::string locale_name(unsigned index);
bool is_right_to_left(unsigned index);
void apply_locale(unsigned index);
// Makes index the current language. Indexes outside the table are ignored.
void set_language(unsigned index);

// The string of id in the table of the language, in place in the resource;
// empty when missing or marked "#".
std::wstring_view load_string(unsigned index, unsigned id);

// The localised text of a string id in the current language; "#" and missing
// texts fall back to English, then French, at worst to an empty text.
std::wstring text(unsigned id);

// Process start-up: the runtime's locale becomes process-wide and the standard
// library's global locale follows the user's default locale where it can.
void set_process_locale();
